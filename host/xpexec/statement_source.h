// Reading the statements xpexec runs: the -Q text, a file, or standard
// input, as bytes. Input is bounded (kMaxStatementBytes) so a wrong file
// cannot fill memory; a file that cannot be read, or input beyond the
// bound, fails with the reason.
#ifndef MAILVANE_HOST_XPEXEC_STATEMENT_SOURCE_H
#define MAILVANE_HOST_XPEXEC_STATEMENT_SOURCE_H

#include <cstddef>
#include <cstdio>
#include <string>

#include "host/xpexec/command_line.h"

namespace xpexec {

// Far above any script of EXEC statements; attachments travel as file
// names, not as statement text.
constexpr size_t kMaxStatementBytes = 64u * 1024 * 1024;

bool ReadStatements(const CommandLine &command_line, std::string *text, std::string *error);

// Reads stream to its end, at most limit bytes; false when there is more
// or a read fails.
bool ReadStream(std::FILE *stream, size_t limit, std::string *out);

}  // namespace xpexec

#endif
