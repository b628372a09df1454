// Character-wise scanning of 8-bit multibyte text: finding a delimiter,
// trimming blanks, escaping a quoted display name.
//
// Each operation walks the text from a character boundary and steps over a
// lead byte together with the byte after it, so the second byte of a
// double-byte character is never taken for a delimiter, a blank or a
// character to escape. A lead byte that ends the text counts as a character
// of its own. Blanks are the bytes 0x20 and 0x09-0x0D.
#ifndef MAILVANE_MAIL_MULTIBYTE_TEXT_H
#define MAILVANE_MAIL_MULTIBYTE_TEXT_H

#include <cstddef>
#include <string>

#include "charset/lead_byte.h"

// The position of the first character c at or after from (a character
// boundary), or std::string::npos.
std::size_t FindCharacter(const std::string &text, char c, std::size_t from,
                          const CLeadBytes &lead);

// text without the blanks at its start and end.
std::string TrimBlanks(const std::string &text, const CLeadBytes &lead);

// Appends name to out with every backslash doubled and a backslash before
// every double quote: the inside of an RFC 5322 quoted string.
void AppendQuotedText(std::string &out, const std::string &name, const CLeadBytes &lead);

#endif
