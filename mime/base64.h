// The base64 encoder (RFC 2045 alphabet and bit order) of attachments,
// encoded words and the AUTH PLAIN credentials.
//
// Layout: the characters of complete groups form lines of 76 characters
// (19 groups), each followed by CR LF; after the last, shorter line nothing
// is written. A final partial group follows directly, with "=" fill unless
// kBase64NoFill. With kBase64NoBreaks no CR LF is written anywhere. No NUL is
// written. The capacity is checked before anything is written.
#ifndef MAILVANE_MIME_BASE64_H
#define MAILVANE_MIME_BASE64_H

#include <cstddef>

inline constexpr int kBase64NoFill = 1;    // no "=" after a final partial group
inline constexpr int kBase64NoBreaks = 2;  // all characters on one line

// Characters per line: 19 groups of 4, within the 76 of RFC 2045 6.8.
inline constexpr std::size_t kBase64LineLength = 76;

// The capacity EncodeBase64 demands for length input bytes under flags.
std::size_t Base64Capacity(std::size_t length, int flags);

// Encodes length bytes of data into out. *capacity_and_result holds the
// capacity of out on entry and the number of bytes produced on success.
// Returns 1, or 0 (writing nothing) when a pointer is null or the capacity
// is below Base64Capacity(length, flags).
int EncodeBase64(const void *data, std::size_t length, char *out,
                 std::size_t *capacity_and_result, int flags);

#endif
