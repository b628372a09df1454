// xpexec's command line:
//   xpexec [--dll PATH] [--tokens] [--threads N --repeat M] [--login NAME]
//          [--cancel-after MS] [-Q STATEMENTS | -i FILE]
//   xpexec [--dll PATH] --version
// --login names the client's login that the procedure sees (srv_pfield
// with SRV_USER); "sa" without it. Statements come from -Q, from FILE, or else from standard input. The
// arguments are untrusted: an unknown or repeated option, a missing value,
// or a count out of range is refused with the reason, and xpexec then
// shows the usage line and exits with status 2.
#ifndef MAILVANE_HOST_XPEXEC_COMMAND_LINE_H
#define MAILVANE_HOST_XPEXEC_COMMAND_LINE_H

#include <string>
#include <vector>

namespace xpexec {

enum class StatementSource { kStandardInput, kQuery, kFile };

struct CommandLine {
  std::string library_path;  // "" for the library beside the executable
  bool tokens = false;
  int threads = 1;
  int repeat = 1;
  int cancel_after_ms = -1;  // --cancel-after; -1 for none
  StatementSource source = StatementSource::kStandardInput;
  std::string query;  // -Q
  std::string file;   // -i
  std::string login;  // --login; "" for the stand-in's default
  bool help = false;
  bool version = false;  // xpexec's version and the library's, no statements
};

// The arguments after the program name; false with *error set when they
// are not acceptable.
bool ParseCommandLine(const std::vector<std::string> &arguments, CommandLine *out,
                      std::string *error);

// The usage lines, shown with a refusal; --help shows kHelp after them.
extern const char kUsage[];
extern const char kHelp[];

}  // namespace xpexec

#endif
