// The line a client sends for a SASL response in tests: the bytes in
// base64 on one line, then CR LF, as the dialogue must write them.
#ifndef MAILVANE_TESTS_SUPPORT_BASE64_LINE_H
#define MAILVANE_TESTS_SUPPORT_BASE64_LINE_H

#include <string>

#include "mime/base64.h"

inline std::string Base64Line(const std::string &raw) {
  std::string out(Base64Capacity(raw.size(), kBase64NoBreaks), '\0');
  std::size_t n = out.size();
  EncodeBase64(raw.data(), raw.size(), out.data(), &n, kBase64NoBreaks);
  out.resize(n);
  return out + "\r\n";
}

#endif
