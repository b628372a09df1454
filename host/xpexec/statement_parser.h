// The EXEC statements xpexec runs, and their parser.
//
// The input is T-SQL as a user would type it for SQL Server: one or more
// EXEC (or EXECUTE) statements, optionally `@rc =`, a procedure name that
// may be qualified (master..mailvane, master.dbo.mailvane), and arguments
// separated by commas, each `@name = value` or a bare value. Values are
// 'text' (varchar), N'text' (nvarchar), an integer (int) or NULL; and a
// string literal cast to one of the long text types, as a caller's
// variable of such a type arrives: CAST('text' AS text), CAST(N'text' AS
// ntext), CAST(... AS varchar(max)) and CAST(... AS nvarchar(max)).
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

struct Argument {
  std::string name;  // with its '@'; "" for a bare value
  ValueKind kind = ValueKind::kNull;
  std::string text;     // kVarchar, kNvarchar: the literal's text, quotes undone
  int32_t number = 0;   // kInt
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
