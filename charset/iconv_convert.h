// A thin, replacing converter over iconv, for the POSIX services.
//
// Convert runs the whole input through one iconv descriptor. An input
// sequence the target cannot hold becomes the replacement character '?' (one
// per source character, written in the target encoding and its initial
// shift state), as the Windows conversions do; invalid input is replaced the
// same way. Returns false only when iconv does not know one of the names.
//
// The text may be a password: no copy of it is left in memory that the
// conversion frees. Its scratch buffer is wiped, and when out must grow,
// the buffer it leaves is wiped first.
#ifndef MAILVANE_CHARSET_ICONV_CONVERT_H
#define MAILVANE_CHARSET_ICONV_CONVERT_H

#include <cstddef>
#include <string>

// from and to are iconv names; unit is the size of one source character
// unit in bytes (1 for 8-bit text, 2 for UTF-16, 4 for UTF-32), by which
// an unconvertible source sequence is skipped.
bool IconvConvert(const char *from, const char *to, const char *data, std::size_t length,
                  std::size_t unit, std::string &out);

#endif
