// CAttachment and CFileAttachment: MIME parts whose content is a file.
//
// CAttachment adds FormatAttachmentHeader to CMimePart: the part header
// naming the content type, charset, file name and transfer encoding.
// CFileAttachment holds a file's path and streams the file through its
// encoder (base64, uuencode or quoted-printable) in fixed memory: one input
// area of a chunk plus one byte, one output area, one write per chunk. The
// file is open only while WriteTo runs.
//
// Failures return 0. A file that cannot be opened, or that is not a
// regular file (file_reader.h), fails before anything of the part is
// written; one that cannot be read later leaves a partial part. Either way
// the reason, naming the file, goes to the channel's SetFailureText. The
// path is caller text of a TextSource, opened as a name of that source
// (charset/system_name.h): a path with CR or LF is refused (SetPath), and
// the file name reaches the header only as a quoted string of printable
// ASCII or in its RFC 2231 form (file_name_parameter.h).
#ifndef MAILVANE_MIME_ATTACHMENT_H
#define MAILVANE_MIME_ATTACHMENT_H

#include <cstddef>
#include <string>

#include "charset/text_source.h"
#include "mime/mime_part.h"

// Transfer-encoding kinds of an attachment.
inline constexpr int kAttachmentBase64 = 0;
inline constexpr int kAttachmentUuencode = 1;
inline constexpr int kAttachmentQuotedPrintable = 2;

// A path holds at most 260 characters (MAX_PATH) in an area of 264 bytes.
inline constexpr std::size_t kMaxAttachmentPath = 260;
inline constexpr int kAttachmentPathSize = 264;

// True when the path holds a CR or LF, which no file name may bring into a
// header line.
bool PathHasLineBreak(const char *path);

class CAttachment : public CMimePart {
 public:
  const char *GetContentType() const override { return m_contentType.c_str(); }
  const char *GetCharset() const override { return m_charset; }
  // The part header for the neutral name "rawdata".
  int FormatPartHeader(std::string &out, const char *boundary) override;
  // The part header naming the last component of path, text of the
  // attachment's name source. Fails when the encoding name is not set or a
  // pointer is null.
  virtual int FormatAttachmentHeader(std::string &out, const char *boundary, const char *path);

  void SetContentType(const std::string &content_type) { m_contentType = content_type; }
  // An id (RFC 2392) puts the part inline, named by a Content-ID line, for
  // an HTML body that shows it (a "cid:" reference); "", the default: an
  // attachment. The id is printable ASCII without blanks or brackets.
  void SetContentId(const std::string &id) { m_contentId = id; }
  const std::string &ContentId() const { return m_contentId; }
  // What the attachment's names are (charset/text_source.h).
  TextSource NameSource() const { return m_nameSource; }
  // Fails for a null name or one of kCharsetNameSize bytes or more.
  bool SetCharset(const char *charset);

 protected:
  std::string m_contentType = "application/octet-stream";
  char m_charset[kCharsetNameSize] = "iso-8859-1";
  const char *m_encodingName = nullptr;  // a constant text, set from the kind
  TextSource m_nameSource = TextSource::kThreadCodePage;  // what its paths are
  std::string m_contentId;
};

class CFileAttachment : public CAttachment {
 public:
  CFileAttachment();

  int WriteTo(COutputChannel *channel, const char *boundary, int flags) override;
  CMimePart *Clone() const override;

  // Fails for a kind other than the three above.
  bool SetKind(int kind);
  // Fails for a null path, one longer than kMaxAttachmentPath bytes or one
  // holding CR or LF; the path is kept unchanged, with what its text is.
  bool SetPath(const char *path, TextSource source = TextSource::kThreadCodePage);

  int Kind() const { return m_kind; }
  const char *Path() const { return m_path; }

 private:
  int m_kind = kAttachmentBase64;
  char m_path[kAttachmentPathSize] = {};
};

#endif
