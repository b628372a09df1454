// UTF-8 to UTF-16LE, as SQL Server passes an nvarchar value: the bytes of
// the UTF-16 code units, low byte first. Characters beyond U+FFFF become
// surrogate pairs.
//
// The input is untrusted text: a byte that does not start a valid UTF-8
// sequence (stray continuation, overlong form, surrogate, beyond U+10FFFF,
// cut-off sequence) becomes U+FFFD, and conversion goes on after it.
#ifndef MAILVANE_HOST_XPEXEC_UTF16LE_H
#define MAILVANE_HOST_XPEXEC_UTF16LE_H

#include <string>
#include <string_view>

namespace xpexec {

std::string Utf8ToUtf16le(std::string_view utf8);

// UTF-16LE to UTF-8, as a client shows an nvarchar value; a lone
// surrogate becomes U+FFFD, an odd last byte is dropped.
std::string Utf16leToUtf8(std::string_view utf16le);

// The length of the valid UTF-8 sequence at the start of text, or 0 when
// text is empty or does not start with one.
size_t ValidUtf8SequenceLength(std::string_view text);

}  // namespace xpexec

#endif
