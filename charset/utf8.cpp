#include "charset/utf8.h"

#include "charset/thread_codepage.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateEnd = 0xE000;
constexpr char32_t kSupplementaryFirst = 0x10000;

bool IsHighSurrogate(char32_t u) { return u >= kHighSurrogateFirst && u < kLowSurrogateFirst; }
bool IsLowSurrogate(char32_t u) { return u >= kLowSurrogateFirst && u < kSurrogateEnd; }

// RFC 3629 section 3: one to four bytes by the size of the code point.
void AppendCodePoint(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

void AppendUtf8(std::string &out, const char16_t *text, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < count && IsLowSurrogate(text[i + 1])) {
      c = kSupplementaryFirst + ((c - kHighSurrogateFirst) << 10) +
          (static_cast<char32_t>(text[i + 1]) - kLowSurrogateFirst);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      c = kReplacement;
    }
    AppendCodePoint(out, c);
  }
}

bool Utf8FromThreadCodePage(const char *text, std::size_t length, std::string &out) {
  out.clear();
  std::u16string wide;
  if (!WidenFromThreadCodePage(text, length, wide)) return false;
  AppendUtf8(out, wide.data(), wide.size());
  return true;
}
