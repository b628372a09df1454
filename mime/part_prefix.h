// The line that opens every body part and attachment header: the
// delimiter of the enclosing multipart body, or, for the one part of a
// single-part message, the MIME-Version line that continues the message
// header. The header lines of the part follow it after CR LF.
#ifndef MAILVANE_MIME_PART_PREFIX_H
#define MAILVANE_MIME_PART_PREFIX_H

#include <cstddef>
#include <string>

// The length of a boundary (and the most of one that is used).
inline constexpr std::size_t kBoundaryLength = 32;

// Appends "\r\n\r\n--" and the boundary (at most its first 32 characters)
// or, for an empty boundary, "MIME-Version: 1.0". Throws std::bad_alloc.
void AppendPartPrefix(std::string &out, const char *boundary);

#endif
