// The EXEC statements xpexec runs, and their parser.
//
// The input is T-SQL as a user would type it for SQL Server: one or more
// EXEC (or EXECUTE) statements, optionally `@rc =`, a procedure name that
// may be qualified (master..mailvane, master.dbo.mailvane), and arguments
// separated by commas, each `@name = value` or a bare value. Values are
// 'text' (varchar), N'text' (nvarchar), an integer (int), NULL, a string
// literal cast to one of the long text types, as a caller's variable of
// such a type arrives (CAST('text' AS text), CAST(N'text' AS ntext),
// CAST(... AS varchar(max)) and CAST(... AS nvarchar(max))), or a
// variable passed as OUTPUT (`@name = @var OUTPUT`, or OUT). A variable is
// one declared earlier in its batch (`DECLARE @var nvarchar(4000)`, of
// nvarchar(n), varchar(n), (max) or int, several in one DECLARE), or, when
// not declared, one xpexec declares itself as nvarchar(4000). xpexec has no
// assignments, so a variable goes in as NULL; what the procedure sets is
// shown after the call. A GO line ends a batch and its variables.
// Statements follow one another with or without ';'; GO lines, `--` and
// `/* */` comments are skipped; strings may span lines.
//
// The whole input is parsed before anything runs: a single error rejects
// it all, with the line and column (in characters, both from 1) where the
// parser gave up. The input is untrusted; nothing in it is executed here.
// String values stay as the UTF-8 bytes of the input; turning them into
// what the procedure receives is parameter_encoding's job.
#ifndef MAILVANE_HOST_XPEXEC_STATEMENT_PARSER_H
#define MAILVANE_HOST_XPEXEC_STATEMENT_PARSER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xpexec {

enum class ValueKind { kVarchar, kNvarchar, kInt, kNull };
// The type a cast gave a text: none, text/ntext, or a (max) type.
enum class LongText { kNone, kText, kMax };

// The type of a variable: kVarchar, kNvarchar or kInt, and for the first
// two its length in characters (kMaxLength for (max)).
struct VariableType {
  static constexpr uint32_t kMaxLength = 0;
  ValueKind kind = ValueKind::kNvarchar;
  uint32_t length = 4000;
};

struct Argument {
  std::string name;  // with its '@'; "" for a bare value
  ValueKind kind = ValueKind::kNull;
  std::string text;     // kVarchar, kNvarchar: the literal's text, quotes undone
  int32_t number = 0;   // kInt
  // A variable passed as OUTPUT (kind kNull: it goes in as NULL).
  bool output = false;
  std::string variable;  // with its '@'
  VariableType type;
  LongText long_text = LongText::kNone;  // kVarchar, kNvarchar: the cast's type
};

struct Statement {
  int line = 0;                  // where EXEC stands, from 1
  std::string return_variable;   // "@rc" for `EXEC @rc = ...`, else ""
  std::string qualified_name;    // the name as written, e.g. "master..mailvane"
  std::string procedure;         // its last part, e.g. "mailvane"
  std::vector<Argument> arguments;
};

struct ParseError {
  int line = 0;
  int column = 0;
  std::string message;
};

struct ParseResult {
  bool ok = false;
  std::vector<Statement> statements;  // all of them when ok, else empty
  ParseError error;                   // when !ok
};

ParseResult ParseStatements(std::string_view input);

// "line 2, column 14: expected ',' or end of statement"
std::string DescribeParseError(const ParseError &error);

}  // namespace xpexec

#endif
