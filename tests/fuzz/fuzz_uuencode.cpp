// Fuzzes the uuencode encoder: with and without the begin and end lines and
// dot doubling, the data lines decode to the input, no data line holds
// more than 61 characters (62 with a doubled dot), every line ends in
// CR LF with no bare CR or LF, no NUL is written, and a name the contract
// refuses is refused.
#include <cstring>
#include <string>
#include <vector>

#include "mime/uuencode.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// A length character and 60 characters of 15 groups.
constexpr std::size_t kDataLineLimit = 61;

int UuValue(char c) {
  if (c == '`') return 0;
  if (c > ' ' && c < '`') return c - 32;
  return -1;  // a space, which mailers strip, is never written
}

// Splits text into its CR LF lines; false when it does not end in one.
bool Lines(const std::string &text, std::vector<std::string> &lines) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) return false;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return true;
}

// Decodes data lines; false for a malformed one.
bool DecodeLine(std::string line, bool double_dot, std::string &out) {
  if (double_dot && line.compare(0, 2, "..") == 0) line.erase(0, 1);
  if (line.empty() || line.size() > kDataLineLimit) return false;
  int count = UuValue(line[0]);
  if (count <= 0 || static_cast<std::size_t>(count) > kUuencodeLineBytes) return false;
  if (line.size() != 1 + static_cast<std::size_t>(count + 2) / 3 * 4) return false;
  std::string bytes;
  for (std::size_t i = 1; i < line.size(); i += 4) {
    unsigned v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      int sextet = UuValue(line[i + k]);
      if (sextet < 0) return false;
      v = (v << 6) | static_cast<unsigned>(sextet);
    }
    bytes.push_back(static_cast<char>(v >> 16));
    bytes.push_back(static_cast<char>((v >> 8) & 0xff));
    bytes.push_back(static_cast<char>(v & 0xff));
  }
  out.append(bytes, 0, static_cast<std::size_t>(count));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  CFuzzInput input(data, size);
  const int flags = input.Byte() & (kUuencodeBegin | kUuencodeEnd | kUuencodeDoubleDot);
  const std::string name = input.Text();
  const std::string plain = input.Rest();
  const bool begin = (flags & kUuencodeBegin) != 0;
  const bool refused_name =
      begin && (name.size() >= kUuencodeMaxName || name.find_first_of("\r\n") != std::string::npos);

  const std::size_t capacity = UuencodeCapacity(plain.size(), begin ? name.size() : 0);
  std::vector<char> out(capacity);
  std::size_t produced = capacity;
  const int result =
      EncodeUuencode(plain.data(), plain.size(), out.data(), &produced, name.c_str(), flags);
  if (refused_name) {
    FUZZ_CHECK(result == 0);
    return 0;
  }
  FUZZ_CHECK(result == 1);
  FUZZ_CHECK(produced <= capacity);
  const std::string encoded(out.data(), produced);
  FUZZ_CHECK(encoded.find('\0') == std::string::npos);
  FUZZ_CHECK(OnlyCrLfPairs(encoded));

  std::vector<std::string> lines;
  FUZZ_CHECK(Lines(encoded, lines));
  std::size_t first = 0, last = lines.size();
  if (begin) {
    FUZZ_CHECK(!lines.empty() && lines[0] == "begin 666 " + name);
    first = 1;
  }
  if ((flags & kUuencodeEnd) != 0) {
    FUZZ_CHECK(last >= first + 2 && lines[last - 2] == "`" && lines[last - 1] == "end");
    last -= 2;
  }
  std::string decoded;
  for (std::size_t i = first; i < last; ++i)
    FUZZ_CHECK(DecodeLine(lines[i], (flags & kUuencodeDoubleDot) != 0, decoded));
  FUZZ_CHECK(decoded == plain);

  if (capacity != 0) {
    std::size_t short_capacity = capacity - 1;
    FUZZ_CHECK(EncodeUuencode(plain.data(), plain.size(), out.data(), &short_capacity,
                              name.c_str(), flags) == 0);
  }
  return 0;
}
