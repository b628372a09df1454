// The file-name parameters of an attachment's header: "name" of its
// Content-Type and "filename" of its Content-Disposition.
//
// A name of printable ASCII is written as a quoted string (RFC 5322
// 3.2.4), a quote or backslash escaped. Any other name is written in the
// form of RFC 2231 section 4, UTF-8 with percent escapes: `name*=utf-8''...`
// (an encoded word inside a quoted string is forbidden by RFC 2047 section
// 5, and strict readers flag it). A name whose line would pass 998 bytes
// (RFC 5322 2.1.1) is cut into numbered sections (RFC 2231 section 3),
// between whole characters. The name is caller text of source; when no
// UTF-8 form of 8-bit text can be had, its own bytes are written under
// fallback_charset, the charset of its code page.
#ifndef MAILVANE_MIME_FILE_NAME_PARAMETER_H
#define MAILVANE_MIME_FILE_NAME_PARAMETER_H

#include <string>

#include "charset/text_source.h"

// Appends `attribute="name"` or its RFC 2231 form (sections joined by
// ";" CR LF TAB) to out. Throws std::bad_alloc.
void AppendFileNameParameter(std::string &out, const char *attribute, const char *name,
                             const char *fallback_charset,
                             TextSource source = TextSource::kThreadCodePage);

#endif
