#include "tests/support/thread_locale.h"

#include <locale.h>

CScopedLatinReadingLocale::CScopedLatinReadingLocale() {
  locale_t own = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (own == static_cast<locale_t>(0)) return;
  m_own = own;
  m_saved = uselocale(own);
}

CScopedLatinReadingLocale::~CScopedLatinReadingLocale() {
  if (m_own == nullptr) return;
  uselocale(static_cast<locale_t>(m_saved));
  freelocale(static_cast<locale_t>(m_own));
}
