#include "tests/support/thread_locale.h"

// The thread's ANSI code page already reads Latin-1 text.
CScopedLatinReadingLocale::CScopedLatinReadingLocale() = default;
CScopedLatinReadingLocale::~CScopedLatinReadingLocale() = default;
