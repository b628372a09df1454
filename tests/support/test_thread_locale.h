// CTestThreadLocale: puts the calling thread into the locale the character
// set tests run in, for the object's lifetime. On POSIX systems that is
// C.UTF-8 (thread code page 65001), set with uselocale and restored after;
// on Windows the thread keeps the system's locale (usually code page 1252).
// Without the locale, Active() is false and the tests that need it skip.
#ifndef MAILVANE_TESTS_SUPPORT_TEST_THREAD_LOCALE_H
#define MAILVANE_TESTS_SUPPORT_TEST_THREAD_LOCALE_H

class CTestThreadLocale {
 public:
  CTestThreadLocale();
  ~CTestThreadLocale();
  CTestThreadLocale(const CTestThreadLocale &) = delete;
  CTestThreadLocale &operator=(const CTestThreadLocale &) = delete;

  bool Active() const { return m_active; }

 private:
  bool m_active = false;
  void *m_locale = nullptr;    // the locale set for the thread
  void *m_previous = nullptr;  // the thread's locale before
};

#endif
