// How wide UTF-8 text shows in a fixed-pitch font, as a terminal or a
// mail reader's plain-text view lays it out: one column a character, two
// for the wide and fullwidth characters of East Asian scripts (Unicode
// Standard Annex 11, classes W and F).
//
// The text is well-formed UTF-8 (the JSON reader checked it).
#ifndef MAILVANE_REPORT_DISPLAY_WIDTH_H
#define MAILVANE_REPORT_DISPLAY_WIDTH_H

#include <cstddef>
#include <string>
#include <string_view>

// Columns the code point takes: 2 for a wide one, else 1.
std::size_t CodePointWidth(char32_t c);

// Appends text as a text table shows it, and returns the columns it takes:
// a control character as a space (a line break or tab would break the
// table's lines), NUL as U+FFFD; text wider than `limit` is cut so that
// what is kept and "..." take `limit` at most.
std::size_t AppendShownText(std::string &out, std::string_view text, std::size_t limit);

#endif
