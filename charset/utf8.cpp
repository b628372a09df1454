#include "charset/utf8.h"

#include <cstdint>
#include <cstring>

#include "charset/thread_codepage.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateEnd = 0xE000;
constexpr char32_t kSupplementaryFirst = 0x10000;
constexpr char32_t kLastCodePoint = 0x10FFFF;

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

// Appends the UTF-8 form of the units; a lone surrogate becomes U+FFFD
// when replace is set, and ends the walk with false otherwise.
bool AppendUnits(std::string &out, const char16_t *text, std::size_t count, bool replace) {
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < count && IsLowSurrogate(text[i + 1])) {
      c = kSupplementaryFirst + ((c - kHighSurrogateFirst) << 10) +
          (static_cast<char32_t>(text[i + 1]) - kLowSurrogateFirst);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      if (!replace) return false;
      c = kReplacement;
    }
    AppendCodePoint(out, c);
  }
  return true;
}

// The code point of the well-formed sequence at text[0..left); its length
// in bytes, or 0 when none starts there (RFC 3629 section 4).
std::size_t DecodeSequence(const unsigned char *text, std::size_t left, char32_t &c) {
  const unsigned char b0 = text[0];
  std::size_t length;
  char32_t smallest;  // below it the form is overlong
  if (b0 < 0x80) {
    c = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    length = 2, c = b0 & 0x1F, smallest = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, c = b0 & 0x0F, smallest = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, c = b0 & 0x07, smallest = kSupplementaryFirst;
  } else {
    return 0;
  }
  if (left < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (text[i] & 0x3F);
  }
  if (c < smallest || c > kLastCodePoint || (c >= kHighSurrogateFirst && c < kSurrogateEnd))
    return 0;
  return length;
}

}  // namespace

void AppendUtf8(std::string &out, const char16_t *text, std::size_t count) {
  AppendUnits(out, text, count, true);
}

bool AppendUtf8Strictly(std::string &out, const char16_t *text, std::size_t count) {
  return AppendUnits(out, text, count, false);
}

bool Utf16FromUtf8(const char *text, std::size_t length, std::u16string &out) {
  out.clear();
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text);
  for (std::size_t i = 0; i < length;) {
    char32_t c = 0;
    const std::size_t n = DecodeSequence(bytes + i, length - i, c);
    if (n == 0) {
      out.clear();
      return false;
    }
    i += n;
    if (c < kSupplementaryFirst) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      c -= kSupplementaryFirst;
      out.push_back(static_cast<char16_t>(kHighSurrogateFirst + (c >> 10)));
      out.push_back(static_cast<char16_t>(kLowSurrogateFirst + (c & 0x3FF)));
    }
  }
  return true;
}

std::size_t Utf8WellFormedPrefix(const char *text, std::size_t length) {
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text);
  std::size_t i = 0;
  while (i < length) {
    // Runs of ASCII, most of any text, a word at a time.
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::uint64_t word = 0;
    for (; i + sizeof word <= length; i += sizeof word) {
      std::memcpy(&word, bytes + i, sizeof word);
      if ((word & kHighBits) != 0) break;
    }
    if (i == length) break;
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    char32_t c = 0;
    const std::size_t n = DecodeSequence(bytes + i, length - i, c);
    if (n == 0) return i;
    i += n;
  }
  return length;
}

bool IsWellFormedUtf8(const char *text, std::size_t length) {
  return Utf8WellFormedPrefix(text, length) == length;
}

bool Utf8FromThreadCodePage(const char *text, std::size_t length, std::string &out) {
  out.clear();
  std::u16string wide;
  if (!WidenFromThreadCodePage(text, length, wide)) return false;
  AppendUtf8(out, wide.data(), wide.size());
  return true;
}

bool ThreadCodePageFromUtf8(const std::string &text, std::string &out) {
  out.clear();
  std::u16string wide;
  std::string narrow;
  std::u16string back;
  if (!Utf16FromUtf8(text.data(), text.size(), wide) ||
      !NarrowToThreadCodePage(wide.data(), wide.size(), narrow))
    return false;
  // The platform's conversion replaces what the code page lacks ('?') or
  // maps it to a look-alike (best fit): only text that comes back as it
  // went is held exactly.
  if (!WidenFromThreadCodePage(narrow.data(), narrow.size(), back) || back != wide) return false;
  out.swap(narrow);
  return true;
}
