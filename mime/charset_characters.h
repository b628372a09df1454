// Where text in a given charset may be cut without splitting a character,
// so that each piece of a long header text can be an encoded word of its
// own (RFC 2047 section 5: an encoded word holds whole characters).
//
// The charset is known by its MIME name. UTF-8 is cut before any byte that
// is not a continuation byte; the double-byte charsets of the code-page
// table (shift_jis, gb2312, big5, ks_c_5601-1987, euc-kr, euc-jp, GB18030)
// by their lead-byte rules; single-byte charsets anywhere. Stateful
// charsets (iso-2022-*, utf-7, hz-gb-2312) are never cut: a piece would not
// decode without the shift state of the piece before it. Any other charset
// is cut only between two ASCII bytes, which ends a character in every
// ASCII-compatible multibyte encoding.
#ifndef MAILVANE_MIME_CHARSET_CHARACTERS_H
#define MAILVANE_MIME_CHARSET_CHARACTERS_H

#include <cstddef>
#include <string>

class CCharsetCharacters {
 public:
  explicit CCharsetCharacters(const char *charset);

  // The end of the smallest piece starting at pos that must stay whole:
  // one character, or for a charset without known rules the run up to the
  // next safe cut. Always greater than pos (for pos < text.size()).
  std::size_t PieceEnd(const std::string &text, std::size_t pos) const;

 private:
  enum class Kind { kSingleByte, kUtf8, kShiftJis, kDoubleByte, kGb18030, kEucJp, kStateful,
                    kUnknown };
  Kind m_kind;
};

#endif
