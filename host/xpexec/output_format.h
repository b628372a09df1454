// How xpexec shows what a call sent back.
//
// Human form follows sqlcmd: an error message as "Msg N, Level L, State
// S, Line K" and its text on the next line, an informational one as its
// text alone; a DONE with the count bit as "(N rows
// affected)", any other DONE not at all; the return value not at all; the
// rows of a result set as a table (column names, dashes, a line a row).
// Token form is one JSON object a line, in the order the procedure sent
// the tokens (a row is
// {"token":"row","values":{"<column>":<value>,...}}, its values in column
// order: integers as numbers, NULL as null, text as strings, nvarchar
// converted to UTF-8), then, when --cancel-after raised the attention,
// {"token":"attention","after_ms":A,"returned_ms":R} (raised A ms after the
// call started; the procedure returned R ms after it), then the return
// value. In human form that report is a line of its own for standard
// error (FormatAttention).
// The values of OUTPUT variables follow the tokens: in human form as
// sqlcmd shows a SELECT of them (a header of the variables' names, a line
// of dashes, the values, NULL for none, each column as wide as its widest
// entry, then "(1 rows affected)"), in token form as one
// {"token":"output","name":"@var","value":...} each before the attention
// and return values (a string, a number for int, or null).
//
// Message text is untrusted bytes: in JSON, valid UTF-8 passes, every
// other byte becomes \u00XX, and quotes, backslashes and control
// characters are escaped, so each object stays on one line. Human form
// writes the text bytes as they came.
#ifndef MAILVANE_HOST_XPEXEC_OUTPUT_FORMAT_H
#define MAILVANE_HOST_XPEXEC_OUTPUT_FORMAT_H

#include <string>
#include <string_view>

#include "host/xpexec/call_record.h"

namespace xpexec {

enum class OutputStyle { kHuman, kTokens };

std::string FormatCall(const CallRecord &call, OutputStyle style);

// The human form's report of a raised attention; "" when none was raised.
std::string FormatAttention(const CallRecord &call);

// bytes as a JSON string, quotes included.
std::string JsonString(std::string_view bytes);

}  // namespace xpexec

#endif
