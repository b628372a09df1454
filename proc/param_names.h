// The names a call may pass, and the refusal of any other.
//
// A parameter passed by name must be one the procedure knows: one of the
// twelve, an option (call_options.h) or an OUTPUT parameter
// (call_report.h); the driver makes them one list. Any other name would be
// dropped without a word (a misspelt "@attachments" would send the mail
// without its files, SQL Server's own mail feature's "@body" without its
// body), so it is refused before anything is sent:
//   "Unknown parameter @body (did you mean @message?)" with a hint,
//   "Unknown parameter @x." without one.
// The hint comes from a small table of the names of that other feature
// and of common slips ("@cc", "@to"), given only when the name it points
// at is known; else from the known name spelt closest (case aside), at
// most two edits away (one for names of up to four letters, where two
// reach too many names); else there is none.
//
// Values passed without a name are not checked: their position is their
// meaning. Names compare as the server compares identifiers (ASCII
// letters without regard to case). The name is shown as passed, each byte
// outside printable ASCII as "?".
#ifndef MAILVANE_PROC_PARAM_NAMES_H
#define MAILVANE_PROC_PARAM_NAMES_H

#include <string>
#include <vector>

class CXpParams;

// The refusal of the first parameter of the call whose name is not among
// known; empty when every name is known. Throws std::bad_alloc.
std::string UnknownParamText(const CXpParams &params, const std::vector<const char *> &known);

#endif
