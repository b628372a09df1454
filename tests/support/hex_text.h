// Bytes as lower-case hex digits, two a byte, for tests that hand bytes to
// a checker as text or compare them where a raw byte would be unreadable.
#ifndef MAILVANE_TESTS_SUPPORT_HEX_TEXT_H
#define MAILVANE_TESTS_SUPPORT_HEX_TEXT_H

#include <string>

inline std::string Hex(const std::string &bytes) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

#endif
