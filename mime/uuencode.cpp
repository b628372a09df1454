#include "mime/uuencode.h"

#include <cstring>

namespace {

// 6-bit value 0 is written as "`" rather than a space, which mailers strip
// at line ends.
char UuChar(unsigned v) { return v == 0 ? '`' : static_cast<char>(32 + v); }

char *Append(char *o, const char *text, std::size_t length) {
  std::memcpy(o, text, length);
  return o + length;
}

}  // namespace

int EncodeUuencode(const void *data, std::size_t length, char *out,
                   std::size_t *capacity_and_result, const char *name, int flags) {
  if (data == nullptr || out == nullptr || capacity_and_result == nullptr) return 0;
  const bool begin = (flags & kUuencodeBegin) != 0;
  std::size_t name_length = 0;
  if (begin) {
    if (name == nullptr) return 0;
    name_length = std::strlen(name);
    // The name ends the begin line: a CR or LF in it would start lines of
    // the caller's making.
    if (name_length >= kUuencodeMaxName || std::strpbrk(name, "\r\n") != nullptr) return 0;
  }
  if (*capacity_and_result < UuencodeCapacity(length, name_length)) return 0;

  const unsigned char *in = static_cast<const unsigned char *>(data);
  char *o = out;
  if (begin) {
    static constexpr char kBegin[] = "begin 666 ";
    o = Append(o, kBegin, sizeof kBegin - 1);
    o = Append(o, name, name_length);
    o = Append(o, "\r\n", 2);
  }
  for (std::size_t done = 0; done < length;) {
    std::size_t count = length - done < kUuencodeLineBytes ? length - done : kUuencodeLineBytes;
    char length_char = static_cast<char>(32 + count);
    // 14 bytes give "." (46): SMTP transparency (RFC 5321 4.5.2).
    if (length_char == '.' && (flags & kUuencodeDoubleDot) != 0) *o++ = '.';
    *o++ = length_char;
    for (std::size_t g = 0; g < count; g += 3) {
      unsigned char b[3] = {in[done + g], ' ', ' '};
      if (g + 1 < count) b[1] = in[done + g + 1];
      if (g + 2 < count) b[2] = in[done + g + 2];
      unsigned v = (unsigned{b[0]} << 16) | (unsigned{b[1]} << 8) | b[2];
      *o++ = UuChar(v >> 18);
      *o++ = UuChar((v >> 12) & 63);
      *o++ = UuChar((v >> 6) & 63);
      *o++ = UuChar(v & 63);
    }
    *o++ = '\r';
    *o++ = '\n';
    done += count;
  }
  if ((flags & kUuencodeEnd) != 0) {
    static constexpr char kEnd[] = "`\r\nend\r\n";
    o = Append(o, kEnd, sizeof kEnd - 1);
  }
  *capacity_and_result = static_cast<std::size_t>(o - out);
  return 1;
}
