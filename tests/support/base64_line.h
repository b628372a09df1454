// The line a client sends for a SASL response in tests: the bytes in
// base64 on one line, then CR LF, as the dialogue must write them; and the
// response of AUTH PLAIN (RFC 4616 section 2) that such a line carries.
#ifndef MAILVANE_TESTS_SUPPORT_BASE64_LINE_H
#define MAILVANE_TESTS_SUPPORT_BASE64_LINE_H

#include <gtest/gtest.h>

#include <string>

#include "mime/base64.h"

// The bytes in base64, without line breaks or CR LF.
inline std::string Base64Text(const std::string &raw) {
  std::string out(Base64Capacity(raw.size(), kBase64NoBreaks), '\0');
  std::size_t n = out.size();
  EXPECT_EQ(EncodeBase64(raw.data(), raw.size(), out.data(), &n, kBase64NoBreaks), 1);
  out.resize(n);
  return out;
}

inline std::string Base64Line(const std::string &raw) { return Base64Text(raw) + "\r\n"; }

// NUL, user, NUL, password: no authorization identity.
inline std::string PlainResponse(const std::string &user, const std::string &password) {
  return std::string(1, '\0') + user + std::string(1, '\0') + password;
}

// The credential line of AUTH PLAIN.
inline std::string CredentialLine(const std::string &user, const std::string &password) {
  return Base64Line(PlainResponse(user, password));
}

#endif
