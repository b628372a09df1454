// xpexec's statement parser: what it takes from T-SQL text, and where it
// says it gave up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/xpexec/statement_parser.h"

namespace xpexec {
namespace {

Statement ParseOne(const std::string &input) {
  ParseResult r = ParseStatements(input);
  EXPECT_TRUE(r.ok) << input << " -> " << DescribeParseError(r.error);
  EXPECT_EQ(r.statements.size(), 1u) << input;
  return r.ok && !r.statements.empty() ? r.statements[0] : Statement{};
}

TEST(XpexecParserNames, TheLastPartNamesTheProcedure) {
  struct Row {
    const char *input;
    const char *procedure;
    const char *qualified;
    const char *rc;
  } rows[] = {
      {"EXEC mailvane", "mailvane", "mailvane", ""},
      {"exec master..mailvane", "mailvane", "master..mailvane", ""},
      {"ExEcUtE master.dbo.mailvane", "mailvane", "master.dbo.mailvane", ""},
      {"EXEC srv.master.dbo.mailvane", "mailvane", "srv.master.dbo.mailvane", ""},
      {"EXEC [master]..[mail vane]", "mail vane", "[master]..[mail vane]", ""},
      {"EXEC [a]]b]", "a]b", "[a]]b]", ""},
      {"EXEC \"mailvane\"", "mailvane", "\"mailvane\"", ""},
      {"EXEC @rc = master..mailvane", "mailvane", "master..mailvane", "@rc"},
      {"EXEC @rc=mailvane", "mailvane", "mailvane", "@rc"},
      {"EXEC\n  @status\n =\n xp_other", "xp_other", "xp_other", "@status"},
  };
  for (const Row &row : rows) {
    Statement s = ParseOne(row.input);
    EXPECT_EQ(s.procedure, row.procedure) << row.input;
    EXPECT_EQ(s.qualified_name, row.qualified) << row.input;
    EXPECT_EQ(s.return_variable, row.rc) << row.input;
    EXPECT_TRUE(s.arguments.empty()) << row.input;
  }
}

TEST(XpexecParserArguments, NamedAndBareValuesOfEveryKind) {
  Statement s = ParseOne(
      "EXEC mailvane 'bare', @server = 'smtp.example', @port=25, @n = N'x', @none = NULL,"
      " @neg = -17, @plus = +3");
  ASSERT_EQ(s.arguments.size(), 7u);
  struct Row {
    const char *name;
    ValueKind kind;
    const char *text;
    int32_t number;
  } expected[] = {
      {"", ValueKind::kVarchar, "bare", 0},
      {"@server", ValueKind::kVarchar, "smtp.example", 0},
      {"@port", ValueKind::kInt, "", 25},
      {"@n", ValueKind::kNvarchar, "x", 0},
      {"@none", ValueKind::kNull, "", 0},
      {"@neg", ValueKind::kInt, "", -17},
      {"@plus", ValueKind::kInt, "", 3},
  };
  for (size_t i = 0; i < s.arguments.size(); ++i) {
    EXPECT_EQ(s.arguments[i].name, expected[i].name) << i;
    EXPECT_EQ(s.arguments[i].kind, expected[i].kind) << i;
    EXPECT_EQ(s.arguments[i].text, expected[i].text) << i;
    EXPECT_EQ(s.arguments[i].number, expected[i].number) << i;
  }
}

TEST(XpexecParserArguments, StringLiterals) {
  struct Row {
    const char *literal;
    ValueKind kind;
    const char *text;
    LongText long_text = LongText::kNone;
  } rows[] = {
      {"''", ValueKind::kVarchar, ""},
      {"''''", ValueKind::kVarchar, "'"},
      {"'it''s'", ValueKind::kVarchar, "it's"},
      {"'a''''b'", ValueKind::kVarchar, "a''b"},
      {"'two\nlines'", ValueKind::kVarchar, "two\nlines"},
      {"'crlf\r\nkept'", ValueKind::kVarchar, "crlf\r\nkept"},
      {"'-- not a comment'", ValueKind::kVarchar, "-- not a comment"},
      {"'/* nor this */'", ValueKind::kVarchar, "/* nor this */"},
      {"'GO'", ValueKind::kVarchar, "GO"},
      {"'caf\xc3\xa9'", ValueKind::kVarchar, "caf\xc3\xa9"},
      {"N'caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa7'", ValueKind::kNvarchar,
       "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa7"},
      {"n'lower'", ValueKind::kNvarchar, "lower"},
      {"N''''", ValueKind::kNvarchar, "'"},
      {"N''", ValueKind::kNvarchar, ""},
      // The long text types, as a caller's variable of one arrives.
      {"CAST('a' AS text)", ValueKind::kVarchar, "a", LongText::kText},
      {"cast ( N'b' as NText )", ValueKind::kNvarchar, "b", LongText::kText},
      {"CAST(N'c' AS varchar(max))", ValueKind::kVarchar, "c", LongText::kMax},
      {"CAST('d'AS nvarchar ( MAX ))", ValueKind::kNvarchar, "d", LongText::kMax},
  };
  for (const Row &row : rows) {
    std::string input = std::string("EXEC mailvane @v = ") + row.literal;
    Statement s = ParseOne(input);
    ASSERT_EQ(s.arguments.size(), 1u) << input;
    EXPECT_EQ(s.arguments[0].kind, row.kind) << input;
    EXPECT_EQ(s.arguments[0].text, row.text) << input;
    EXPECT_EQ(s.arguments[0].long_text, row.long_text) << input;
  }
}

TEST(XpexecParserArguments, IntegersCoverTheWholeIntRange) {
  struct Row {
    const char *literal;
    int32_t value;
  } rows[] = {
      {"0", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"-0", 0},
  };
  for (const Row &row : rows) {
    Statement s = ParseOne(std::string("EXEC mailvane ") + row.literal);
    ASSERT_EQ(s.arguments.size(), 1u) << row.literal;
    EXPECT_EQ(s.arguments[0].kind, ValueKind::kInt) << row.literal;
    EXPECT_EQ(s.arguments[0].number, row.value) << row.literal;
  }
}

TEST(XpexecParserArguments, VariablesPassedAsOutputHaveTheirDeclaredType) {
  ParseResult r = ParseStatements(
      "DECLARE @id varchar(100), @e AS nvarchar(max), @rc int; DECLARE @one nvarchar\n"
      "EXEC @rc = mailvane @message_id = @id OUTPUT, @error = @E out, @x = @rc OUTPUT,"
      " @o = @one OUTPUT, @n = @new OUTPUT\n"
      "GO\n"
      "EXEC mailvane @a = @id OUTPUT");  // a new batch: @id is xpexec's own
  ASSERT_TRUE(r.ok) << DescribeParseError(r.error);
  ASSERT_EQ(r.statements.size(), 2u);
  std::vector<Argument> a = r.statements[0].arguments;
  a.push_back(r.statements[1].arguments.at(0));
  struct Row {
    const char *name, *variable;
    ValueKind kind;
    uint32_t length;
  } rows[] = {
      {"@message_id", "@id", ValueKind::kVarchar, 100},
      {"@error", "@E", ValueKind::kNvarchar, VariableType::kMaxLength},
      {"@x", "@rc", ValueKind::kInt, 0},
      {"@o", "@one", ValueKind::kNvarchar, 1},
      {"@n", "@new", ValueKind::kNvarchar, 4000},
      {"@a", "@id", ValueKind::kNvarchar, 4000},
  };
  ASSERT_EQ(a.size(), std::size(rows));
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_TRUE(a[i].output) << i;
    EXPECT_EQ(a[i].kind, ValueKind::kNull) << i;
    EXPECT_EQ(a[i].name, rows[i].name) << i;
    EXPECT_EQ(a[i].variable, rows[i].variable) << i;
    EXPECT_EQ(a[i].type.kind, rows[i].kind) << i;
    EXPECT_EQ(a[i].type.length, rows[i].length) << i;
  }
}

TEST(XpexecParserArguments, NullIsAWordInAnyCase) {
  Statement s = ParseOne("EXEC mailvane null, @b = NuLl");
  ASSERT_EQ(s.arguments.size(), 2u);
  EXPECT_EQ(s.arguments[0].kind, ValueKind::kNull);
  EXPECT_EQ(s.arguments[1].kind, ValueKind::kNull);
  EXPECT_EQ(s.arguments[1].name, "@b");
}

TEST(XpexecParserScripts, StatementsFollowOneAnother) {
  const char *script =
      "-- a script\n"
      "EXEC mailvane @a = 1\n"
      "EXEC master..mailvane @a = 2;\n"
      "GO\n"
      "  go  \n"
      "/* block\n comment /* nested */ still */ EXECUTE mailvane @a = 3; EXEC mailvane @a = 4\n"
      ";;\n"
      "EXEC mailvane\n"
      "  @a = 5, -- trailing comment\n"
      "  @b = 'x' /* inline */ , @c = 6\n"
      "GO -- done\n"
      "EXEC mailvane EXEC mailvane";
  ParseResult r = ParseStatements(script);
  ASSERT_TRUE(r.ok) << DescribeParseError(r.error);
  ASSERT_EQ(r.statements.size(), 7u);
  for (int i = 0; i < 5; ++i) {
    ASSERT_FALSE(r.statements[i].arguments.empty()) << i;
    EXPECT_EQ(r.statements[i].arguments[0].number, i + 1) << i;
  }
  EXPECT_EQ(r.statements[0].line, 2);
  EXPECT_EQ(r.statements[4].line, 9);
  EXPECT_EQ(r.statements[4].arguments.size(), 3u);
  EXPECT_EQ(r.statements[4].arguments[1].text, "x");
  EXPECT_TRUE(r.statements[5].arguments.empty());
  EXPECT_TRUE(r.statements[6].arguments.empty());
}

TEST(XpexecParserScripts, EmptyInputHasNoStatements) {
  for (const char *input : {"", "  \n", "-- only a comment", "GO\nGO", ";", "/* */"}) {
    ParseResult r = ParseStatements(input);
    EXPECT_TRUE(r.ok) << input;
    EXPECT_TRUE(r.statements.empty()) << input;
  }
}

TEST(XpexecParserErrors, NameTheLineAndColumn) {
  struct Row {
    const char *input;
    int line;
    int column;
    const char *message;
  } rows[] = {
      {"EXEC mailvane @a = 1\nEXEC mailvane @a 'x'", 2, 18, "expected '='"},
      {"EXEC mailvane\nEXEC mailvane @a = 1 @b = 2", 2, 22, "expected ',' or end of statement"},
      {"SELECT 1", 1, 1, "expected EXEC or EXECUTE"},
      {"EXEC", 1, 5, "expected a procedure name"},
      {"EXEC mailvane @a =", 1, 19, "expected a value ('text', N'text', an integer or NULL)"},
      {"EXEC mailvane @a = 'open\nstill open", 1, 20, "unterminated string"},
      {"EXEC mailvane @a = N'open", 1, 21, "unterminated string"},
      {"EXEC mailvane /* open", 1, 15, "unterminated comment"},
      {"EXEC mailvane @a = 2147483648", 1, 20, "integer out of range for int"},
      {"EXEC mailvane @a = -2147483649", 1, 20, "integer out of range for int"},
      {"EXEC mailvane @a = 99999999999999999999999", 1, 20, "integer out of range for int"},
      {"EXEC mailvane @a = 1.5", 1, 20, "expected an integer"},
      {"EXEC mailvane @a = 12abc", 1, 20, "expected an integer"},
      {"EXEC mailvane @a = 1, 'bare'", 1, 23, "a bare value cannot follow a named argument"},
      {"EXEC mailvane @a = 1,", 1, 22, "expected a value ('text', N'text', an integer or NULL)"},
      {"EXEC mailvane @ = 1", 1, 15, "expected a name after '@'"},
      {"EXEC @rc mailvane", 1, 10, "expected '='"},
      {"EXEC a.b.c.d.e", 1, 6, "too many parts in the procedure name"},
      {"EXEC master.", 1, 13, "expected a procedure name"},
      {"EXEC [open", 1, 6, "unterminated quoted name"},
      {"EXEC []", 1, 6, "expected a name"},
      {"EXEC mailvane @a = DEFAULT", 1, 20, "expected a value ('text', N'text', an integer or NULL)"},
      {"EXEC mailvane @a = CAST(1 AS text)", 1, 25, "expected a string to cast"},
      {"EXEC mailvane @a = CAST('x' AS nchar)", 1, 32, "expected text, ntext, varchar(max) or nvarchar(max)"},
      {"EXEC mailvane @a = CAST('x' AS varchar(8000))", 1, 40, "expected (max)"},
      {"GO 5\nEXEC mailvane", 1, 4, "expected end of line after GO"},
      {"EXEC mailvane GO", 1, 15, "expected EXEC or EXECUTE"},
      // Columns count characters, not bytes: the é is one column.
      {"EXEC mailvane @a = 'caf\xc3\xa9' x", 1, 27, "expected ',' or end of statement"},
      {"\r\n\r\n\tEXEC mailvane ,", 3, 16, "expected a value ('text', N'text', an integer or NULL)"},
      {"EXEC mailvane @a = @v", 1, 22, "expected OUTPUT after a variable"},
      {"DECLARE @v nvarchar(4001)", 1, 21, "expected a length from 1 to 4000 or MAX"},
      {"DECLARE @v varchar(0)", 1, 20, "expected a length from 1 to 8000 or MAX"},
      {"DECLARE @v varchar(10", 1, 22, "expected ')'"},
      {"DECLARE @v text", 1, 12, "expected a type (nvarchar(n), varchar(n), (max) or int)"},
      {"DECLARE @v int, @V int", 1, 17, "variable already declared in this batch"},
      {"DECLARE v int", 1, 9, "expected a variable"},
      {"DECLARE @v int = 5", 1, 16, "expected ',' or end of statement"},
  };
  for (const Row &row : rows) {
    ParseResult r = ParseStatements(row.input);
    EXPECT_FALSE(r.ok) << row.input;
    EXPECT_TRUE(r.statements.empty()) << row.input;
    EXPECT_EQ(r.error.line, row.line) << row.input;
    EXPECT_EQ(r.error.column, row.column) << row.input;
    EXPECT_EQ(r.error.message, row.message) << row.input;
  }
}

TEST(XpexecParserErrors, OneBadStatementRejectsTheWholeScript) {
  ParseResult r = ParseStatements("EXEC mailvane @a = 1\nEXEC mailvane @a = 2\nEXEC mailvane @a ~");
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.statements.empty());
  EXPECT_EQ(DescribeParseError(r.error), "line 3, column 18: expected '='");
}

TEST(XpexecParserErrors, IdentifiersAreBoundedAsInSqlServer) {
  std::string ok_name = "@" + std::string(127, 'p');
  EXPECT_TRUE(ParseStatements("EXEC mailvane " + ok_name + " = 1").ok);
  ParseResult r = ParseStatements("EXEC mailvane @" + std::string(128, 'p') + " = 1");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error.message, "name longer than 128 characters");
  EXPECT_EQ(r.error.column, 15);
  EXPECT_FALSE(ParseStatements("EXEC " + std::string(129, 'x')).ok);
}

}  // namespace
}  // namespace xpexec
