// The Date header line (RFC 5322 section 3.3) of a message, from a local
// time and its zone bias.
//
// FormatDateHeaderAt writes "Date: Tue, 5 Mar 2024 09:07:03 +0530" (no
// CR LF) NUL-terminated into buffer. With a null buffer it returns the size
// it needs; with a buffer smaller than that it writes nothing and returns 0.
// A day of the week or a month out of range is named "Sun" or "Jan".
// FormatDateHeader does the same with the clock's time now, and returns 0
// as well when the platform cannot give it.
#ifndef MAILVANE_MIME_DATE_HEADER_H
#define MAILVANE_MIME_DATE_HEADER_H

#include "mime/local_time.h"

// The Date line is 38 bytes: "Date: Tue, 15 Mar 2024 09:07:03 +0530" at its
// longest, plus the NUL.
inline constexpr int kDateHeaderSize = 38;

int FormatDateHeaderAt(char *buffer, int size, const CLocalTime &time);
int FormatDateHeader(char *buffer, int size);

#endif
