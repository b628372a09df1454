// CMimePart: the interface of every MIME entity of a message.
//
// A part writes itself (its MIME header and content) through an output
// channel. boundary is the enclosing multipart boundary, "" when the part
// is not inside a multipart body. flags is a bit set; kWriteSmtp (8) is the
// SMTP-transmission flag: a content line that begins with "." gets a second
// "." (SMTP transparency, RFC 5321 section 4.5.2), and folded header lines
// continue with a TAB. Results are 1 for success and 0 for failure.
#ifndef MAILVANE_MIME_MIME_PART_H
#define MAILVANE_MIME_MIME_PART_H

#include <string>

#include "mime/output_channel.h"

// The SMTP-transmission flag, passed to every WriteTo by the SMTP dialogue.
inline constexpr int kWriteSmtp = 8;

// Charset name held by parts and headers: at most 49 bytes and a NUL.
inline constexpr int kCharsetNameSize = 50;

class CMimePart {
 public:
  virtual ~CMimePart() = default;
  // Writes the entity; channel null fails.
  virtual int WriteTo(COutputChannel *channel, const char *boundary, int flags) = 0;
  virtual const char *GetContentType() const = 0;
  virtual const char *GetCharset() const { return "iso-8859-1"; }
  // A new heap copy owned by the caller, or null.
  virtual CMimePart *Clone() const = 0;
  // The entity's MIME header text for the boundary, into out.
  virtual int FormatPartHeader(std::string &out, const char *boundary) = 0;
};

#endif
