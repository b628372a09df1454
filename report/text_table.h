// The rows as an aligned text table for a plain body, laid out as sqlcmd
// prints a result: a line of the column names, a line of dashes under
// each, then a line per row; each column as wide as its widest value or
// name (display_width.h: wide East Asian characters count two), at most
// kMaxTextColumnWidth (longer values cut with "..."), columns separated by
// one space; numbers right-aligned, everything else left-aligned, null as
// NULL. An empty line and "(<n> rows)" end it. Lines end in CR LF; the last
// column is not padded, so no line ends in blanks.
//
// The widths take a reading of the rows of their own (TextTableWidths),
// made once; the table is then written from them as often as asked.
#ifndef MAILVANE_REPORT_TEXT_TABLE_H
#define MAILVANE_REPORT_TEXT_TABLE_H

#include <cstddef>
#include <vector>

#include "mime/output_channel.h"
#include "report/json_rows.h"

// sqlcmd's widest column: its default column width for long text.
inline constexpr std::size_t kMaxTextColumnWidth = 256;

// The width of every column; false when memory ran out.
bool TextTableWidths(const CJsonRows &rows, std::vector<std::size_t> &widths);

// False when a write failed or memory ran out.
bool WriteTextTable(const CJsonRows &rows, const std::vector<std::size_t> &widths,
                    COutputChannel &out);

#endif
