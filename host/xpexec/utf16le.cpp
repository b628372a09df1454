#include "host/xpexec/utf16le.h"

#include <cstdint>

namespace xpexec {
namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;

// Decodes the sequence at the start of text; 0 on an invalid one.
size_t Decode(std::string_view text, uint32_t *code_point) {
  if (text.empty()) return 0;
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char b0 = byte(0);
  size_t length;
  uint32_t cp;
  uint32_t minimum;  // the smallest value this length may carry (no overlongs)
  if (b0 < 0x80) {
    *code_point = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    length = 2, cp = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, cp = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, cp = b0 & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i) & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  *code_point = cp;
  return length;
}

void AppendUnit(std::string *out, uint32_t unit) {
  out->push_back(static_cast<char>(unit & 0xFF));
  out->push_back(static_cast<char>((unit >> 8) & 0xFF));
}

}  // namespace

size_t ValidUtf8SequenceLength(std::string_view text) {
  uint32_t ignored;
  return Decode(text, &ignored);
}

std::string Utf8ToUtf16le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp;
    size_t length = Decode(utf8.substr(i), &cp);
    if (length == 0) {
      cp = kReplacementCharacter;
      length = 1;
    }
    i += length;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      AppendUnit(&out, 0xD800 | (cp >> 10));
      AppendUnit(&out, 0xDC00 | (cp & 0x3FF));
    } else {
      AppendUnit(&out, cp);
    }
  }
  return out;
}

std::string Utf16leToUtf8(std::string_view utf16le) {
  std::string out;
  const auto unit = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(utf16le[i])) |
           static_cast<uint32_t>(static_cast<unsigned char>(utf16le[i + 1])) << 8;
  };
  for (size_t i = 0; i + 1 < utf16le.size(); i += 2) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < utf16le.size() && unit(i + 2) >= 0xDC00 &&
        unit(i + 2) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacementCharacter;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace xpexec
