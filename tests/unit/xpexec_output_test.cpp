// What xpexec shows of a call: the sqlcmd-like human form, and one JSON
// object a token with the message bytes kept exact.
#include <gtest/gtest.h>

#include <string>

#include "host/ods_standin.h"
#include "host/xpexec/output_format.h"

namespace xpexec {
namespace {

ReceivedToken Message(const std::string &text) {
  ReceivedToken t;
  t.kind = STANDIN_TOKEN_MESSAGE;
  t.msgtype = 2;
  t.number = 20001;
  t.msgclass = 1;
  t.state = 1;
  t.line = 252;
  t.text = text;
  return t;
}

ReceivedToken Info(const std::string &text) {
  ReceivedToken t = Message(text);
  t.msgtype = 1;
  t.number = 20002;
  t.msgclass = 0;
  t.line = 0;
  return t;
}

ReceivedToken Done(int status, int32_t count) {
  ReceivedToken t;
  t.kind = STANDIN_TOKEN_DONE;
  t.status = status;
  t.count = count;
  return t;
}

TEST(XpexecJsonText, EscapesWhatJsonMustAndKeepsValidUtf8) {
  struct Row {
    std::string bytes;
    const char *json;
  } rows[] = {
      {"", "\"\""},
      {"plain text", "\"plain text\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\temp\\a.txt", "\"C:\\\\temp\\\\a.txt\""},
      {"a\nb\tc\rd", "\"a\\nb\\tc\\rd\""},
      {std::string("nul\0byte", 8), "\"nul\\u0000byte\""},
      {"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
      {"/", "\"/\""},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa7", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa7\""},
      // Bytes that are not UTF-8 appear one by one as \u00XX.
      {"caf\xe9", "\"caf\\u00e9\""},                       // Latin-1 é
      {"\x80", "\"\\u0080\""},                             // stray continuation
      {"\xc3", "\"\\u00c3\""},                             // cut off at the end
      {"\xc3(", "\"\\u00c3(\""},                           // cut off by ASCII
      {"\xc0\xaf", "\"\\u00c0\\u00af\""},                  // overlong '/'
      {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},       // a UTF-16 surrogate
      {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},  // beyond U+10FFFF
      {"\xff\xfe", "\"\\u00ff\\u00fe\""},
      {"\xe2\x82\xac\xe2\x82", "\"\xe2\x82\xac\\u00e2\\u0082\""},  // valid, then cut off
  };
  for (const Row &row : rows) EXPECT_EQ(JsonString(row.bytes), row.json) << row.json;
}

TEST(XpexecTokenOutput, OneObjectALineInOrderThenTheReturnValue) {
  CallRecord call;
  call.tokens = {Info("< 250 ok"), Message("Mail sent to \"a@example.com\"\n"), Done(3, 0),
                 Done(0x10, 7)};
  call.return_value = 1;
  EXPECT_EQ(FormatCall(call, OutputStyle::kTokens),
            "{\"token\":\"message\",\"type\":1,\"number\":20002,\"class\":0,\"state\":1,"
            "\"line\":0,\"text\":\"< 250 ok\"}\n"
            "{\"token\":\"message\",\"type\":2,\"number\":20001,\"class\":1,\"state\":1,"
            "\"line\":252,\"text\":\"Mail sent to \\\"a@example.com\\\"\\n\"}\n"
            "{\"token\":\"done\",\"status\":3,\"curcmd\":0,\"count\":0}\n"
            "{\"token\":\"done\",\"status\":16,\"curcmd\":0,\"count\":7}\n"
            "{\"token\":\"return\",\"value\":1}\n");
}

TEST(XpexecTokenOutput, NegativeNumbersStayNumbers) {
  CallRecord call;
  ReceivedToken m = Message("x");
  m.number = -5;
  call.tokens = {m};
  call.return_value = -1;
  EXPECT_EQ(FormatCall(call, OutputStyle::kTokens),
            "{\"token\":\"message\",\"type\":2,\"number\":-5,\"class\":1,\"state\":1,"
            "\"line\":252,\"text\":\"x\"}\n"
            "{\"token\":\"return\",\"value\":-1}\n");
}

TEST(XpexecHumanOutput, MessagesAndCountsAsSqlcmdShowsThem) {
  struct Row {
    CallRecord call;
    const char *shown;
  } rows[] = {
      {{{Message("Error: no server")}, 1}, "Msg 20001, Level 1, State 1, Line 252\nError: no server\n"},
      {{{Done(0x10, 3)}, 0}, "(3 rows affected)\n"},
      {{{Done(0x11, 0)}, 0}, "(0 rows affected)\n"},
      {{{Done(0x00, 9), Done(0x01, 9), Done(0x02, 9)}, 1}, ""},  // no count bit: nothing
      {{{}, 0}, ""},                                              // the return value is quiet
      {{{Message("caf\xe9\r\nline"), Done(0x10, 1)}, 0},
       "Msg 20001, Level 1, State 1, Line 252\ncaf\xe9\r\nline\n(1 rows affected)\n"},
      {{{Info("> EHLO h"), Info("< 250 ok"), Done(0x11, 1)}, 0},
       "> EHLO h\n< 250 ok\n(1 rows affected)\n"},
  };
  for (const Row &row : rows) EXPECT_EQ(FormatCall(row.call, OutputStyle::kHuman), row.shown);
}

TEST(XpexecOutputs, ShownAsASelectOfThemAndAsTokens) {
  CallRecord call;
  call.tokens = {Done(0x11, 1)};
  // U+00E9, then a lone surrogate
  call.outputs = {{"@id", STANDIN_TYPE_NVARCHAR, std::string("a\0\xe9\0\x3d\xd8", 6), false},
                  {"@n", STANDIN_TYPE_INT, "\xfe\xff\xff\xff", false},
                  {"@error", STANDIN_TYPE_VARCHAR, "", true}};
  EXPECT_EQ(FormatCall(call, OutputStyle::kHuman),
            "(1 rows affected)\n"
            "@id @n @error\n"
            "--- -- ------\n"
            "a\xc3\xa9\xef\xbf\xbd -2 NULL\n"
            "\n(1 rows affected)\n");
  EXPECT_EQ(FormatCall(call, OutputStyle::kTokens),
            "{\"token\":\"done\",\"status\":17,\"curcmd\":0,\"count\":1}\n"
            "{\"token\":\"output\",\"name\":\"@id\",\"value\":\"a\xc3\xa9\xef\xbf\xbd\"}\n"
            "{\"token\":\"output\",\"name\":\"@n\",\"value\":-2}\n"
            "{\"token\":\"output\",\"name\":\"@error\",\"value\":null}\n"
            "{\"token\":\"return\",\"value\":0}\n");
}

// A row of a text (UTF-16LE), an int and a NULL column.
ReceivedToken Row(const std::string &utf16le, std::string int4) {
  ReceivedToken t;
  t.kind = STANDIN_TOKEN_ROW;
  t.columns = {{"name", 0xE7, utf16le, false}, {"n", 0x26, std::move(int4), false},
               {"none", 0xE7, "", true}};
  return t;
}

TEST(XpexecRows, AsSqlcmdShowsAResultSetAndAsRowTokens) {
  CallRecord call;
  call.tokens = {Row(std::string("a\0\xe9\0", 4), std::string("\x07\0\0\0", 4)),
                 Row(std::string("l\0o\0n\0g\0", 8), "\xfe\xff\xff\xff"), Done(0x11, 2)};
  EXPECT_EQ(FormatCall(call, OutputStyle::kHuman),
            "name n  none\n---- -- ----\na\xc3\xa9    7 NULL\nlong -2 NULL\n\n(2 rows affected)\n");
  const std::string tokens = FormatCall(call, OutputStyle::kTokens);
  EXPECT_EQ(tokens.substr(0, tokens.find('\n')),
            "{\"token\":\"row\",\"values\":{\"name\":\"a\xc3\xa9\",\"n\":7,\"none\":null}}");
}

}  // namespace
}  // namespace xpexec
