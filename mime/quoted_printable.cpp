#include "mime/quoted_printable.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// Column from which space and TAB are escaped, and past which a soft line
// break follows.
constexpr int kSoftBreakColumn = 64;

bool IsLiteral(unsigned char c) { return (c >= 0x21 && c <= 0x3C) || (c >= 0x3E && c <= 0x7E); }

}  // namespace

int EncodeQuotedPrintable(const void *data, std::size_t length, char *out,
                          std::size_t *capacity_and_result, int flags) {
  if (data == nullptr || out == nullptr || capacity_and_result == nullptr) return 0;
  if (*capacity_and_result < QuotedPrintableCapacity(length)) return 0;
  const unsigned char *in = static_cast<const unsigned char *>(data);
  char *o = out;
  int column = 0;
  // Without a soft break after it, a blank that ends the data would end
  // the line, and mail software removes blanks at line ends (RFC 2045
  // 6.7 (3)): it is escaped then.
  const bool soft_end = (flags & kQuotedPrintableSoftEnd) != 0;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = in[i];
    if (column == 0 && c == '.') {
      // SMTP transparency (RFC 5321 4.5.2): the server removes one dot.
      *o++ = '.';
      ++column;
      if ((flags & kQuotedPrintableDoubleDot) != 0) {
        *o++ = '.';
        ++column;
      }
    } else if (IsLiteral(c) || ((c == ' ' || c == '\t') && column < kSoftBreakColumn &&
                                (i + 1 < length || soft_end))) {
      *o++ = static_cast<char>(c);
      ++column;
    } else {
      *o++ = '=';
      *o++ = kHexDigits[c >> 4];
      *o++ = kHexDigits[c & 15];
      column += 3;
    }
    if (column > kSoftBreakColumn) {
      *o++ = '=';
      *o++ = '\r';
      *o++ = '\n';
      column = 0;
    }
  }
  if (soft_end) {
    *o++ = '=';
    *o++ = '\r';
    *o++ = '\n';
  }
  *capacity_and_result = static_cast<std::size_t>(o - out);
  return 1;
}
