#include "oauth/token_reply.h"

#include <rapidjson/reader.h>

#include <cstdint>
#include <limits>
#include <string>

#include "charset/ascii_case.h"
#include "mail/secure_zero.h"
#include "oauth/oauth_texts.h"
#include "oauth/token_form.h"
#include "mail/wiping_json_allocator.h"

namespace {

constexpr char kTokenField[] = "access_token";
constexpr char kTypeField[] = "token_type";
constexpr char kExpiresField[] = "expires_in";
constexpr char kErrorField[] = "error";
constexpr char kDescriptionField[] = "error_description";
constexpr char kBearer[] = "bearer";

// How much of each error field the text shows: an error code is a short
// word (RFC 6749 section 5.2); a description gets a few lines' worth.
constexpr std::size_t kMaxErrorShown = 64;
constexpr std::size_t kMaxDescriptionShown = 384;
constexpr char kCut[] = "...";
constexpr char kWithheld[] = "(withheld)";
constexpr char kFieldSeparator[] = ": ";

// A JSON text may begin with the UTF-8 byte order mark, which is no part
// of it (RFC 8259 section 8.1 lets a reader ignore it).
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// The most digits of a lifetime given as a string: more than any token
// lives, and too few to overflow a 64-bit count.
constexpr std::size_t kMaxLifetimeDigits = 18;

// In place, with every string checked to be UTF-8.
constexpr unsigned kParseFlags =
    rapidjson::kParseInsituFlag | rapidjson::kParseValidateEncodingFlag;
// Checking UTF-8 in place, the parser takes the continuation bytes a lead
// byte announces, three at most, without looking for the end of the text:
// as many NULs follow it (each one fails the check).
constexpr std::size_t kUtf8Overrun = 3;
// The deepest nesting read: a reply is one flat object (an error's details
// may hold an array); deeper is no reply. The parser recurses once a
// level, so this bounds the stack a reply of "[[[[..." takes.
constexpr std::size_t kMaxNesting = 64;

// A member of the reply object, as the parser reported its value; a
// string points into the body.
struct CField {
  enum class Kind { kAbsent, kString, kCount, kOther };
  Kind kind = Kind::kAbsent;
  std::string_view text;
  std::int64_t count = 0;

  const std::string_view *String() const { return kind == Kind::kString ? &text : nullptr; }
};

// The parser's events, kept for the members of the top-level object the
// reader looks at. A member named twice counts with its last value.
class CReplyFields : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, CReplyFields> {
 public:
  bool object = false;  // the reply is an object
  CField token, type, expires, error, description;

  bool Default() { return Take({CField::Kind::kOther, {}, 0}); }
  bool String(const char *text, rapidjson::SizeType length, bool) {
    return Take({CField::Kind::kString, std::string_view(text, length), 0});
  }
  bool Uint(unsigned value) { return Count(value); }
  bool Uint64(std::uint64_t value) { return Count(value); }
  bool Key(const char *text, rapidjson::SizeType length, bool) {
    if (m_depth == 1) m_member = Member(std::string_view(text, length));
    return true;
  }
  bool StartObject() {
    if (m_depth == 0) object = true;
    return Open();
  }
  bool StartArray() { return Open(); }
  bool EndObject(rapidjson::SizeType) { return Close(); }
  bool EndArray(rapidjson::SizeType) { return Close(); }

 private:
  // A value of the top-level object goes to the member its key named.
  bool Take(const CField &value) {
    if (m_depth == 1 && m_member != nullptr) *m_member = value;
    m_member = nullptr;
    return true;
  }
  bool Count(std::uint64_t value) {
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return Default();
    return Take({CField::Kind::kCount, {}, static_cast<std::int64_t>(value)});
  }
  bool Open() {
    Default();
    return ++m_depth <= kMaxNesting;
  }
  bool Close() {
    --m_depth;
    return true;
  }
  CField *Member(std::string_view key) {
    if (key == kTokenField) return &token;
    if (key == kTypeField) return &type;
    if (key == kExpiresField) return &expires;
    if (key == kErrorField) return &error;
    if (key == kDescriptionField) return &description;
    return nullptr;
  }

  std::size_t m_depth = 0;
  CField *m_member = nullptr;
};

// Parses body in place into fields; true when it is one JSON object.
bool ParseReply(CSecretString &body, CReplyFields &fields) {
  // The parser in place takes a NUL for the end of the text, and JSON
  // holds none raw: a body with one is no JSON.
  if (body.find('\0') != CSecretString::npos) return false;
  body.append(kUtf8Overrun, '\0');
  char *text = body.data();
  if (std::string_view(body).substr(0, kByteOrderMark.size()) == kByteOrderMark)
    text += kByteOrderMark.size();
  CWipingJsonAllocator allocator;
  rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, CWipingJsonAllocator> reader(
      &allocator);
  rapidjson::InsituStringStream stream(text);
  return !reader.Parse<kParseFlags>(stream, fields).IsError() && fields.object;
}

// RFC 6750 section 2.1: b64token = 1*( ALPHA / DIGIT / "-" / "." / "_" /
// "~" / "+" / "/" ) *"=".
bool IsBearerToken(std::string_view token) {
  if (token.empty() || token.size() > kMaxTokenLength) return false;
  std::size_t i = 0;
  for (; i < token.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(token[i]);
    bool tokenChar = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~' || c == '+' || c == '/';
    if (!tokenChar) break;
  }
  if (i == 0) return false;
  for (; i < token.size(); ++i)
    if (token[i] != '=') return false;
  return true;
}

bool IsBearerType(std::string_view type) {
  if (type.size() != sizeof kBearer - 1) return false;
  for (std::size_t i = 0; i < type.size(); ++i) {
    if (AsciiLower(type[i]) != kBearer[i]) return false;
  }
  return true;
}

// The lifetime a reply states: a count, or (as some endpoints send it) a
// string of digits.
std::optional<std::int64_t> Lifetime(const CField &field) {
  if (field.kind == CField::Kind::kCount) return field.count;
  const std::string_view *text = field.String();
  if (text == nullptr || text->empty() || text->size() > kMaxLifetimeDigits) return std::nullopt;
  std::int64_t seconds = 0;
  for (char c : *text) {
    if (c < '0' || c > '9') return std::nullopt;
    seconds = seconds * 10 + (c - '0');
  }
  return seconds;
}

bool Holds(std::string_view field, std::string_view needle) {
  return !needle.empty() && field.find(needle) != std::string_view::npos;
}

// Appends field as the client may see it: printable ASCII; any run of
// blanks and line breaks as one blank; every other byte as "?"; cut at
// limit. A field that holds the secret, as sent or form-encoded, is not
// shown at all: an endpoint may echo what it was given.
void AppendShown(std::string_view field, std::size_t limit, std::string_view secret,
                 const std::string &encodedSecret, std::string &out) {
  if (Holds(field, secret) || Holds(field, encodedSecret)) {
    out += kWithheld;
    return;
  }
  std::size_t shown = 0;
  bool blank = false;
  for (char ch : field) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = shown > 0;
      continue;
    }
    if (shown + (blank ? 1 : 0) + 1 > limit) {
      out += kCut;
      return;
    }
    if (blank) {
      out += ' ';
      ++shown;
      blank = false;
    }
    out += c >= 0x21 && c <= 0x7E ? ch : '?';
    ++shown;
  }
}

// The text of a reply other than 200: its status, and its error fields
// when it is a JSON object (reply, else null) that names an error.
std::string RefusalText(int status, const CReplyFields *reply, std::string_view secret) {
  std::string text = FormatText(kTextOAuthRefused, status);
  const std::string_view *error = reply == nullptr ? nullptr : reply->error.String();
  if (error == nullptr || error->empty()) return text;
  std::string encodedSecret;
  // Reserved whole, so that no partial copy is released while it grows.
  encodedSecret.reserve(kMaxFormEncodedByte * secret.size());
  AppendFormEncoded(secret, encodedSecret);
  text += kFieldSeparator;
  AppendShown(*error, kMaxErrorShown, secret, encodedSecret, text);
  const std::string_view *description = reply->description.String();
  if (description != nullptr && !description->empty()) {
    text += kFieldSeparator;
    AppendShown(*description, kMaxDescriptionShown, secret, encodedSecret, text);
  }
  SecureWipe(encodedSecret);
  return text;
}

}  // namespace

bool ReadTokenReply(int status, CSecretString &body, std::string_view secret,
                    CSecretString &token, std::string &text,
                    std::optional<std::int64_t> *expiresIn) {
  token.clear();
  if (expiresIn != nullptr) expiresIn->reset();
  CReplyFields reply;
  const bool object = ParseReply(body, reply);
  if (status != kStatusOk) {
    text = RefusalText(status, object ? &reply : nullptr, secret);
    return false;
  }
  const std::string_view *found = object ? reply.token.String() : nullptr;
  if (found == nullptr || !IsBearerToken(*found)) {
    text = kTextOAuthNoToken;
    return false;
  }
  // A token type is optional; when given, it must be Bearer, as a string.
  const std::string_view *type = reply.type.String();
  if (reply.type.kind != CField::Kind::kAbsent && (type == nullptr || !IsBearerType(*type))) {
    text = kTextOAuthNotBearer;
    return false;
  }
  token.reserve(found->size());
  token.assign(found->data(), found->size());
  if (expiresIn != nullptr) *expiresIn = Lifetime(reply.expires);
  return true;
}
