// The failure texts of the transport and the token fetch, formatted: a
// fixed English text with one printf-style placeholder, %d for a number
// (a platform error code, an HTTP status) or %s for a short text (a reply
// code, a step name, a list of offered mechanisms). The argument is never
// a secret. The result is cut at kTextSize bytes, room for every text with
// its longest argument.
#ifndef MAILVANE_MAIL_FORMAT_TEXT_H
#define MAILVANE_MAIL_FORMAT_TEXT_H

#include <cstddef>
#include <cstdio>
#include <string>

inline constexpr std::size_t kTextSize = 128;

inline std::string FormatText(const char *format, int value) {
  char text[kTextSize];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

inline std::string FormatText(const char *format, const std::string &value) {
  char text[kTextSize];
  std::snprintf(text, sizeof text, format, value.c_str());
  return text;
}

#endif
