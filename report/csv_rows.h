// The rows as CSV (RFC 4180): the byte order mark of UTF-8 first, so that
// Excel reads the file as UTF-8 rather than in the local code page; then a
// record of the column names and a record per row. Fields are separated
// by "," and records end in CR LF; a field that holds ",", '"', CR or LF
// is quoted, its quotes doubled. Null is an empty field; numbers, true and
// false are written as the JSON text wrote them, an array as its JSON text.
// A record of one empty field is written "", which no reader skips as an
// empty line.
#ifndef MAILVANE_REPORT_CSV_ROWS_H
#define MAILVANE_REPORT_CSV_ROWS_H

#include <string>
#include <string_view>

#include "mime/output_channel.h"
#include "report/json_rows.h"

// False when a write failed or memory ran out.
bool WriteCsvRows(const CJsonRows &rows, COutputChannel &out);

// Appends one field, quoted when it must be.
void AppendCsvField(std::string &out, std::string_view text);

#endif
