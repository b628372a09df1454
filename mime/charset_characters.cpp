#include "mime/charset_characters.h"

#include "charset/ascii_case.h"

namespace {

// UTF-8 characters are a lead byte and at most three continuation bytes.
constexpr std::size_t kUtf8MaxContinuation = 3;

bool StartsWith(const char *name, const char *prefix) {
  for (; *prefix != '\0'; ++name, ++prefix)
    if (*name == '\0' || AsciiLower(*name) != *prefix) return false;
  return true;
}

bool IsAscii(unsigned char byte) { return byte < 0x80; }

}  // namespace

CCharsetCharacters::CCharsetCharacters(const char *charset) {
  const char *name = charset != nullptr ? charset : "";
  if (SameAsciiText(name, "utf-8")) {
    m_kind = Kind::kUtf8;
  } else if (SameAsciiText(name, "shift_jis")) {
    m_kind = Kind::kShiftJis;
  } else if (SameAsciiText(name, "gb2312") || SameAsciiText(name, "gbk") ||
             SameAsciiText(name, "big5") || SameAsciiText(name, "ks_c_5601-1987") ||
             SameAsciiText(name, "euc-kr")) {
    m_kind = Kind::kDoubleByte;
  } else if (SameAsciiText(name, "gb18030")) {
    m_kind = Kind::kGb18030;
  } else if (SameAsciiText(name, "euc-jp")) {
    m_kind = Kind::kEucJp;
  } else if (StartsWith(name, "iso-2022-") || SameAsciiText(name, "utf-7") ||
             SameAsciiText(name, "hz-gb-2312")) {
    m_kind = Kind::kStateful;
  } else if (SameAsciiText(name, "us-ascii") || StartsWith(name, "iso-8859-") ||
             StartsWith(name, "windows-") || StartsWith(name, "koi8-") ||
             StartsWith(name, "ibm") || StartsWith(name, "cp8")) {
    m_kind = Kind::kSingleByte;
  } else {
    m_kind = Kind::kUnknown;
  }
}

std::size_t CCharsetCharacters::PieceEnd(const std::string &text, std::size_t pos) const {
  const std::size_t n = text.size();
  if (pos >= n) return n;
  const unsigned char lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = 1;
  switch (m_kind) {
    case Kind::kSingleByte:
      break;
    case Kind::kUtf8: {
      // A character has at most kUtf8MaxContinuation continuation bytes;
      // a longer run is not UTF-8, and keeping it whole would give one
      // word (and one header line) as long as the run.
      std::size_t end = pos + 1;
      while (end < n && end - pos <= kUtf8MaxContinuation &&
             (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        ++end;
      return end;
    }
    case Kind::kShiftJis:
      if ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) length = 2;
      break;
    case Kind::kDoubleByte:
      if (lead >= 0x81 && lead <= 0xFE) length = 2;
      break;
    case Kind::kGb18030:
      if (lead >= 0x81 && lead <= 0xFE) {
        unsigned char second = pos + 1 < n ? static_cast<unsigned char>(text[pos + 1]) : 0;
        length = second >= 0x30 && second <= 0x39 ? 4 : 2;
      }
      break;
    case Kind::kEucJp:
      if (lead == 0x8F) length = 3;
      else if (lead == 0x8E || (lead >= 0xA1 && lead <= 0xFE)) length = 2;
      break;
    case Kind::kStateful:
      return n;
    case Kind::kUnknown: {
      std::size_t end = pos + 1;
      while (end < n && !(IsAscii(static_cast<unsigned char>(text[end - 1])) &&
                          IsAscii(static_cast<unsigned char>(text[end]))))
        ++end;
      return end;
    }
  }
  return pos + length < n ? pos + length : n;
}
