#include "tests/support/test_thread_locale.h"

// The thread code page on Windows is that of the system's locale, which a
// test cannot change for one thread; the tests read it as it is.
CTestThreadLocale::CTestThreadLocale() : m_active(true) {}
CTestThreadLocale::~CTestThreadLocale() = default;
