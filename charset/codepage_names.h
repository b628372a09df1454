// The table that names Windows code pages on POSIX systems: for each code
// page number its iconv name and the web charset name the Windows
// multi-language service gives it.
#ifndef MAILVANE_CHARSET_CODEPAGE_NAMES_H
#define MAILVANE_CHARSET_CODEPAGE_NAMES_H

#include <cstdint>

struct CodePageName {
  std::uint32_t code_page;
  const char *iconv_name;
  const char *web_charset;
};

// The entry of a code page number; null when the table has none.
const CodePageName *FindCodePage(std::uint32_t code_page);

// The code page of an iconv or locale codeset name (as nl_langinfo gives
// it, compared without regard to case, '-' and '_'); 0 when unknown.
std::uint32_t CodePageOfCodeset(const char *codeset);

#endif
