// Fuzzes the base64 encoder: under every flag combination the output
// decodes to the input, keeps to the capacity it demands, has lines of at
// most kBase64LineLength characters (one line with kBase64NoBreaks) and no
// bare CR, LF or NUL; a capacity one short is refused without a byte
// written.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "mime/base64.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kCanary = '\x5a';

// Decodes base64 text, line breaks skipped and "=" fill optional; false
// for any other character or a dangling sextet.
bool Decode(const std::string &text, std::string &out) {
  unsigned bits = 0;
  int count = 0;
  std::size_t fill = 0;
  for (char c : text) {
    if (c == '\r' || c == '\n') continue;
    if (c == '=') {
      ++fill;
      continue;
    }
    if (fill != 0) return false;  // data after fill
    const char *p = std::strchr(kAlphabet, c);
    if (p == nullptr || c == '\0') return false;
    bits = (bits << 6) | static_cast<unsigned>(p - kAlphabet);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xff));
    }
  }
  // A group of 2 or 3 characters leaves 4 or 2 spare bits; 1 is invalid.
  return count != 6 && fill <= 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  CFuzzInput input(data, size);
  const int flags = input.Byte() & (kBase64NoFill | kBase64NoBreaks);
  const std::string plain = input.Rest();

  const std::size_t capacity = Base64Capacity(plain.size(), flags);
  std::vector<char> out(capacity + 1, kCanary);
  std::size_t produced = capacity;
  FUZZ_CHECK(EncodeBase64(plain.data(), plain.size(), out.data(), &produced, flags) == 1);
  FUZZ_CHECK(produced <= capacity);
  FUZZ_CHECK(out[capacity] == kCanary);
  const std::string encoded(out.data(), produced);

  FUZZ_CHECK(encoded.find('\0') == std::string::npos);
  FUZZ_CHECK(OnlyCrLfPairs(encoded));
  if ((flags & kBase64NoBreaks) != 0) FUZZ_CHECK(encoded.find('\r') == std::string::npos);
  else FUZZ_CHECK(LongestLine(encoded) <= kBase64LineLength);
  if ((flags & kBase64NoFill) != 0) FUZZ_CHECK(encoded.find('=') == std::string::npos);
  else FUZZ_CHECK(encoded.size() - 2 * std::count(encoded.begin(), encoded.end(), '\r') ==
                  (plain.size() + 2) / 3 * 4);
  std::string decoded;
  FUZZ_CHECK(Decode(encoded, decoded));
  FUZZ_CHECK(decoded == plain);

  if (capacity != 0) {
    std::vector<char> small(capacity, kCanary);
    std::size_t short_capacity = capacity - 1;
    FUZZ_CHECK(EncodeBase64(plain.data(), plain.size(), small.data(), &short_capacity, flags) == 0);
    FUZZ_CHECK(std::count(small.begin(), small.end(), kCanary) ==
               static_cast<std::ptrdiff_t>(capacity));
  }
  return 0;
}
