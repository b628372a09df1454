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
// often one long line). The writing itself is body_writer.h's.
//
// An insert (body_insert.h) may stand at one place of the text, in place
// of some of its bytes: its bytes are written there as if they were text,
// and count for the choice of the transfer encoding, which is made once,
// when the insert is set.
#ifndef MAILVANE_MIME_TEXT_PART_H
#define MAILVANE_MIME_TEXT_PART_H

#include <cstdint>
#include <memory>
#include <string>

#include "charset/multi_language.h"
#include "charset/text_source.h"
#include "mime/body_insert.h"
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
  // allocation or the naming fails. Any insert goes.
  int SetText(const char *text, int length, CMultiLanguageService *service,
              std::uint32_t code_page, TextSource source = TextSource::kThreadCodePage);

  // Writes insert's bytes in place of the `replaced` bytes of the text
  // that start at `at` (both within the text), and chooses the encoding
  // from the text and the insert's bytes. Returns 0 when the insert cannot
  // be written (the part is then unchanged).
  int SetInsert(std::size_t at, std::size_t replaced, std::unique_ptr<CBodyInsert> insert);

  const std::string &Text() const { return m_text; }

  // True when the part puts bytes above 0x7F on the wire as they are: its
  // text holds such bytes and goes out as 8bit.
  bool SendsEightBitBytes() const;

  // Gives copy this part's text and charset; false when memory runs out.
  bool CopyTextTo(CTextPart &copy) const;

 protected:
  // Gives sink the bytes of the body: the text, with the insert's bytes in
  // its place. False when a write failed.
  bool PutBody(class CBodySink &sink) const;
  // Whether a line passes the line limit, and whether bytes above 0x7F
  // are sent: from the text, or as measured when the insert was set.
  bool LongLine() const;

  std::string m_text;
  char m_charset[kCharsetNameSize] = "iso-8859-1";
  std::unique_ptr<CBodyInsert> m_insert;
  std::size_t m_insertAt = 0;
  std::size_t m_insertReplaced = 0;
  bool m_insertLongLine = false;
  bool m_insertEightBit = false;
};

class CHtmlPart : public CTextPart {
 public:
  const char *GetContentType() const override { return "text/html"; }
  CMimePart *Clone() const override;
  int FormatPartHeader(std::string &out, const char *boundary) override;
};

#endif
