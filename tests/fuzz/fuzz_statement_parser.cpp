// Fuzzes xpexec's statement parser: any input parses or is rejected with a
// position and a reason, never a crash; a parse is the same every time;
// what it gives keeps its own invariants (names, variables and argument
// names as the grammar allows them, the name as written found in the
// input, the line of each statement within it).
#include <algorithm>
#include <string>
#include <string_view>

#include "host/xpexec/statement_parser.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  const xpexec::ParseResult result = xpexec::ParseStatements(text);
  const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;

  if (!result.ok) {
    FUZZ_CHECK(result.statements.empty());
    FUZZ_CHECK(result.error.line >= 1 && result.error.line <= lines);
    FUZZ_CHECK(result.error.column >= 1);
    FUZZ_CHECK(!result.error.message.empty());
    FUZZ_CHECK(xpexec::DescribeParseError(result.error).find(result.error.message) !=
               std::string::npos);
  }
  int previous_line = 1;
  for (const xpexec::Statement &statement : result.statements) {
    FUZZ_CHECK(statement.line >= previous_line && statement.line <= lines);
    previous_line = statement.line;
    FUZZ_CHECK(statement.return_variable.empty() || statement.return_variable[0] == '@');
    FUZZ_CHECK(!statement.procedure.empty());
    // The name as written (quoted parts included) stands in the input.
    FUZZ_CHECK(!statement.qualified_name.empty() &&
               text.find(statement.qualified_name) != std::string_view::npos);
    for (const xpexec::Argument &argument : statement.arguments) {
      FUZZ_CHECK(argument.name.empty() || (argument.name[0] == '@' && argument.name.size() > 1));
      if (argument.kind == xpexec::ValueKind::kInt || argument.kind == xpexec::ValueKind::kNull)
        FUZZ_CHECK(argument.text.empty());
    }
  }

  const xpexec::ParseResult again = xpexec::ParseStatements(text);
  FUZZ_CHECK(again.ok == result.ok && again.statements.size() == result.statements.size());
  FUZZ_CHECK(again.error.line == result.error.line && again.error.column == result.error.column);
  return 0;
}
