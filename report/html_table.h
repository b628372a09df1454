// The rows as an HTML table for an HTML body: a header row of the column
// names, then a row per row, every value HTML-escaped, numbers
// right-aligned, null an empty cell. The style is inline on every element
// (borders, padding, a shaded header): Outlook's renderer ignores most
// style sheets, and the table must still show as a grid there. Without
// rows the table holds one cell, "(no rows)".
//
// Each table row is a line of its own, so that lines stay short unless a
// value is long; a line break inside a value is written as a character
// reference, so that it stays inside its cell exactly.
#ifndef MAILVANE_REPORT_HTML_TABLE_H
#define MAILVANE_REPORT_HTML_TABLE_H

#include <string>
#include <string_view>

#include "mime/output_channel.h"
#include "report/json_rows.h"

// False when a write failed or memory ran out.
bool WriteHtmlTable(const CJsonRows &rows, COutputChannel &out);

// Appends text with "&", "<", ">", '"' and "'" as references (HTML 5
// section 13.1.4), CR and LF as "&#13;" and "&#10;", and NUL, which no
// HTML text may hold, as U+FFFD.
void AppendHtmlEscaped(std::string &out, std::string_view text);

#endif
