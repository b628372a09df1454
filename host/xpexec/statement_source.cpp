#include "host/xpexec/statement_source.h"

#include <cerrno>
#include <cstring>

#include "host/xpexec/host_process.h"

namespace xpexec {

bool ReadStream(std::FILE *stream, size_t limit, std::string *out) {
  out->clear();
  char buffer[65536];
  for (;;) {
    size_t n = std::fread(buffer, 1, sizeof buffer, stream);
    if (n > limit - out->size()) return false;
    out->append(buffer, n);
    if (n < sizeof buffer) return std::ferror(stream) == 0;
  }
}

bool ReadStatements(const CommandLine &command_line, std::string *text, std::string *error) {
  switch (command_line.source) {
    case StatementSource::kQuery:
      *text = command_line.query;
      return true;
    case StatementSource::kStandardInput:
      if (!ReadStream(stdin, kMaxStatementBytes, text)) {
        *error = "cannot read the statements from standard input (more than " +
                 std::to_string(kMaxStatementBytes) + " bytes, or a read error)";
        return false;
      }
      return true;
    case StatementSource::kFile:
      break;
  }
  std::FILE *file = OpenForReading(command_line.file);
  if (file == nullptr) {
    *error = "cannot open " + command_line.file + ": " + std::strerror(errno);
    return false;
  }
  bool ok = ReadStream(file, kMaxStatementBytes, text);
  std::fclose(file);
  if (!ok) {
    *error = "cannot read " + command_line.file + " (more than " +
             std::to_string(kMaxStatementBytes) + " bytes, or a read error)";
    return false;
  }
  return true;
}

}  // namespace xpexec
