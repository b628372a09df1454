// The values the options beyond the twelve parameters take, and those
// refused; and that the driver refuses them before anything is sent.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

#include "mail/smtp_mail.h"
#include "proc/call_options.h"
#include "proc/client_trace.h"
#include "proc/param_value.h"
#include "proc/request_driver.h"
#include "tests/support/base64_line.h"
#include "tests/support/scripted_server.h"
#include "tests/support/smtp_test_mail.h"
#include "tests/support/standin_call.h"
#include "tests/support/test_host_name.h"
#include "tests/support/test_socket.h"

namespace {

constexpr char kBadTls[] = "@tls must be 'starttls', 'implicit' or empty.";
constexpr char kBadTlsVerify[] = "@tls_verify must be 'yes' or 'no'.";
constexpr char kBadAuth[] = "@auth must be 'plain', 'login', 'xoauth2', 'oauthbearer' or empty.";
constexpr char kBadTrace[] = "@trace must be 'yes' or 'no'.";
constexpr char kBadTimeout[] = "@timeout must be a whole number of seconds from 1 to 600.";
constexpr char kBadUrl[] = "@oauth_token_url must be an https URL.";
constexpr char kBadImportance[] = "@importance must be 'low', 'normal' or 'high'.";
constexpr char kBadSensitivity[] =
    "@sensitivity must be 'normal', 'personal', 'private' or 'confidential'.";
constexpr char kBadRowsAttachment[] =
    "@rows_attachment must be a file name (no path, at most 260 characters).";

// The options given (by name), whether "@user" is, and the outcome.
struct Row {
  std::map<std::string, std::string> given;
  bool user;
  const char *refusal;  // null when accepted
};

CCallOptions Read(const Row &row, const char **refusal) {
  CCallOptions options;
  *refusal = ReadCallOptions(
      [&row](const char *name, std::string &value) {
        auto it = row.given.find(name);
        if (it != row.given.end()) value = it->second;
      },
      row.user, options);
  return options;
}

// A call of the required parameters to the scripted server.
CStandinCall &To(CStandinCall &call, const CScriptedServer &server) {
  return call.Varchar("@server", server.Host())
      .Varchar("@port", std::to_string(server.Port()))
      .Varchar("@recipients", "ann@example.com")
      .Varchar("@from", "me@example.com");
}

TEST(CallOptions, RefusalsAndTheirTexts) {
  const Row rows[] = {
      {{}, false, nullptr},
      {{{"@tls", "starttls"}, {"@tls_verify", "yes"}}, false, nullptr},
      {{{"@tls", "STARTTLS"}, {"@tls_verify", "NO"}}, false, nullptr},
      {{{"@tls", "tls"}}, false, kBadTls},
      {{{"@tls", "starttls "}}, false, kBadTls},
      {{{"@tls_verify", "n"}}, false, kBadTlsVerify},
      {{{"@auth", "Login"}}, true, nullptr},
      {{{"@auth", "XOAUTH2"}, {"@trace", "Yes"}}, true, nullptr},
      {{{"@auth", "cram-md5"}}, true, kBadAuth},
      {{{"@auth", "plain"}}, false, "@auth needs @user."},
      {{{"@trace", "no"}}, false, nullptr},
      {{{"@trace", "1"}}, false, kBadTrace},
      {{{"@raise", "YES"}, {"@trace", "no"}}, false, nullptr},
      {{{"@raise", "true"}}, false, "@raise must be 'yes' or 'no'."},
      {{{"@timeout", "1"}}, false, nullptr},
      {{{"@timeout", "600"}}, false, nullptr},
      {{{"@timeout", "0"}}, false, kBadTimeout},
      {{{"@timeout", "601"}}, false, kBadTimeout},
      {{{"@timeout", "abc"}}, false, kBadTimeout},
      {{{"@timeout", "-5"}}, false, kBadTimeout},
      {{{"@timeout", " 5"}}, false, kBadTimeout},
      {{{"@timeout", "00005"}}, false, kBadTimeout},
      {{{"@oauth_token_url", "https://login.example.com/t/oauth2/token"}, {"@oauth_client_id", "c"}},
       true, nullptr},
      {{{"@oauth_token_url", "HTTPS://h/"}, {"@oauth_client_id", "c"}}, true, nullptr},
      {{{"@oauth_token_url", "http://h/token"}, {"@oauth_client_id", "c"}}, true, kBadUrl},
      {{{"@oauth_token_url", "https://"}, {"@oauth_client_id", "c"}}, true, kBadUrl},
      {{{"@oauth_token_url", "https:///x"}, {"@oauth_client_id", "c"}}, true, kBadUrl},
      {{{"@oauth_token_url", "https://h/a b"}, {"@oauth_client_id", "c"}}, true, kBadUrl},
      {{{"@oauth_token_url", "https://h\xC3\xA9/"}, {"@oauth_client_id", "c"}}, true, kBadUrl},
      {{{"@oauth_token_url", "https://h/"}}, true, "@oauth_token_url needs @oauth_client_id."},
      {{{"@oauth_token_url", "https://h/"}, {"@oauth_client_id", "c"}}, false,
       "@oauth_token_url needs @user."},
      {{{"@oauth_client_id", "c"}}, true, "@oauth_client_id and @oauth_scope need @oauth_token_url."},
      {{{"@oauth_scope", "s"}}, true, "@oauth_client_id and @oauth_scope need @oauth_token_url."},
      {{{"@oauth_token_url", "https://h/"}, {"@oauth_client_id", "c\r"}}, true,
       "@oauth_client_id must be printable text."},
      {{{"@importance", "HIGH"}, {"@sensitivity", "Confidential"}, {"@rows", "x"}}, false, nullptr},
      {{{"@importance", "urgent"}}, false, kBadImportance},
      {{{"@sensitivity", "secret"}}, false, kBadSensitivity},
      {{{"@rows_attachment", "r\xC3\xA9sum\xC3\xA9 2024.csv"}}, false, nullptr},
      {{{"@rows_attachment", "dir\\x.csv"}}, false, kBadRowsAttachment},
      {{{"@rows_attachment", "C:x.csv"}}, false, kBadRowsAttachment},
      {{{"@rows_attachment", "x.csv\r\nX-Evil: 1"}}, false, kBadRowsAttachment},
      {{{"@rows_attachment", std::string(261, 'x')}}, false, kBadRowsAttachment},
      {{{"@reply_to", std::string("a@x\0b@y", 7)}}, false, "@reply_to can not contain a NUL character."},
      // 128 characters (UTF-8: two bytes each) and no more.
      {{{"@profile", std::string(64, 'a') + std::string(64, 'b') }}, false, nullptr},
      {{{"@profile", [] { std::string s; for (int i = 0; i < 128; ++i) s += "\xC3\xA9"; return s; }()}},
       false, nullptr},
      {{{"@profile", std::string(129, 'a')}}, false, "@profile must be 1 to 128 printable characters."},
      {{{"@profile", "alerts\n"}}, false, "@profile must be 1 to 128 printable characters."},
  };
  for (const Row &row : rows) {
    std::string label;
    for (const auto &g : row.given) label += g.first + "=" + g.second + " ";
    SCOPED_TRACE(label);
    const char *refusal = nullptr;
    Read(row, &refusal);
    if (row.refusal == nullptr) {
      EXPECT_EQ(refusal, nullptr) << refusal;
    } else {
      ASSERT_NE(refusal, nullptr);
      EXPECT_STREQ(refusal, row.refusal);
    }
  }
}

struct TlsRow {
  const char *tls;
  const char *verify;
  const char *refusal;  // null when accepted
  TlsMode mode;
  bool checked;
};

const TlsRow kRows[] = {
    {"", "", nullptr, TlsMode::kNone, true},
    {"starttls", "", nullptr, TlsMode::kStartTls, true},
    {"STARTTLS", "yes", nullptr, TlsMode::kStartTls, true},
    {"implicit", "no", nullptr, TlsMode::kImplicit, false},
    {"Implicit", "NO", nullptr, TlsMode::kImplicit, false},
    {"", "no", nullptr, TlsMode::kNone, false},
    {"tls", "", kBadTls, TlsMode::kNone, true},
    {"ssl", "", kBadTls, TlsMode::kNone, true},
    {"starttls ", "", kBadTls, TlsMode::kNone, true},
    {"start", "", kBadTls, TlsMode::kNone, true},
    {"starttlsx", "", kBadTls, TlsMode::kNone, true},
    {"1", "", kBadTls, TlsMode::kNone, true},
    {"starttls", "false", kBadTlsVerify, TlsMode::kNone, true},
    {"starttls", "0", kBadTlsVerify, TlsMode::kNone, true},
    {"starttls", "n", kBadTlsVerify, TlsMode::kNone, true},
    {"implicit", "yes ", kBadTlsVerify, TlsMode::kNone, true},
};

TEST(CallOptions, TlsValues) {
  for (const TlsRow &row : kRows) {
    SCOPED_TRACE(std::string(row.tls) + "/" + row.verify);
    const char *refusal = nullptr;
    CCallOptions options = Read({{{"@tls", row.tls}, {"@tls_verify", row.verify}}, false, nullptr},
                                &refusal);
    if (row.refusal == nullptr) {
      EXPECT_EQ(refusal, nullptr);
      CTlsSettings settings;
      settings.trustFile = "roots.pem";
      ApplyTls(options, settings);
      EXPECT_EQ(settings.mode, row.mode);
      EXPECT_EQ(settings.verify, row.checked);
      EXPECT_EQ(settings.trustFile, "roots.pem");
    } else {
      ASSERT_NE(refusal, nullptr);
      EXPECT_STREQ(refusal, row.refusal);
    }
  }
}

TEST(CallOptions, ValuesTaken) {
  const char *refusal = nullptr;
  CCallOptions o = Read({{{"@auth", "OAuthBearer"}, {"@trace", "YES"}, {"@timeout", "42"}}, true,
                         nullptr},
                        &refusal);
  EXPECT_EQ(refusal, nullptr);
  EXPECT_EQ(o.auth, AuthMechanism::kOAuthBearer);
  EXPECT_TRUE(o.trace);
  CSmtpTimeouts t;
  ApplyTimeout(o, t);
  EXPECT_EQ(t.connectMs, 42000);
  EXPECT_EQ(t.replyMs, 42000);
  EXPECT_EQ(t.dataReplyMs, 42000);
  EXPECT_EQ(t.writeMs, 42000);
  EXPECT_EQ(t.endOfDataMs, 42000);
  EXPECT_EQ(t.ehloDrainMs, 5000);
  o = Read({{{"@oauth_token_url", "https://h/t"}, {"@oauth_client_id", "c"}}, true, nullptr},
           &refusal);
  EXPECT_EQ(o.oauthScope, kDefaultOAuthScope);
  CTokenEndpoint endpoint;
  ApplyTokenEndpoint(o, endpoint);
  EXPECT_EQ(endpoint.url, "https://h/t");
  EXPECT_EQ(endpoint.clientId, "c");
  EXPECT_EQ(endpoint.scope, kDefaultOAuthScope);
  EXPECT_TRUE(endpoint.verify);
  EXPECT_EQ(endpoint.timeoutMs, kDefaultTokenTimeoutMs);
  o = Read({{{"@oauth_token_url", "https://h/t"}, {"@oauth_client_id", "c"}, {"@oauth_scope", "s"},
             {"@tls_verify", "no"}, {"@timeout", "7"}},
            true, nullptr},
           &refusal);
  ApplyTokenEndpoint(o, endpoint);
  EXPECT_EQ(endpoint.scope, "s");
  EXPECT_FALSE(endpoint.verify);
  EXPECT_EQ(endpoint.timeoutMs, 7000);
  o = Read({{}, false, nullptr}, &refusal);
  CSmtpTimeouts untouched;
  ApplyTimeout(o, untouched);
  EXPECT_EQ(untouched.replyMs, CSmtpTimeouts().replyMs);
  EXPECT_EQ(o.auth, AuthMechanism::kChoose);
  EXPECT_FALSE(o.trace);
}

// A call with a refused value, or whose token cannot be fetched, reports
// it, and the server never sees a connection byte; no text holds the
// secret.
TEST(CallOptions, DriverRefusesBeforeConnecting) {
  const std::string nowhere =
      "https://127.0.0.1:" + std::to_string(TestUnusedPort(TestFamily::kIpv4)) + "/token";
  struct Case {
    std::map<std::string, std::string> given;
    std::string text;
    bool prefix = false;  // text is the start of the message's
  } cases[] = {
      {{{"@tls", "tls1.2"}}, kBadTls},
      {{{"@tls_verify", "maybe"}}, kBadTlsVerify},
      {{{"@auth", "ntlm"}}, kBadAuth},
      {{{"@trace", "verbose"}}, kBadTrace},
      {{{"@timeout", "0"}}, kBadTimeout},
      {{{"@timeout", "abc"}}, kBadTimeout},
      {{{"@oauth_token_url", "http://login.example.com/token"}}, kBadUrl},
      {{{"@importance", "top"}}, kBadImportance},
      {{{"@rows", "[{\"a\":1},x]"}}, "@rows must be a JSON array of objects (FOR JSON PATH). Fault at offset 9."},
      {{{"@reply_to", "Help Desk"}}, "Invalid address in @reply_to: \"Help Desk\""},
      {{{"@message", std::string(kMaxValueBytes + 1, 'x')}}, "@message can not be longer than 64 MiB."},
      {{{"@user", "me@example.com"},
        {"@pwd", "client-secret"},
        {"@oauth_token_url", nowhere},
        {"@oauth_client_id", "id"}},
       "Cannot reach OAuth token endpoint(",
       true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.given.rbegin()->first);
    CScriptedServer server;
    server.Send("220 hi\r\n");
    ASSERT_TRUE(server.Start());
    CStandinCall call;
    To(call, server);
    for (const auto &g : c.given) call.Varchar(g.first.c_str(), g.second);
    CTestMail mail;
    EXPECT_FALSE(RunRequestWith(call.Proc(), mail));
    const std::string text = call.MessageText();
    EXPECT_EQ(c.prefix ? text.substr(0, c.text.size()) : text, c.text);
    EXPECT_EQ(text.find("client-secret"), std::string::npos);
    server.Stop();
    EXPECT_EQ(server.Received(), "");
  }
}

// "@auth" reaches the dialogue, whatever the server offers, and a token as
// long as a varchar holds (8000 bytes) reaches the server whole.
TEST(CallOptions, AuthIsSentAsAskedWithTheWholeToken) {
  const std::string token(8000, 'k');
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect("EHLO " + TestHostName() + "\r\n")
      .Send("250-mx\r\n250 AUTH PLAIN LOGIN\r\n").Expect("AUTH XOAUTH2\r\n").Send("334 \r\n")
      .Expect(Base64Line("user=u\x01" "auth=Bearer " + token + "\x01\x01")).Send("535 no\r\n")
      .Delay(200);
  ASSERT_TRUE(server.Start());
  CStandinCall call;
  To(call, server)
      .Varchar("@user", "u")
      .Varchar("@pwd", token)
      .Varchar("@auth", "XOAuth2");
  CTestMail mail;
  EXPECT_FALSE(RunRequestWith(call.Proc(), mail));
  server.Stop();
  EXPECT_EQ(call.MessageText(), "SMTP Server response code(535)");
  for (const std::string &p : server.Problems()) ADD_FAILURE() << p;
}

// "@timeout" replaces every limit of the dialogue: a server that accepts
// and never greets ends the call after it, with the greeting's text.
TEST(CallOptions, TimeoutBoundsTheGreeting) {
  CScriptedServer server;
  server.Stall();
  ASSERT_TRUE(server.Start());
  CStandinCall call;
  To(call, server).Varchar("@timeout", "2");
  CTestMail mail;
  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunRequestWith(call.Proc(), mail));
  auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  server.Stop();
  EXPECT_EQ(call.MessageText(), "SMTP Server reply timeout(greeting)");
  EXPECT_GE(took.count(), 1900);
  EXPECT_LT(took.count(), 3500);
}

// The parameters have no position: bare values after the twelve are not
// "@tls", and the dialogue stays plain.
TEST(CallOptions, BareValuesAreNotTlsParameters) {
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

namespace {

// What a trace line shows of server bytes: printable ASCII only, bounded.
TEST(ClientTrace, LinesArePrintableAndBounded) {
  struct Shown {
    std::string event;
    std::string shown;
  } rows[] = {
      {"< 250 ok", "< 250 ok"},
      {std::string("< 250 a\r\nb\0c\x7f\xe9", 14), "< 250 a??b?c??"},
      {"\t", "?"},
      {std::string(kTraceLineLimit, 'x'), std::string(kTraceLineLimit, 'x')},
      {std::string(kTraceLineLimit + 1, 'x'), std::string(kTraceLineLimit - 3, 'x') + "..."},
  };
  for (const Shown &row : rows) EXPECT_EQ(PrintableTraceLine(row.event), row.shown);
}

}  // namespace
