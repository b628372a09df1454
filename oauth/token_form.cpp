#include "oauth/token_form.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr char kGrantField[] = "grant_type=client_credentials";
constexpr char kClientIdField[] = "&client_id=";
constexpr char kSecretField[] = "&client_secret=";
constexpr char kScopeField[] = "&scope=";

// The bytes the form serializer leaves as they are (the URL standard's
// application/x-www-form-urlencoded percent-encode set is all others).
bool StaysAsIs(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '*' || c == '-' || c == '.' || c == '_';
}

}  // namespace

void AppendFormEncoded(std::string_view value, std::string &out) {
  for (char ch : value) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (StaysAsIs(c)) {
      out += ch;
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHexDigits[c >> 4];
      out += kHexDigits[c & 0x0F];
    }
  }
}

void BuildTokenForm(const std::string &clientId, std::string_view secret,
                    const std::string &scope, std::string &body) {
  body.clear();
  // The whole body fits the reservation, so the string never moves and
  // leaves no copy of the secret behind.
  body.reserve(sizeof kGrantField + sizeof kClientIdField + sizeof kSecretField +
               sizeof kScopeField +
               kMaxFormEncodedByte * (clientId.size() + secret.size() + scope.size()));
  body += kGrantField;
  body += kClientIdField;
  AppendFormEncoded(clientId, body);
  body += kSecretField;
  AppendFormEncoded(secret, body);
  body += kScopeField;
  AppendFormEncoded(scope, body);
}
