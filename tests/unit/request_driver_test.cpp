// The request driver as a SQL caller sees it: parameters in through the
// stand-in ODS library, one message and one DONE out.
#define GTEST_DONT_DEFINE_FAIL 1
#define GTEST_DONT_DEFINE_SUCCEED 1
#include <gtest/gtest.h>

#include <srv.h>

#include <string>

#include "proc/param_names.h"
#include "proc/param_value.h"
#include "proc/request_driver.h"
#include "proc/xp_params.h"
#include "tests/support/standin_call.h"

namespace {

const char kUsage[] =
    "Usage:\nexec master..mailvane\n\t{[@server =] 'server'\n\t{[[@port =] 'server port number']\n"
    "\t{[[@user =] 'user name']\n\t{[[@pwd =] 'user password']\n\t,[@recipients =] 'recipients [;...n]'\n"
    "\t,[@from =] 'from' }\n\t[,[@copy_recipients =] 'copy_recipients [;...n]'\n"
    "\t[,[@blind_copy_recipients =] 'blind_copy_recipients [;...n]'\n \t[,[@subject =] 'subject']\n"
    "\t[,[@message =] 'message']\n\t[,[@type =] 'type']\n\t[,[@attachments =] 'attachments [;...n]']\n";

// Runs the call and checks the failure report: one message 20001, class
// `severity`, state 1 at `line`, then DONE with status 3 and count 0.
std::string FailureText(CStandinCall &call, int line = 252, int severity = 1) {
  EXPECT_FALSE(RunRequest(call.Proc()));
  std::vector<StandinToken> tokens = call.Tokens();
  EXPECT_EQ(tokens.size(), 2u);
  if (tokens.size() != 2) return "";
  const StandinToken &msg = tokens[0];
  EXPECT_EQ(msg.kind, STANDIN_TOKEN_MESSAGE);
  EXPECT_EQ(msg.msgtype, 2);
  EXPECT_EQ(msg.number, 20001);
  EXPECT_EQ(msg.msgclass, severity);
  EXPECT_EQ(msg.state, 1);
  EXPECT_EQ(msg.line, line);
  const StandinToken &done = tokens[1];
  EXPECT_EQ(done.kind, STANDIN_TOKEN_DONE);
  EXPECT_EQ(done.status, 3);
  EXPECT_EQ(done.curcmd, 0);
  EXPECT_EQ(done.count, 0);
  return std::string(msg.text, msg.text_length);
}

TEST(RequestDriver, FewerThanThreeParametersGetTheUsageText) {
  for (int n = 0; n < 3; ++n) {
    CStandinCall call;
    // Which parameters are passed does not matter, only how many.
    const char *names[] = {"@server", "@recipients", "@from"};
    for (int i = 0; i < n; ++i) call.Varchar(names[i], "x");
    EXPECT_EQ(FailureText(call), kUsage) << n << " parameters";
  }
}

TEST(RequestDriver, RequiredParametersAreCheckedInOrder) {
  struct Row {
    const char *server, *recipients, *from;
    const char *text;
  } rows[] = {
      {nullptr, nullptr, nullptr, "@server can not be empty."},
      {"", "a", "b", "@server can not be empty."},
      {"s", nullptr, nullptr, "@recipients can not be empty."},
      {"s", "", "b", "@recipients can not be empty."},
      {"s", "a", nullptr, "@from can not be empty."},
      {"s", "a", "", "@from can not be empty."},
  };
  for (const Row &row : rows) {
    CStandinCall call;
    call.Varchar("@subject", "s").Varchar("@message", "m").Varchar("@type", "text/plain");
    if (row.server) call.Varchar("@server", row.server);
    if (row.recipients) call.Varchar("@recipients", row.recipients);
    if (row.from) call.Varchar("@from", row.from);
    EXPECT_EQ(FailureText(call), row.text);
  }
}

TEST(RequestDriver, BareParametersAreIgnoredAndMisspeltNamesRefused) {
  CStandinCall call;
  call.Varchar("", "smtp.example.com").Varchar("", "ann@example.com").Varchar("", "me@example.com");
  EXPECT_EQ(FailureText(call), "@server can not be empty.");

  CStandinCall misspelled;
  misspelled.Varchar("@servr", "s").Varchar("@recipients", "a").Varchar("@from", "b");
  EXPECT_EQ(FailureText(misspelled), "Unknown parameter @servr (did you mean @server?)");
}

// Before anything is sent; after the usage text. Known names (options and
// OUTPUT parameters among them) pass on to the next check.
TEST(RequestDriver, UnknownNamesAreRefusedWithAHintWhereOneIsClose) {
  const char *from = "@from can not be empty.";
  struct Row {
    const char *name;
    const char *text;
  } rows[] = {
      {"@body", "Unknown parameter @body (did you mean @message?)"},
      {"@body_format", "Unknown parameter @body_format (did you mean @type?)"},
      {"@file_attachments", "Unknown parameter @file_attachments (did you mean @attachments?)"},
      {"@cc", "Unknown parameter @cc (did you mean @copy_recipients?)"},
      {"@Recipient", "Unknown parameter @Recipient (did you mean @recipients?)"},
      {"@subjet", "Unknown parameter @subjet (did you mean @subject?)"},
      {"@form", "Unknown parameter @form (did you mean @from?)"},  // a swap is one edit
      {"@id", "Unknown parameter @id."},  // two edits from @pwd: too many for a short name
      {"@query", "Unknown parameter @query (did you mean @rows?)"},
      {"@colour\n", "Unknown parameter @colour?."},
      {"@raise", from}, {"@TRACE", from}, {"@message_id", from}, {"@error", from}, {"", from},
  };
  for (const Row &row : rows) {
    CStandinCall call;
    call.Varchar("@server", "s").Varchar("@recipients", "a@x").Varchar(row.name, "");
    EXPECT_EQ(FailureText(call), row.text) << row.name;
  }
  CStandinCall two;
  two.Varchar("@server", "s").Varchar("@body", "x");
  EXPECT_EQ(FailureText(two), kUsage);
}

TEST(RequestDriver, RaiseSendsEveryFailureWithSeverity16) {
  struct Row {
    const char *raise;
    const char *from;
    int severity;
    const char *text;
  } rows[] = {
      {"yes", "", 16, "@from can not be empty."},
      {"Yes", "me\r\nRCPT TO:x", 16, "Error(@from): \t80070057"},
      {"maybe", "b@x", 16, "@raise must be 'yes' or 'no'."},  // asked for, if misspelt
      {"no", "", 1, "@from can not be empty."},
      {"", "", 1, "@from can not be empty."},
  };
  for (const Row &row : rows) {
    CStandinCall call;
    call.Varchar("@server", "s").Varchar("@recipients", "a@x").Varchar("@raise", row.raise);
    call.Varchar("@from", row.from);
    EXPECT_EQ(FailureText(call, 252, row.severity), row.text) << row.raise;
  }
  CStandinCall usage;
  usage.Varchar("@raise", "yes");
  EXPECT_EQ(FailureText(usage, 252, 16), kUsage);
}

// The UTF-16LE bytes of ASCII text.
std::string Wide(const std::string &ascii) {
  std::string bytes;
  for (char c : ascii) bytes += std::string{c, '\0'};
  return bytes;
}

// Set on a failure as on success, to what fits the variable, and only when
// passed as OUTPUT; the stand-in refuses (with a notice token) any value
// longer than the variable, so FailureText's two tokens show none was.
TEST(RequestDriver, OutputParametersGetWhatFits) {
  const std::string text = "@from can not be empty.";
  struct Row {
    int type;
    std::uint32_t maxLength;  // 0: passed as a plain value 'x'
    std::string value;
  } rows[] = {
      {STANDIN_TYPE_NVARCHAR, 8000, Wide(text)},
      {STANDIN_TYPE_NVARCHAR, 11, Wide("@from")},  // an odd length holds whole units only
      {STANDIN_TYPE_VARCHAR, 3, "@fr"},
      {STANDIN_TYPE_VARCHAR, STANDIN_UNLIMITED_LENGTH, text},
      {STANDIN_TYPE_INT, 4, "NULL"},  // another type: left as it was
      {STANDIN_TYPE_VARCHAR, 0, "x"},
  };
  for (const Row &row : rows) {
    CStandinCall call;
    call.Varchar("@server", "s").Varchar("@recipients", "a@x");
    call.Output("@message_id", STANDIN_TYPE_NVARCHAR, 200)
        .Output("@server_reply", STANDIN_TYPE_VARCHAR, 200);
    if (row.maxLength == 0)
      call.Varchar("@error", "x");
    else
      call.Output("@error", row.type, row.maxLength);
    EXPECT_EQ(FailureText(call), text);
    EXPECT_EQ(call.Value(3), "NULL");
    EXPECT_EQ(call.Value(4), "NULL");
    EXPECT_EQ(call.Value(5), row.value) << row.maxLength;
  }
}

TEST(RequestDriver, NullAndEmptyAreAlike) {
  CStandinCall call;
  call.Null("@server").Varchar("@recipients", "a").Varchar("@from", "b");
  EXPECT_EQ(FailureText(call), "@server can not be empty.");
}

TEST(RequestDriver, ParametersAreMatchedByNameWhereverTheyStand) {
  CStandinCall call;
  call.Varchar("@from", "b").Varchar("@recipients", "a").Varchar("@SERVER", "");
  EXPECT_EQ(FailureText(call), "@server can not be empty.");
}

// A hint names a known name only: "@profile" only where it is one.
TEST(RequestDriver, AHintFromTheTableNeedsItsNameKnown) {
  CStandinCall call;
  call.Varchar("@profile_name", "p");
  CXpParams params(call.Proc());
  EXPECT_EQ(UnknownParamText(params, {"@message", "@profile"}),
            "Unknown parameter @profile_name (did you mean @profile?)");
  EXPECT_EQ(UnknownParamText(params, {"@message"}), "Unknown parameter @profile_name.");
  EXPECT_EQ(UnknownParamText(params, {"@PROFILE_name"}), "");
}

TEST(RequestDriver, AFailingSetterIsReportedWithItsParameterAndCode) {
  // A line break in the sender would reach MAIL FROM raw: refused.
  CStandinCall call;
  call.Varchar("@server", "127.0.0.1").Varchar("@recipients", "a").Varchar("@from", "me\r\nRCPT TO:x");
  EXPECT_EQ(FailureText(call), "Error(@from): \t80070057");

  // Malformed angle brackets give the code 1.
  CStandinCall brackets;
  brackets.Varchar("@server", "127.0.0.1").Varchar("@recipients", "ann@x;bob>").Varchar("@from", "me@x");
  EXPECT_EQ(FailureText(brackets), "Error(@recipients): \t1");
}

// An entry that leaves no single address is never sent: its text names the
// parameter and quotes the entry.
TEST(RequestDriver, EntryWithoutAnAddressIsRefusedWithItsText) {
  struct Row {
    const char *param;
    const char *value;
    const char *text;
  } rows[] = {
      {"@recipients", "a@x; Ann Lee <> ", "Invalid address in @recipients: \"Ann Lee <>\""},
      {"@recipients", ";, ;", "@recipients can not be empty."},
      {"@from", "Nightly Jobs", "Invalid address in @from: \"Nightly Jobs\""},
      {"@from", "jobs", "Invalid address in @from: \"jobs\""},  // no "@"
      {"@recipients", "a@x;ann", "Invalid address in @recipients: \"ann\""},
      {"@copy_recipients", "Ann <ann>", "Invalid address in @copy_recipients: \"Ann <ann>\""},
      {"@blind_copy_recipients", "b@x,Lee", "Invalid address in @blind_copy_recipients: \"Lee\""},
      {"@copy_recipients", "c@x, d\xE9@x", "Error(@copy_recipients): \t80070057"},
      {"@copy_recipients", "c d@x", "Invalid address in @copy_recipients: \"c d@x\""},
      {"@blind_copy_recipients", "b@x,<b@x", "Error(@blind_copy_recipients): \t1"},
  };
  for (const Row &row : rows) {
    CStandinCall call;
    call.Varchar("@server", "127.0.0.1").Varchar("@port", "9").Varchar(row.param, row.value);
    for (const char *name : {"@recipients", "@from"})
      if (std::string(name) != row.param) call.Varchar(name, "a@x");
    EXPECT_EQ(FailureText(call), row.text) << row.value;
  }
}

TEST(RequestDriver, PortText) {
  struct Row {
    const char *text;
    int port;
  } rows[] = {
      {"", 25}, {"587", 587}, {"abc", 0}, {"  42x", 42}, {"+7", 7}, {"-5", -5}, {"\t 2525 ", 2525},
  };
  for (const Row &row : rows) EXPECT_EQ(ParsePort(row.text), row.port) << '"' << row.text << '"';
}

// UTF-16LE in, UTF-8 out, every character kept; UTF-16 that is not well
// formed is refused and the value left as it was.
TEST(ParamValue, UnicodeValuesBecomeUtf8WholeOrAreRefused) {
  struct Row {
    CSecretString utf16;
    const char *utf8;  // null: refused
  } rows[] = {
      {CSecretString("b\0o\0b\0@\0x\0", 10), "bob@x"},
      // U+20AC, U+65E5, U+1F600 (a surrogate pair)
      {CSecretString("\xAC\x20\xE5\x65\x3D\xD8\x00\xDE", 8),
       "\xE2\x82\xAC\xE6\x97\xA5\xF0\x9F\x98\x80"},
      {CSecretString("a\0\x3D\xD8", 4), nullptr},      // a high surrogate at the end
      {CSecretString("\x3D\xD8" "a\0", 4), nullptr},   // ... before a character
      {CSecretString("\x00\xDE" "a\0", 4), nullptr},   // a low surrogate alone
      {CSecretString("a\0b", 3), nullptr},              // half a code unit
  };
  for (Row &row : rows) {
    const CSecretString given = row.utf16;
    EXPECT_EQ(ParamValueToText(kSqlNVarChar, row.utf16), row.utf8 != nullptr);
    EXPECT_EQ(row.utf16, row.utf8 != nullptr ? CSecretString(row.utf8) : given);
  }
}

// The limit holds for the text after conversion, and is checked on the
// length the server lists before anything is fetched: a UTF-16 unit gives
// at least one byte, at most three.
TEST(ParamValue, ValuesPastTheLimitAreRefused) {
  EXPECT_FALSE(ExceedsValueLimit(0xA7, kMaxValueBytes));
  EXPECT_TRUE(ExceedsValueLimit(0xA7, kMaxValueBytes + 1));
  EXPECT_TRUE(ExceedsValueLimit(0x23, kMaxValueBytes + 1));  // text
  EXPECT_FALSE(ExceedsValueLimit(kSqlNText, 2 * kMaxValueBytes));
  EXPECT_TRUE(ExceedsValueLimit(kSqlNVarChar, 2 * kMaxValueBytes + 2));
  EXPECT_FALSE(ExceedsValueLimit(kSqlInt4, kMaxValueBytes + 1));
  CSecretString euros("\xAC\x20\xAC\x20", 4);  // six bytes of UTF-8
  EXPECT_EQ(ConvertParamValue(kSqlNVarChar, euros, 5), ValueConversion::kTooLong);
  EXPECT_EQ(euros.size(), 4u);
  EXPECT_EQ(ConvertParamValue(kSqlNVarChar, euros, 6), ValueConversion::kDone);
  EXPECT_EQ(euros, "\xE2\x82\xAC\xE2\x82\xAC");
  CStandinCall call;
  call.Varchar("@a", std::string(kMaxValueBytes + 1, 'x'));
  CXpParams params(call.Proc());
  std::string value;
  ParamText text = ParamText::kBytes;
  EXPECT_FALSE(params.GetParam("@a", 0, value, &text));
  EXPECT_EQ(text, ParamText::kTooLong);
}

TEST(ParamValue, IntegersBecomeTheirDecimalText) {
  struct Row {
    int type;
    CSecretString bytes;
    const char *text;
  } rows[] = {
      {kSqlInt4, CSecretString("\x4b\x02\0\0", 4), "587"},
      {kSqlInt1, CSecretString("\xff", 1), "255"},
      {kSqlInt2, CSecretString("\xfe\xff", 2), "-2"},
      {kSqlIntN, CSecretString("\x19\0\0\0\0\0\0\0", 8), "25"},
      {kSqlInt4, CSecretString("\xff\xff\xff\xff", 4), "-1"},
  };
  for (Row &row : rows) {
    ASSERT_TRUE(ParamValueToText(row.type, row.bytes));
    EXPECT_EQ(row.bytes, row.text);
  }
}

TEST(ParamValue, VarcharBytesStayAsTheyAre) {
  CSecretString bytes("a\0\xfc", 3);
  ASSERT_TRUE(ParamValueToText(0xA7, bytes));
  EXPECT_EQ(bytes, CSecretString("a\0\xfc", 3));
}

TEST(XpParams, ValuesByNameTypeAndNull) {
  CStandinCall call;
  call.Varchar("@a", "x").NVarchar("@b", u"bob").Int("@port", 587).Null("@n").Varchar("@e", "");
  CXpParams params(call.Proc());
  std::string v = "keep";
  EXPECT_TRUE(params.GetParam("@port", 2, v));
  EXPECT_EQ(v, "587");
  EXPECT_TRUE(params.GetParam("@b", 7, v));
  EXPECT_EQ(v, "bob");
  v = "keep";
  EXPECT_FALSE(params.GetParam("@n", 4, v));
  EXPECT_FALSE(params.GetParam("@e", 5, v));
  EXPECT_FALSE(params.GetParam("@missing", 1, v));
  EXPECT_FALSE(params.GetParam("@missing", 9, v));
  EXPECT_EQ(v, "keep");
  // Nothing was asked that the stand-in answers with a message, as it does
  // for a missing name or position.
  EXPECT_TRUE(call.Tokens().empty());
  EXPECT_EQ(srv_paramnumber(call.Proc(), const_cast<char *>("@missing"), -1), 0);
  EXPECT_EQ(srv_paramname(call.Proc(), 0, nullptr), nullptr);
  ASSERT_EQ(call.Tokens().size(), 2u);
  EXPECT_EQ(call.Tokens()[1].number, STANDIN_NOTICE_NUMBER);
}

}  // namespace
