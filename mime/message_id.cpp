#include "mime/message_id.h"

#include <atomic>
#include <chrono>
#include <cstring>

#include "mime/host_identity.h"
#include "mime/secure_random.h"

namespace {

// The longest domain name (RFC 1035 2.3.4: 255 octets on the wire).
constexpr std::size_t kLongestDomain = 253;
constexpr char kNoHost[] = "localhost";
constexpr std::size_t kRandomBytes = 8;
constexpr char kHexDigits[] = "0123456789abcdef";
// The random part always has all its digits.
constexpr int kRandomDigits = 2 * kRandomBytes;

// Message-IDs made by this process so far.
std::atomic<std::uint32_t> g_messageIds{0};

// atext of RFC 5322 3.2.3.
bool IsAtext(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c != 0 && std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr);
}

// Appends value in lower-case hexadecimal, at least min_digits digits.
void AppendHex(std::string &out, std::uint64_t value, int min_digits) {
  char digits[16];
  int n = 0;
  do {
    digits[n++] = kHexDigits[value & 0x0F];
    value >>= 4;
  } while (value != 0 || n < min_digits);
  while (n > 0) out += digits[--n];
}

}  // namespace

bool IsDotAtomText(const std::string &text) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '.' ? text[i - 1] == '.' : !IsAtext(c)) return false;
  }
  return true;
}

std::string MessageIdRight(const std::string &sender, const std::string &host) {
  const std::size_t at = sender.rfind('@');
  if (at != std::string::npos) {
    std::string domain = sender.substr(at + 1);
    if (domain.size() <= kLongestDomain && IsDotAtomText(domain)) return domain;
  }
  if (host.size() <= kLongestDomain && IsDotAtomText(host)) return host;
  return kNoHost;
}

bool MakeMessageIdLeft(std::string &left, std::int32_t *error) {
  unsigned char random[kRandomBytes];
  if (!ReadSecureRandom(random, sizeof random, error)) return false;
  std::uint64_t bits = 0;
  for (unsigned char byte : random) bits = bits << 8 | byte;
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  const std::uint32_t count = g_messageIds.fetch_add(1, std::memory_order_relaxed) + 1;
  left.clear();
  AppendHex(left, static_cast<std::uint64_t>(now.count()), 1);
  left += '.';
  AppendHex(left, CurrentProcessId(), 1);
  left += '.';
  AppendHex(left, count, 1);
  left += '.';
  AppendHex(left, bits, kRandomDigits);
  return true;
}
