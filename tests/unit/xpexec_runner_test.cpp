// xpexec's path from statement to procedure: the bytes each parameter
// carries, the SRV_PROC the procedure sees, the tokens read back, and
// calls on several threads at once. The procedure here is a function of
// this test that answers through the stand-in ODS library.
// <srv.h> defines SUCCEED and FAIL as ODS return codes; GoogleTest's
// macros of those names stay out of the way.
#define GTEST_DONT_DEFINE_FAIL 1
#define GTEST_DONT_DEFINE_SUCCEED 1
#include <gtest/gtest.h>

#include <srv.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/ods_standin.h"
#include "host/xpexec/command_line.h"
#include "host/xpexec/parameter_encoding.h"
#include "host/xpexec/runner.h"
#include "host/xpexec/statement_parser.h"
#include "host/xpexec/utf16le.h"
#include "tests/support/hex_text.h"

namespace xpexec {
namespace {

// Sends one message per parameter ("name type null length hex"), then a
// DONE counting them; returns 1 when a parameter is named @fail.
int EchoProcedure(CXPData *call) {
  int n = srv_rpcparams(call);
  int rc = 0;
  for (int i = 1; i <= n; ++i) {
    int name_length = 0;
    char *name = srv_paramname(call, i, &name_length);
    BYTE type = 0;
    ULONG maximum = 0, actual = 0;
    WINBOOL is_null = 0;
    srv_paraminfo(call, i, &type, &maximum, &actual, nullptr, &is_null);
    std::string data(actual, '\0');
    srv_paraminfo(call, i, &type, &maximum, &actual, reinterpret_cast<BYTE *>(data.data()),
                  &is_null);
    std::string text = std::string(name, static_cast<size_t>(name_length)) + " " +
                       std::to_string(type) + " " + std::to_string(is_null) + " " +
                       std::to_string(actual) + " " + Hex(data);
    if (std::string(name, static_cast<size_t>(name_length)) == "@fail") rc = 1;
    srv_sendmsg(call, SRV_MSG_INFO, 20001, 1, 1, nullptr, 0, static_cast<USHORT>(i),
                const_cast<char *>(text.c_str()), SRV_NULLTERM);
  }
  srv_senddone(call, SRV_DONE_COUNT, 0, n);
  return rc;
}

// Reports what srv_paramstatus says of each parameter and of one beyond
// them, and sets every parameter to "abcdef".
int OutputProcedure(CXPData *call) {
  std::string statuses;
  for (int i = 1; i <= srv_rpcparams(call) + 1; ++i)
    statuses += std::to_string(srv_paramstatus(call, i)) + " ";
  srv_sendmsg(call, SRV_MSG_INFO, 1, 0, 1, nullptr, 0, 0, statuses.data(), SRV_NULLTERM);
  std::string value = "abcdef";
  for (int i = 1; i <= srv_rpcparams(call); ++i)
    srv_paramsetoutput(call, i, reinterpret_cast<BYTE *>(value.data()), 6, 0);
  return 0;
}

std::vector<PreparedCall> Prepare(const std::string &script) {
  ParseResult parsed = ParseStatements(script);
  EXPECT_TRUE(parsed.ok) << DescribeParseError(parsed.error);
  std::vector<PreparedCall> calls;
  for (const Statement &s : parsed.statements)
    calls.push_back(PreparedCall{EchoProcedure, EncodeArguments(s.arguments)});
  return calls;
}

TEST(XpexecParameters, BytesAsSqlServerPassesThem) {
  // The unit tests run under a locale-free C runtime: the host code page
  // is not touched here, so only values whose bytes do not depend on it.
  std::vector<Parameter> p = EncodeArguments(
      ParseStatements("EXEC mailvane 'ab', @n = N'a\xc3\xa9\xf0\x9f\x93\xa7', @i = -2, @z = NULL,"
                      " @e = '', @t = CAST(N'a' AS ntext), @m = CAST('b' AS varchar(max))")
          .statements.at(0)
          .arguments);
  ASSERT_EQ(p.size(), 7u);
  struct Row {
    const char *name;
    int type;
    const char *hex;
    bool is_null;
    uint32_t max_length = 0;
  } expected[] = {
      {"", STANDIN_TYPE_VARCHAR, "6162", false},
      {"@n", STANDIN_TYPE_NVARCHAR, "6100e9003dd8e7dc", false},  // surrogate pair for U+1F4E7
      {"@i", STANDIN_TYPE_INT, "feffffff", false},
      {"@z", STANDIN_TYPE_VARCHAR, "", true},
      {"@e", STANDIN_TYPE_VARCHAR, "", false},
      {"@t", STANDIN_TYPE_NTEXT, "6100", false},
      {"@m", STANDIN_TYPE_VARCHAR, "62", false, 0xFFFFFFFFu},
  };
  for (size_t i = 0; i < p.size(); ++i) {
    EXPECT_EQ(p[i].name, expected[i].name) << i;
    EXPECT_EQ(p[i].type, expected[i].type) << i;
    EXPECT_EQ(Hex(p[i].data), expected[i].hex) << i;
    EXPECT_EQ(p[i].is_null, expected[i].is_null) << i;
    EXPECT_EQ(p[i].max_length, expected[i].max_length) << i;
  }
}

TEST(XpexecParameters, Utf16ReplacesWhatIsNotUtf8) {
  struct Row {
    std::string utf8;
    const char *hex;
  } rows[] = {
      {"", ""},
      {"A", "4100"},
      {"\xe2\x82\xac", "ac20"},
      {"\xef\xbf\xbf", "ffff"},
      {"\xf4\x8f\xbf\xbf", "ffdbffdf"},  // U+10FFFF, the last code point
      {"\xe9", "fdff"},
      {"\xc0\x80", "fdfffdff"},          // overlong NUL: two bad bytes
      {"\xed\xb0\x80", "fdfffdfffdff"},  // an encoded surrogate
      {"a\xe2\x82", "6100fdfffdff"},     // cut off
  };
  for (const Row &row : rows) EXPECT_EQ(Hex(Utf8ToUtf16le(row.utf8)), row.hex) << row.hex;
}

TEST(XpexecRunner, TheProcedureSeesTheParametersAndItsTokensComeBack) {
  std::vector<PreparedCall> calls = Prepare("EXEC mailvane 'x', @port = 25, @none = NULL");
  ASSERT_EQ(calls.size(), 1u);
  CallRecord record;
  ASSERT_TRUE(RunCall(calls[0], &record));
  EXPECT_EQ(record.return_value, 0);
  ASSERT_EQ(record.tokens.size(), 4u);
  EXPECT_EQ(record.tokens[0].text, " 167 0 1 78");
  EXPECT_EQ(record.tokens[1].text, "@port 56 0 4 19000000");
  EXPECT_EQ(record.tokens[2].text, "@none 167 1 0 ");
  EXPECT_EQ(record.tokens[2].line, 3);
  EXPECT_EQ(record.tokens[3].kind, STANDIN_TOKEN_DONE);
  EXPECT_EQ(record.tokens[3].count, 3);
}

TEST(XpexecRunner, OutputVariablesComeBackAsTheProcedureSetThem) {
  ParseResult parsed = ParseStatements(
      "DECLARE @short varchar(3); EXEC p @a = @long OUTPUT, @b = @short OUTPUT, @c = 'x'");
  PreparedCall call{OutputProcedure, EncodeArguments(parsed.statements.at(0).arguments)};
  CallRecord record;
  ASSERT_TRUE(RunCall(call, &record));
  ASSERT_EQ(record.outputs.size(), 2u);
  EXPECT_EQ(record.outputs[0].variable, "@long");
  EXPECT_EQ(record.outputs[0].data, "abcdef");
  EXPECT_FALSE(record.outputs[0].is_null);
  EXPECT_TRUE(record.outputs[1].is_null);  // six bytes do not fit varchar(3)
  std::vector<std::string> texts;
  for (const ReceivedToken &t : record.tokens) texts.push_back(t.text);
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "srv_paramstatus: no parameter 4 (the call has 3)", "1 1 0 -1 ",
                       "srv_paramsetoutput: parameter 2 holds at most 3 bytes, not 6",
                       "srv_paramsetoutput: parameter 3 is not OUTPUT"}));
}

TEST(XpexecRunner, ExitStatusOverAllCalls) {
  struct Row {
    const char *script;
    int status;
  } rows[] = {
      {"EXEC mailvane @a = 1", 0},
      {"EXEC mailvane @a = 1 EXEC mailvane @fail = 1", 1},
      {"EXEC mailvane @fail = 1 EXEC mailvane @a = 1", 1},
      {"", 0},
  };
  for (const Row &row : rows) {
    std::string out, err;
    int status = RunAll(Prepare(row.script), RunOptions{}, [&](const std::string &s) { out += s; },
                        [&](const std::string &s) { err += s; });
    EXPECT_EQ(status, row.status) << row.script;
    EXPECT_EQ(err, "") << row.script;
  }
}

TEST(XpexecRunner, OneThreadReportsInStatementOrder) {
  std::string out;
  RunOptions options;
  options.repeat = 2;
  options.style = OutputStyle::kTokens;
  RunAll(Prepare("EXEC mailvane @a = 1; EXEC mailvane @b = 2"), options,
         [&](const std::string &s) { out += s; }, [](const std::string &) {});
  std::string a = "\"text\":\"@a 56 0 4 01000000\"";
  std::string b = "\"text\":\"@b 56 0 4 02000000\"";
  size_t a1 = out.find(a), b1 = out.find(b), a2 = out.find(a, a1 + 1), b2 = out.find(b, b1 + 1);
  ASSERT_NE(b2, std::string::npos) << out;
  EXPECT_LT(a1, b1);
  EXPECT_LT(b1, a2);
  EXPECT_LT(a2, b2);
}

TEST(XpexecRunner, ManyThreadsEachCallsOutputInOnePiece) {
  constexpr int kThreads = 8;
  constexpr int kRepeat = 25;
  std::vector<std::string> pieces;
  RunOptions options;
  options.threads = kThreads;
  options.repeat = kRepeat;
  options.style = OutputStyle::kTokens;
  int status = RunAll(Prepare("EXEC mailvane @a = 'one', @b = N'two'\nEXEC mailvane @fail = 0"),
                      options, [&](const std::string &s) { pieces.push_back(s); },
                      [](const std::string &) {});
  EXPECT_EQ(status, 1);
  ASSERT_EQ(pieces.size(), static_cast<size_t>(kThreads * kRepeat * 2));
  const std::string first =
      "{\"token\":\"message\",\"type\":1,\"number\":20001,\"class\":1,\"state\":1,\"line\":1,"
      "\"text\":\"@a 167 0 3 6f6e65\"}\n"
      "{\"token\":\"message\",\"type\":1,\"number\":20001,\"class\":1,\"state\":1,\"line\":2,"
      "\"text\":\"@b 231 0 6 740077006f00\"}\n"
      "{\"token\":\"done\",\"status\":16,\"curcmd\":0,\"count\":2}\n"
      "{\"token\":\"return\",\"value\":0}\n";
  const std::string second =
      "{\"token\":\"message\",\"type\":1,\"number\":20001,\"class\":1,\"state\":1,\"line\":1,"
      "\"text\":\"@fail 56 0 4 00000000\"}\n"
      "{\"token\":\"done\",\"status\":16,\"curcmd\":0,\"count\":1}\n"
      "{\"token\":\"return\",\"value\":1}\n";
  EXPECT_EQ(std::count(pieces.begin(), pieces.end(), first), kThreads * kRepeat);
  EXPECT_EQ(std::count(pieces.begin(), pieces.end(), second), kThreads * kRepeat);
}

TEST(XpexecCommandLine, AcceptedForms) {
  CommandLine c;
  std::string error;
  ASSERT_TRUE(ParseCommandLine({}, &c, &error));
  EXPECT_EQ(c.source, StatementSource::kStandardInput);
  EXPECT_EQ(c.threads, 1);
  EXPECT_EQ(c.repeat, 1);
  EXPECT_EQ(c.cancel_after_ms, -1);
  ASSERT_TRUE(ParseCommandLine({"--dll", "x.so", "--tokens", "--threads", "4", "--repeat", "1000",
                                "--cancel-after", "0", "-Q", "EXEC mailvane"},
                               &c, &error));
  EXPECT_EQ(c.cancel_after_ms, 0);
  EXPECT_EQ(c.library_path, "x.so");
  EXPECT_TRUE(c.tokens);
  EXPECT_EQ(c.threads, 4);
  EXPECT_EQ(c.repeat, 1000);
  EXPECT_EQ(c.source, StatementSource::kQuery);
  EXPECT_EQ(c.query, "EXEC mailvane");
  ASSERT_TRUE(ParseCommandLine({"-i", "script.sql"}, &c, &error));
  EXPECT_EQ(c.source, StatementSource::kFile);
  EXPECT_EQ(c.file, "script.sql");
}

TEST(XpexecCommandLine, RefusedForms) {
  const std::vector<std::vector<std::string>> rows = {
      {"--bogus"},
      {"-Q"},
      {"--dll"},
      {"--dll", ""},
      {"-Q", "a", "-i", "b"},
      {"-Q", "a", "-Q", "b"},
      {"--threads", "0"},
      {"--threads", "257"},
      {"--threads", "-1"},
      {"--threads", "2x"},
      {"--threads", ""},
      {"--repeat", "1000001"},
      {"--repeat", "99999999999999999999"},
      {"--threads", "2", "--threads", "3"},
      {"--cancel-after", "-1"},
      {"--cancel-after", "3600001"},
      {"--cancel-after", "5", "--cancel-after", "6"},
      {"EXEC mailvane"},
  };
  for (const auto &row : rows) {
    CommandLine c;
    std::string error;
    EXPECT_FALSE(ParseCommandLine(row, &c, &error)) << row[0];
    EXPECT_FALSE(error.empty()) << row[0];
  }
}

}  // namespace
}  // namespace xpexec
