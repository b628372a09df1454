// reload_send: loads the procedure library, runs one EXEC statement through
// it and unloads it again, COUNT times over, as SQL Server does when the
// library is freed between calls. For the integration tests of loading and
// unloading.
//
//   reload_send COUNT STATEMENT [RETURN]
//
// The library is the one beside this program (as xpexec finds it). This
// program starts no socket library of its own and first loads the system
// libraries the procedure library needs, so that it can tell that the
// procedure library starts none while it loads or unloads, and that each
// call cleans up what it started: after each load, after each call and
// after each unload the process holds as many starts of the socket
// library as before the first load. Each call must return RETURN (0, the
// mail sent, by default). And the rounds leave nothing behind: the
// process's handles and free TLS slots after the last round are those
// after the first (which may leave what the system keeps once started).
// Prints "COUNT returned RETURN", "handles FIRST LAST" and "free TLS slots
// FIRST LAST" and exits 0; or what failed first and exits 1; 2 on wrong
// arguments.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/xpexec/library_loader.h"
#include "host/xpexec/parameter_encoding.h"
#include "host/xpexec/procedure_library.h"
#include "host/xpexec/runner.h"
#include "host/xpexec/statement_parser.h"
#include "tests/support/process_counts.h"
#include "tests/support/test_socket.h"

namespace {

// One round: load, check, call, check, unload, check. "" when all held.
std::string Round(const xpexec::Statement &statement, int starts, int expected) {
  std::string error;
  {
    xpexec::ProcedureLibrary library;
    if (!library.Open(xpexec::DefaultLibraryPath(), &error)) return error;
    if (TestSocketStarts() != starts) return "sockets started while the library loaded";
    xpexec::PreparedCall call;
    call.entry = library.Find(statement.procedure, &error);
    if (call.entry == nullptr) return error;
    call.parameters = xpexec::EncodeArguments(statement.arguments);
    xpexec::CallRecord record;
    if (!xpexec::RunCall(call, &record)) return "cannot open a call";
    if (record.return_value != expected) {
      std::string text = "the call returned " + std::to_string(record.return_value);
      for (const xpexec::ReceivedToken &t : record.tokens) text += ": " + t.text;
      return text;
    }
    if (TestSocketStarts() != starts) return "sockets still started after the call";
  }
  if (TestSocketStarts() != starts) return "socket starts changed while the library unloaded";
  return "";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3 || argc > 4 || std::atoi(argv[1]) < 1) {
    std::fprintf(stderr, "usage: reload_send COUNT STATEMENT [RETURN]\n");
    return 2;
  }
  int count = std::atoi(argv[1]);
  int expected = argc == 4 ? std::atoi(argv[3]) : 0;
  xpexec::ParseResult parsed = xpexec::ParseStatements(argv[2]);
  if (!parsed.ok || parsed.statements.size() != 1) {
    std::fprintf(stderr, "reload_send: one EXEC statement expected\n");
    return 2;
  }
  TestLoadSystemLibraries();
  int starts = TestSocketStarts();
  CProcessCounts first;
  for (int i = 1; i <= count; ++i) {
    std::string failure = Round(parsed.statements.front(), starts, expected);
    if (!failure.empty()) {
      std::printf("round %d: %s\n", i, failure.c_str());
      return 1;
    }
    if (i == 1) first = CountProcessHoldings();
  }
  CProcessCounts last = CountProcessHoldings();
  std::printf("%d returned %d\nhandles %ld %ld\nfree TLS slots %ld %ld\n", count, expected,
              first.handles, last.handles, first.freeTlsSlots, last.freeTlsSlots);
  return first == last ? 0 : 1;
}
