#include "smtp/sasl_mechanisms.h"

#include <string>

#include "mime/base64.h"

namespace {

constexpr char kCrLf[] = "\r\n";
constexpr std::size_t kCrLfLength = sizeof kCrLf - 1;

// The PLAIN block (NUL user NUL password): 750 bytes give exactly the 1000
// base64 characters its line has always held.
constexpr std::size_t kMaxPlainBlock = 750;
// A response line after a 334 may hold 12288 octets with its CR LF (RFC
// 4954 section 4); the base64 of 9213 bytes is the longest that fits.
constexpr std::size_t kMaxContinuationLine = 12288;
constexpr std::size_t kMaxResponse = (kMaxContinuationLine - kCrLfLength) / 4 * 3;

// XOAUTH2: "user=" user ^A "auth=Bearer " token ^A ^A.
constexpr char kXOAuth2User[] = "user=";
constexpr char kBearer[] = "\x01" "auth=Bearer ";
constexpr char kEndOfFields[] = "\x01\x01";
// OAUTHBEARER (RFC 7628 section 3.1): the GS2 header "n,a=" user "," (no
// channel binding), then the key-value pairs, each ended by ^A.
constexpr char kGs2Header[] = "n,a=";
constexpr char kHostKey[] = ",\x01" "host=";
constexpr char kPortKey[] = "\x01" "port=";

template <std::size_t N>
constexpr std::size_t Length(const char (&)[N]) {
  return N - 1;
}

// A user name as a GS2 saslname (RFC 5801 section 4): "," and "=" would end
// or escape the field, so they are written =2C and =3D.
void AppendSaslName(CSecretString &out, std::string_view user) {
  for (char c : user) {
    if (c == ',')
      out += "=2C";
    else if (c == '=')
      out += "=3D";
    else
      out += c;
  }
}

std::size_t SaslNameLength(std::string_view user) {
  std::size_t length = user.size();
  for (char c : user)
    if (c == ',' || c == '=') length += 2;
  return length;
}

bool BuildPlain(const CSaslInput &in, CSaslResponses &responses) {
  CSecretString b;
  b.reserve(in.user.size() + in.secret.size() + 2);
  b += '\0';
  b += in.user;
  b += '\0';
  b += in.secret;
  return responses.Add(b.data(), b.size(), kMaxPlainBlock);
}

bool BuildLogin(const CSaslInput &in, CSaslResponses &responses) {
  return responses.Add(in.user.data(), in.user.size(), kMaxResponse) &&
         responses.Add(in.secret.data(), in.secret.size(), kMaxResponse);
}

bool BuildXOAuth2(const CSaslInput &in, CSaslResponses &responses) {
  CSecretString r;
  r.reserve(Length(kXOAuth2User) + in.user.size() + Length(kBearer) + in.secret.size() +
                 Length(kEndOfFields));
  r += kXOAuth2User;
  r += in.user;
  r += kBearer;
  r += in.secret;
  r += kEndOfFields;
  return responses.Add(r.data(), r.size(), kMaxResponse);
}

bool BuildOAuthBearer(const CSaslInput &in, CSaslResponses &responses) {
  const std::string port = std::to_string(in.port);
  CSecretString r;
  r.reserve(Length(kGs2Header) + SaslNameLength(in.user) + Length(kHostKey) + in.host.size() +
                 Length(kPortKey) + port.size() + Length(kBearer) + in.secret.size() +
                 Length(kEndOfFields));
  r += kGs2Header;
  AppendSaslName(r, in.user);
  r += kHostKey;
  r += in.host;
  r += kPortKey;
  r += port;
  r += kBearer;
  r += in.secret;
  r += kEndOfFields;
  return responses.Add(r.data(), r.size(), kMaxResponse);
}

const CSaslMechanism kMechanisms[] = {
    // RFC 4616; the block follows the 334 on its own line, or rides on
    // the AUTH line where the server pipelines.
    {AuthMechanism::kPlain, "PLAIN", BuildPlain, InitialResponse::kWithPipelining, nullptr, true},
    // The user name after the first 334, the password after the second.
    {AuthMechanism::kLogin, "LOGIN", BuildLogin, InitialResponse::kNever, nullptr, false},
    // The error challenge is a base64 JSON document; an empty line answers
    // it.
    {AuthMechanism::kXOAuth2, "XOAUTH2", BuildXOAuth2, InitialResponse::kAlways, "", false},
    // RFC 7628 section 3.2.3: the client answers an error with a single ^A.
    {AuthMechanism::kOAuthBearer, "OAUTHBEARER", BuildOAuthBearer, InitialResponse::kAlways,
     "AQ==", false},
};

}  // namespace

bool CSaslResponses::Add(const char *raw, std::size_t length, std::size_t maxRaw) {
  if (length > maxRaw || m_count == kMaxCount) return false;
  std::size_t capacity = Base64Capacity(length, kBase64NoBreaks);
  CSecretString &line = m_lines[m_count];
  line.Wipe();
  line.reserve(capacity + kCrLfLength);
  line.resize(capacity);
  std::size_t encoded = capacity;
  if (EncodeBase64(raw, length, line.data(), &encoded, kBase64NoBreaks) == 0) return false;
  line.resize(encoded);
  line += kCrLf;
  ++m_count;
  return true;
}

const CSaslMechanism *FindSaslMechanism(AuthMechanism id) {
  for (const CSaslMechanism &m : kMechanisms)
    if (m.id == id) return &m;
  return nullptr;
}

const CSaslMechanism *ChooseSaslMechanism(const CEhloCapabilities &offer) {
  // PLAIN also where the server names no mechanism: the dialogue as it
  // has always run.
  if (!offer.auth || offer.mechanisms.empty() || offer.Offers("PLAIN"))
    return FindSaslMechanism(AuthMechanism::kPlain);
  if (offer.Offers("LOGIN")) return FindSaslMechanism(AuthMechanism::kLogin);
  return nullptr;
}
