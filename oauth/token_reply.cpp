#include "oauth/token_reply.h"

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "charset/ascii_case.h"
#include "mail/secure_zero.h"
#include "oauth/oauth_texts.h"
#include "oauth/token_form.h"

namespace {

// Memory of the parsed document: wiped when released, since one of its
// strings is the token.
template <typename T>
struct CWipingAllocator {
  using value_type = T;
  CWipingAllocator() = default;
  template <typename U>
  CWipingAllocator(const CWipingAllocator<U> &) {}
  T *allocate(std::size_t n) { return static_cast<T *>(::operator new(n * sizeof(T))); }
  void deallocate(T *p, std::size_t n) {
    SecureZero(p, n * sizeof(T));
    ::operator delete(p);
  }
  template <typename U>
  bool operator==(const CWipingAllocator<U> &) const {
    return true;
  }
  template <typename U>
  bool operator!=(const CWipingAllocator<U> &) const {
    return false;
  }
};

using CWipedText = std::basic_string<char, std::char_traits<char>, CWipingAllocator<char>>;
using CReplyJson = nlohmann::basic_json<std::map, std::vector, CWipedText, bool, std::int64_t,
                                        std::uint64_t, double, CWipingAllocator>;

constexpr char kTokenField[] = "access_token";
constexpr char kTypeField[] = "token_type";
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

// RFC 6750 section 2.1: b64token = 1*( ALPHA / DIGIT / "-" / "." / "_" /
// "~" / "+" / "/" ) *"=".
bool IsBearerToken(const CWipedText &token) {
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

bool IsBearerType(const CWipedText &type) {
  if (type.size() != sizeof kBearer - 1) return false;
  for (std::size_t i = 0; i < type.size(); ++i) {
    if (AsciiLower(type[i]) != kBearer[i]) return false;
  }
  return true;
}

// The string member name of object, or null when it is absent or no string.
const CWipedText *StringMember(const CReplyJson &object, const char *name) {
  auto it = object.find(name);
  if (it == object.end() || !it->is_string()) return nullptr;
  return &it->get_ref<const CWipedText &>();
}

bool Holds(const CWipedText &field, std::string_view needle) {
  return !needle.empty() && field.find(needle.data(), 0, needle.size()) != CWipedText::npos;
}

// Appends field as the client may see it: printable ASCII; any run of
// blanks and line breaks as one blank; every other byte as "?"; cut at
// limit. A field that holds the secret, as sent or form-encoded, is not
// shown at all: an endpoint may echo what it was given.
void AppendShown(const CWipedText &field, std::size_t limit, std::string_view secret,
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
// when it is a JSON object that names an error.
std::string RefusalText(int status, const CReplyJson &reply, std::string_view secret) {
  std::string text = FormatText(kTextOAuthRefused, status);
  if (!reply.is_object()) return text;
  const CWipedText *error = StringMember(reply, kErrorField);
  if (error == nullptr || error->empty()) return text;
  std::string encodedSecret;
  // Reserved whole, so that no partial copy is released while it grows.
  encodedSecret.reserve(kMaxFormEncodedByte * secret.size());
  AppendFormEncoded(secret, encodedSecret);
  text += kFieldSeparator;
  AppendShown(*error, kMaxErrorShown, secret, encodedSecret, text);
  const CWipedText *description = StringMember(reply, kDescriptionField);
  if (description != nullptr && !description->empty()) {
    text += kFieldSeparator;
    AppendShown(*description, kMaxDescriptionShown, secret, encodedSecret, text);
  }
  SecureWipe(encodedSecret);
  return text;
}

}  // namespace

bool ReadTokenReply(int status, const std::string &body, std::string_view secret,
                    CSecretString &token, std::string &text) {
  token.clear();
  // Without exceptions: a body that is no JSON is "discarded".
  const CReplyJson reply = CReplyJson::parse(body, nullptr, false);
  if (status != kStatusOk) {
    text = RefusalText(status, reply, secret);
    return false;
  }
  const CWipedText *found = reply.is_object() ? StringMember(reply, kTokenField) : nullptr;
  if (found == nullptr || !IsBearerToken(*found)) {
    text = kTextOAuthNoToken;
    return false;
  }
  // A token type is optional; when given, it must be Bearer, as a string.
  const bool typed = reply.find(kTypeField) != reply.end();
  const CWipedText *type = StringMember(reply, kTypeField);
  if (typed && (type == nullptr || !IsBearerType(*type))) {
    text = kTextOAuthNotBearer;
    return false;
  }
  token.reserve(found->size());
  token.assign(found->data(), found->size());
  return true;
}
