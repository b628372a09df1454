#include "mime/file_name_parameter.h"

#include <cstring>
#include <vector>

#include "charset/utf8.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kUtf8Charset[] = "utf-8";
constexpr std::size_t kLongestUtf8Character = 4;
// A section's value stays this short, so that its line, with the TAB, the
// attribute, the section number and the charset, keeps within 998 bytes.
constexpr std::size_t kLongestSectionValue = 900;
// Between two sections: the ";" that ends one and the fold before the next.
constexpr char kSectionSeparator[] = ";\r\n\t";

bool IsPrintableAscii(const char *text) {
  for (const char *p = text; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// attribute-char of RFC 2231 section 7: any CHAR but space, controls, "*",
// "'", "%" and the tspecials of RFC 2045 section 5.1.
bool IsAttributeChar(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  return std::strchr("*'%()<>@,;:\\\"/[]?=", c) == nullptr;
}

bool IsUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The percent-escaped form of bytes as section values of at most
// kLongestSectionValue characters each; a cut falls only before a byte
// that starts a character (of UTF-8 text; other bytes may be cut anywhere).
std::vector<std::string> EscapedSections(const std::string &bytes) {
  std::vector<std::string> sections(1);
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t end = i + 1;
    while (end < bytes.size() && end - i < kLongestUtf8Character &&
           IsUtf8Continuation(static_cast<unsigned char>(bytes[end])))
      ++end;
    std::string escaped;
    for (std::size_t k = i; k < end; ++k) {
      const unsigned char c = static_cast<unsigned char>(bytes[k]);
      if (IsAttributeChar(c)) {
        escaped += static_cast<char>(c);
      } else {
        escaped += '%';
        escaped += kHexDigits[c >> 4];
        escaped += kHexDigits[c & 0x0F];
      }
    }
    if (sections.back().size() + escaped.size() > kLongestSectionValue) sections.emplace_back();
    sections.back() += escaped;
    i = end;
  }
  return sections;
}

void AppendQuoted(std::string &out, const char *text) {
  out += '"';
  for (const char *p = text; *p != '\0'; ++p) {
    if (*p == '"' || *p == '\\') out += '\\';
    out += *p;
  }
  out += '"';
}

}  // namespace

void AppendFileNameParameter(std::string &out, const char *attribute, const char *name,
                             const char *fallback_charset, TextSource source) {
  if (IsPrintableAscii(name)) {
    out += attribute;
    out += '=';
    AppendQuoted(out, name);
    return;
  }
  std::string bytes;
  const char *charset = kUtf8Charset;
  if (source == TextSource::kUtf8) {
    bytes = name;
  } else if (!Utf8FromThreadCodePage(name, std::strlen(name), bytes)) {
    bytes = name;
    charset = fallback_charset;
  }
  const std::vector<std::string> sections = EscapedSections(bytes);
  for (std::size_t n = 0; n < sections.size(); ++n) {
    if (n != 0) out += kSectionSeparator;
    out += attribute;
    if (sections.size() > 1) out += '*' + std::to_string(n);
    out += "*=";
    // Only the first section names the charset (and no language).
    if (n == 0) {
      out += charset;
      out += "''";
    }
    out += sections[n];
  }
}
