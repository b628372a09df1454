// Fuzzes the quoted-printable encoder: under every flag combination the
// output decodes to the input (SMTP dot doubling undone where asked for),
// no line holds more than 76 characters before its CR LF (77 when a
// doubled dot opens it), every line break is a soft one ("=" CR LF) or
// none at all, no line ends in white space, and no NUL is written.
#include <string>
#include <vector>

#include "mime/quoted_printable.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr std::size_t kLineLimit = 76;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // the encoder writes upper case only
}

// Decodes the encoder's output: "=" CR LF is removed, "=XX" gives a byte,
// and with double_dot a line's leading ".." gives ".". False for anything
// the encoder must not produce (a raw line break, a bad escape).
bool Decode(const std::string &text, bool double_dot, std::string &out) {
  bool line_start = true;
  for (std::size_t i = 0; i < text.size();) {
    if (double_dot && line_start && text[i] == '.') {
      if (i + 1 >= text.size() || text[i + 1] != '.') return false;
      out.push_back('.');
      i += 2;
      line_start = false;
      continue;
    }
    line_start = false;
    char c = text[i];
    if (c == '\r' || c == '\n') return false;
    if (c != '=') {
      out.push_back(c);
      ++i;
      continue;
    }
    if (i + 2 >= text.size()) return false;
    if (text[i + 1] == '\r') {
      if (text[i + 2] != '\n') return false;
      i += 3;
      line_start = true;
      continue;
    }
    int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 3;
  }
  return true;
}

// True when no line (up to a CR LF or the end) ends in space or TAB.
bool NoTrailingBlank(const std::string &text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != ' ' && text[i] != '\t') continue;
    if (i + 1 == text.size() || text[i + 1] == '\r') return false;
  }
  return true;
}

// The longest line, a leading doubled dot counted once.
std::size_t LongestLineOfDots(const std::string &text) {
  std::size_t longest = 0, start = 0;
  for (;;) {
    std::size_t end = text.find("\r\n", start);
    std::size_t stop = end == std::string::npos ? text.size() : end;
    std::size_t length = stop - start;
    if (text.compare(start, 2, "..") == 0) --length;
    if (length > longest) longest = length;
    if (end == std::string::npos) return longest;
    start = end + 2;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  CFuzzInput input(data, size);
  const int flags = input.Byte() & (kQuotedPrintableDoubleDot | kQuotedPrintableSoftEnd);
  const std::string plain = input.Rest();

  const std::size_t capacity = QuotedPrintableCapacity(plain.size());
  std::vector<char> out(capacity);
  std::size_t produced = capacity;
  FUZZ_CHECK(EncodeQuotedPrintable(plain.data(), plain.size(), out.data(), &produced, flags) == 1);
  FUZZ_CHECK(produced <= capacity);
  const std::string encoded(out.data(), produced);

  FUZZ_CHECK(encoded.find('\0') == std::string::npos);
  FUZZ_CHECK(OnlyCrLfPairs(encoded));
  FUZZ_CHECK(LongestLineOfDots(encoded) <= kLineLimit);
  FUZZ_CHECK(NoTrailingBlank(encoded));
  if ((flags & kQuotedPrintableSoftEnd) != 0)
    FUZZ_CHECK(encoded.size() >= 3 && encoded.compare(encoded.size() - 3, 3, "=\r\n") == 0);
  std::string decoded;
  FUZZ_CHECK(Decode(encoded, (flags & kQuotedPrintableDoubleDot) != 0, decoded));
  FUZZ_CHECK(decoded == plain);

  std::size_t short_capacity = capacity - 1;
  FUZZ_CHECK(EncodeQuotedPrintable(plain.data(), plain.size(), out.data(), &short_capacity,
                                   flags) == 0);
  return 0;
}
