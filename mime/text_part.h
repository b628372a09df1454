// CTextPart and CHtmlPart: the body of a message, plain text or HTML.
//
// The part owns its text, already in its charset (converted by the
// multi-language service when there is one). It writes its part header and
// the text through the output channel in 4096-byte pieces, in 8bit; with
// kWriteSmtp a bare CR or LF becomes CR LF and a "." that begins a line is
// doubled, so the text can never end the data early or smuggle a command.
// A text with a line longer than 998 bytes (RFC 5322 2.1.1), counted
// between those line ends, goes out in quoted-printable instead, line by
// line, so that no byte of it changes (HTML built by concatenation is
// often one long line).
#ifndef MAILVANE_MIME_TEXT_PART_H
#define MAILVANE_MIME_TEXT_PART_H

#include <cstdint>
#include <string>

#include "charset/multi_language.h"
#include "charset/text_source.h"
#include "mime/mime_part.h"

class CTextPart : public CMimePart {
 public:
  CTextPart();
  ~CTextPart() override;

  int WriteTo(COutputChannel *channel, const char *boundary, int flags) override;
  const char *GetContentType() const override { return "text/plain"; }
  const char *GetCharset() const override { return m_charset; }
  CMimePart *Clone() const override;
  int FormatPartHeader(std::string &out, const char *boundary) override;

  // Takes the text (its bytes from source, text_source.h): converted to
  // code_page when a service is given (up to the text's first zero byte),
  // else `length` bytes as they are (a negative length: up to the first
  // zero byte). Then names the charset. Returns 0 when the conversion, the
  // allocation or the naming fails.
  int SetText(const char *text, int length, CMultiLanguageService *service,
              std::uint32_t code_page, TextSource source = TextSource::kThreadCodePage);

  const std::string &Text() const { return m_text; }

  // True when the part puts bytes above 0x7F on the wire as they are: its
  // text holds such bytes and goes out as 8bit.
  bool SendsEightBitBytes() const;

  // Gives copy this part's text and charset; false when memory runs out.
  bool CopyTextTo(CTextPart &copy) const;

 protected:
  std::string m_text;
  char m_charset[kCharsetNameSize] = "iso-8859-1";
};

class CHtmlPart : public CTextPart {
 public:
  const char *GetContentType() const override { return "text/html"; }
  CMimePart *Clone() const override;
  int FormatPartHeader(std::string &out, const char *boundary) override;
};

#endif
