// xpexec: runs T-SQL EXEC statements against the procedure library,
// loading it and calling it as SQL Server does. Exit status 0 when every
// call returned 0, 1 when one returned non-zero, 2 when nothing could be
// run (bad options, unreadable or unparsable statements, a library that
// does not load or lacks a procedure); no call is made in that case.
// --version prints xpexec's own version and that of the library it loads
// (status 2 when the library does not load or carries none).
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "host/xpexec/command_line.h"
#include "host/xpexec/host_codepage.h"
#include "host/xpexec/host_process.h"
#include "host/xpexec/parameter_encoding.h"
#include "host/xpexec/procedure_library.h"
#include "host/xpexec/runner.h"
#include "host/xpexec/statement_parser.h"
#include "host/xpexec/statement_source.h"
#include "mailvane_version.h"

namespace {

constexpr int kExitCannotRun = 2;

void Write(std::FILE *stream, const std::string &text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

int Fail(const std::string &reason) {
  Write(stderr, "xpexec: " + reason + "\n");
  return kExitCannotRun;
}

// The library to load: --dll, or the one beside xpexec; "" with *error
// set when there is none.
std::string LibraryPath(const xpexec::CommandLine &command_line, std::string *error) {
  std::string path = command_line.library_path;
  if (path.empty()) path = xpexec::DefaultLibraryPath();
  if (path.empty()) *error = "cannot find the procedure library beside xpexec; give --dll";
  return path;
}

int ShowVersions(const xpexec::CommandLine &command_line) {
  Write(stdout, std::string("xpexec ") + kMailvaneVersion + " (" + kMailvaneBuildPlatform + ")\n");
  std::string error;
  std::string path = LibraryPath(command_line, &error);
  if (path.empty()) return Fail(error);
  xpexec::ProcedureLibrary library;
  if (!library.Open(path, &error)) return Fail(error);
  std::string version = library.Version();
  if (version.empty()) return Fail(path + " carries no version");
  Write(stdout, "library " + path + ": mailvane " + version + "\n");
  return 0;
}

int Run(int argc, char **argv) {
  xpexec::UseHostLocale();
  xpexec::UseBinaryStandardStreams();

  xpexec::CommandLine command_line;
  std::string error;
  if (!xpexec::ParseCommandLine(xpexec::ArgumentsUtf8(argc, argv), &command_line, &error)) {
    Write(stderr, "xpexec: " + error + "\n" + xpexec::kUsage);
    return kExitCannotRun;
  }
  if (command_line.help) {
    Write(stdout, std::string(xpexec::kUsage) + xpexec::kHelp);
    return 0;
  }
  if (command_line.version) return ShowVersions(command_line);

  std::string text;
  if (!xpexec::ReadStatements(command_line, &text, &error)) return Fail(error);
  xpexec::ParseResult parsed = xpexec::ParseStatements(text);
  if (!parsed.ok) return Fail(xpexec::DescribeParseError(parsed.error));

  std::string path = LibraryPath(command_line, &error);
  if (path.empty()) return Fail(error);
  xpexec::ProcedureLibrary library;
  if (!library.Open(path, &error)) return Fail(error);

  std::vector<xpexec::PreparedCall> calls;
  for (const xpexec::Statement &s : parsed.statements) {
    xpexec::PreparedCall call;
    call.entry = library.Find(s.procedure, &error);
    if (call.entry == nullptr) return Fail("line " + std::to_string(s.line) + ": " + error);
    call.parameters = xpexec::EncodeArguments(s.arguments);
    calls.push_back(std::move(call));
  }

  xpexec::RunOptions options;
  options.threads = command_line.threads;
  options.repeat = command_line.repeat;
  options.cancel_after_ms = command_line.cancel_after_ms;
  options.login = command_line.login;
  options.style = command_line.tokens ? xpexec::OutputStyle::kTokens : xpexec::OutputStyle::kHuman;
  return xpexec::RunAll(
      calls, options, [](const std::string &out) { Write(stdout, out); },
      [](const std::string &out) { Write(stderr, out); });
}

}  // namespace

int main(int argc, char **argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception &e) {
    return Fail(e.what());
  }
}
