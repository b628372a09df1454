// The quoted-printable encoder of attachment data (RFC 2045 section 6.7).
//
// Every byte but the printable ones ("=" excluded) is escaped as "=XX",
// line breaks of the data included, so binary data survives unchanged;
// space and TAB pass as they are only below column 64 and never as the last
// byte of data that no soft break follows, so a line never ends in white
// space. A soft line break "=" CR LF follows as soon as the column
// passes 64: an output line holds at most 68 characters before its CR LF,
// within the 76 of the RFC. The column starts at 0 with every call. No NUL
// is written; the capacity is checked before anything is written.
#ifndef MAILVANE_MIME_QUOTED_PRINTABLE_H
#define MAILVANE_MIME_QUOTED_PRINTABLE_H

#include <cstddef>

inline constexpr int kQuotedPrintableDoubleDot = 1;  // "." at a line start twice
inline constexpr int kQuotedPrintableSoftEnd = 2;    // end with "=" CR LF

// An upper bound of the output of length bytes: each byte gives at most 3
// characters, a soft break needs at least 22 bytes (22 x 3 > 64) before it,
// and the final soft break takes 3 more.
constexpr std::size_t QuotedPrintableCapacity(std::size_t length) {
  return 3 * length + 3 * (length / 22) + 3;
}

// Encodes length bytes of data into out. *capacity_and_result holds the
// capacity of out on entry and the number of bytes produced on success.
// Returns 1, or 0 (writing nothing) when a pointer is null or the capacity
// is below QuotedPrintableCapacity(length).
int EncodeQuotedPrintable(const void *data, std::size_t length, char *out,
                          std::size_t *capacity_and_result, int flags);

#endif
