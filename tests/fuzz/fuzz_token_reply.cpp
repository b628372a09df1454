// Fuzzes the reader of token endpoint replies: whatever the body, a token
// taken is a bearer token of bounded length, and a refusal's text is
// printable ASCII of bounded length that never holds the client secret.
#include <string>

#include "oauth/token_reply.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// Statuses a reply may carry: the token's, and refusals.
constexpr int kStatuses[] = {200, 400, 401, 302, 500};
constexpr char kSecret[] = "fuzz-secret";
// The longest refusal: its status, then the error (64) and description
// (384) fields, each with its cut mark and separator.
constexpr std::size_t kMaxText = 40 + 64 + 3 + 2 + 384 + 3 + 2;

bool IsTokenChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == '~' || c == '+' || c == '/' || c == '=';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  CFuzzInput input(data, size);
  const int status = kStatuses[input.Byte() % (sizeof kStatuses / sizeof kStatuses[0])];
  const std::string rest = input.Rest();
  CSecretString body(rest.data(), rest.size());
  CSecretString token;
  std::string text;
  if (ReadTokenReply(status, body, kSecret, token, text)) {
    FUZZ_CHECK(status == kStatusOk);
    FUZZ_CHECK(!token.empty() && token.size() <= kMaxTokenLength);
    for (char c : token) FUZZ_CHECK(IsTokenChar(c));
  } else {
    FUZZ_CHECK(token.empty());
    FUZZ_CHECK(!text.empty() && text.size() <= kMaxText);
    for (char c : text) FUZZ_CHECK(c >= 0x20 && c < 0x7f);
    FUZZ_CHECK(text.find(kSecret) == std::string::npos);
  }
  return 0;
}
