// Case of ASCII letters, for the protocol and file keywords that compare
// without case (SMTP keywords, option values, content types, charset and
// token-type names): only A-Z and a-z change, every other byte (a byte of
// a multibyte character among them) stays as it is, whatever the locale.
#ifndef MAILVANE_CHARSET_ASCII_CASE_H
#define MAILVANE_CHARSET_ASCII_CASE_H

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

#endif
