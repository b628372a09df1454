// The values "@tls" and "@tls_verify" take, and those refused; and that the
// driver refuses them before anything is sent.
#include <gtest/gtest.h>

#include <string>

#include "mail/smtp_mail.h"
#include "proc/request_driver.h"
#include "proc/tls_options.h"
#include "tests/support/scripted_server.h"
#include "tests/support/smtp_test_mail.h"
#include "tests/support/standin_call.h"

namespace {

struct Row {
  const char *tls;
  const char *verify;
  const char *refusal;  // null when accepted
  TlsMode mode;
  bool checked;
};

const Row kRows[] = {
    {"", "", nullptr, TlsMode::kNone, true},
    {"starttls", "", nullptr, TlsMode::kStartTls, true},
    {"STARTTLS", "yes", nullptr, TlsMode::kStartTls, true},
    {"implicit", "no", nullptr, TlsMode::kImplicit, false},
    {"Implicit", "NO", nullptr, TlsMode::kImplicit, false},
    {"", "no", nullptr, TlsMode::kNone, false},
    {"tls", "", kTextBadTls, TlsMode::kNone, true},
    {"ssl", "", kTextBadTls, TlsMode::kNone, true},
    {"starttls ", "", kTextBadTls, TlsMode::kNone, true},
    {"start", "", kTextBadTls, TlsMode::kNone, true},
    {"starttlsx", "", kTextBadTls, TlsMode::kNone, true},
    {"1", "", kTextBadTls, TlsMode::kNone, true},
    {"starttls", "false", kTextBadTlsVerify, TlsMode::kNone, true},
    {"starttls", "0", kTextBadTlsVerify, TlsMode::kNone, true},
    {"starttls", "n", kTextBadTlsVerify, TlsMode::kNone, true},
    {"implicit", "yes ", kTextBadTlsVerify, TlsMode::kNone, true},
};

TEST(TlsOptions, ValuesAndRefusals) {
  for (const Row &row : kRows) {
    SCOPED_TRACE(std::string(row.tls) + "/" + row.verify);
    CTlsSettings settings;
    settings.trustFile = "roots.pem";
    const char *refusal = ApplyTlsOptions(row.tls, row.verify, settings);
    if (row.refusal == nullptr) {
      EXPECT_EQ(refusal, nullptr);
    } else {
      ASSERT_NE(refusal, nullptr);
      EXPECT_STREQ(refusal, row.refusal);
    }
    EXPECT_EQ(settings.mode, row.mode);
    EXPECT_EQ(settings.verify, row.checked);
    EXPECT_EQ(settings.trustFile, "roots.pem");
  }
}

// A call with a refused value reports it, and the server never sees a
// connection byte.
TEST(TlsOptions, DriverRefusesBeforeConnecting) {
  struct Case {
    const char *name;
    const char *value;
    const char *text;
  } cases[] = {
      {"@tls", "tls1.2", "@tls must be 'starttls', 'implicit' or empty."},
      {"@tls_verify", "maybe", "@tls_verify must be 'yes' or 'no'."},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    CScriptedServer server;
    server.Send("220 hi\r\n");
    ASSERT_TRUE(server.Start());
    CStandinCall call;
    call.Varchar("@server", server.Host())
        .Varchar("@port", std::to_string(server.Port()))
        .Varchar("@recipients", "ann@example.com")
        .Varchar("@from", "me@example.com")
        .Varchar(c.name, c.value);
    CTestMail mail;
    EXPECT_FALSE(RunRequestWith(call.Proc(), mail));
    EXPECT_EQ(call.MessageText(), c.text);
    server.Stop();
    EXPECT_EQ(server.Received(), "");
  }
}

// The parameters have no position: bare values after the twelve are not
// "@tls", and the dialogue stays plain.
TEST(TlsOptions, BareValuesAreNotTlsParameters) {
  CScriptedServer server;
  server.Send("220 hi\r\n").ExpectAnyLine().Send("554 no\r\n").Delay(200);
  ASSERT_TRUE(server.Start());
  CStandinCall call;
  call.Varchar("@server", server.Host())
      .Varchar("@port", std::to_string(server.Port()))
      .Varchar("@recipients", "a@example.com")
      .Varchar("@from", "b@example.com");
  for (int i = 0; i < 10; ++i) call.Varchar("", "");
  call.Varchar("", "starttls").Varchar("", "starttls");
  CTestMail mail;
  EXPECT_FALSE(RunRequestWith(call.Proc(), mail));
  server.Stop();
  EXPECT_EQ(call.MessageText(), "SMTP Server response code(554)");
  EXPECT_EQ(server.Received().substr(0, 5), "HELO ");
  EXPECT_EQ(mail.GetTls().mode, TlsMode::kNone);
}

}  // namespace
