// The uuencode encoder of attachment data.
//
// Lines of 45 input bytes: a length character (32 + count, "M" for 45), the
// 3-byte groups as four characters each (6-bit value 0 as "`", v as 32 + v;
// a last short group is completed with spaces), CR LF. With kUuencodeBegin
// the "begin 666 <name>" line comes first; name is the caller's path and
// must be shorter than kUuencodeMaxName and hold no CR or LF. With
// kUuencodeEnd the "`" and "end" lines close the data. No NUL is written;
// the capacity is checked before anything is written.
#ifndef MAILVANE_MIME_UUENCODE_H
#define MAILVANE_MIME_UUENCODE_H

#include <cstddef>

inline constexpr int kUuencodeBegin = 1;      // emit the begin line
inline constexpr int kUuencodeEnd = 2;        // emit the end lines
inline constexpr int kUuencodeDoubleDot = 4;  // "." as a line's first character twice

// Input bytes per line: 45 give 60 characters, the customary line.
inline constexpr std::size_t kUuencodeLineBytes = 45;
// A begin-line name holds at most 259 characters (MAX_PATH less the NUL).
inline constexpr std::size_t kUuencodeMaxName = 260;

// An upper bound of the output of length bytes with a name of name_length:
// begin line, each line with a doubled length character, end lines.
constexpr std::size_t UuencodeCapacity(std::size_t length, std::size_t name_length) {
  return (sizeof "begin 666 \r\n" - 1) + name_length +
         (length + kUuencodeLineBytes - 1) / kUuencodeLineBytes * 4 + (length + 2) / 3 * 4 +
         (sizeof "`\r\nend\r\n" - 1);
}

// Encodes length bytes of data into out. *capacity_and_result holds the
// capacity of out on entry and the number of bytes produced on success.
// Returns 1, or 0 (writing nothing) when a pointer is null, the capacity is
// below UuencodeCapacity, or kUuencodeBegin comes with a null name, one of
// kUuencodeMaxName characters or more, or one holding CR or LF.
int EncodeUuencode(const void *data, std::size_t length, char *out,
                   std::size_t *capacity_and_result, const char *name, int flags);

#endif
