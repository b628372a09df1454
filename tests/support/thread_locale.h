// Test helper: runs the calling thread, while the object lives, in a locale
// whose code page can read every Latin-1 character, so that tests can feed
// 8-bit names through the conversion of the thread code page.
//
// POSIX systems switch the thread to C.UTF-8 (uselocale); on Windows the
// thread keeps its ANSI code page, which is a Latin-1 superset on the test
// systems. Tests still ask ThreadCodePage() which bytes to use.
#ifndef MAILVANE_TESTS_SUPPORT_THREAD_LOCALE_H
#define MAILVANE_TESTS_SUPPORT_THREAD_LOCALE_H

class CScopedLatinReadingLocale {
 public:
  CScopedLatinReadingLocale();
  ~CScopedLatinReadingLocale();
  CScopedLatinReadingLocale(const CScopedLatinReadingLocale &) = delete;
  CScopedLatinReadingLocale &operator=(const CScopedLatinReadingLocale &) = delete;

 private:
  void *m_own = nullptr;
  void *m_saved = nullptr;
};

#endif
