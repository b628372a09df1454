#include "tests/support/test_thread_locale.h"

#include <locale.h>

namespace {
constexpr const char kTestLocale[] = "C.UTF-8";
}

CTestThreadLocale::CTestThreadLocale() {
  locale_t locale = newlocale(LC_ALL_MASK, kTestLocale, static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return;
  m_locale = locale;
  m_previous = uselocale(locale);
  m_active = true;
}

CTestThreadLocale::~CTestThreadLocale() {
  if (!m_active) return;
  uselocale(static_cast<locale_t>(m_previous));
  freelocale(static_cast<locale_t>(m_locale));
}
