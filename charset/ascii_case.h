// Case of ASCII letters, for the protocol and file keywords that compare
// without case (SMTP keywords, option values, content types, charset and
// token-type names): only A-Z and a-z change, every other byte (a byte of
// a multibyte character among them) stays as it is, whatever the locale.
#ifndef MAILVANE_CHARSET_ASCII_CASE_H
#define MAILVANE_CHARSET_ASCII_CASE_H

#include <cstddef>
#include <string_view>

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when a and b are the same text but for the case of ASCII letters.
inline bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

#endif
