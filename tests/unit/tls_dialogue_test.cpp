// What the client does when TLS cannot start, against a scripted (plain)
// server: it says which step failed, and nothing beyond the failed step
// reaches the server, least of all a command in the clear.
#include <gtest/gtest.h>

#include <string>

#include "mail/smtp_mail.h"
#include "tests/support/scripted_server.h"
#include "tests/support/smtp_test_mail.h"
#include "tests/support/test_host_name.h"

namespace {

constexpr char kStartTls[] = "STARTTLS\r\n";
// The first byte of a TLS handshake record (RFC 8446 section 5.1).
constexpr char kHandshakeRecord = 0x16;

struct Outcome {
  HResult result;
  std::string text;  // the mail's last-error text
};

Outcome SendWith(CScriptedServer &server, TlsMode mode, bool withUser) {
  CTestMail mail;
  CTlsSettings tls;
  tls.mode = mode;
  mail.SetTls(tls);
  if (withUser) mail.SetCredentials("user", "secret");
  HResult result = SendTo(server, mail);
  return {result, mail.GetLastErrorText()};
}

TEST(StartTls, NotAnnouncedSendsNothingMore) {
  for (bool withUser : {false, true}) {
    SCOPED_TRACE(withUser);
    CScriptedServer server;
    server.Send("220 hi\r\n")
        .Expect(Ehlo())
        .Send("250-mail.example.com\r\n250-AUTH PLAIN\r\n250 STARTTLSX\r\n")
        .Delay(300);
    Outcome sent = SendWith(server, TlsMode::kStartTls, withUser);
    EXPECT_EQ(sent.result, E_FAIL);
    EXPECT_EQ(sent.text, "SMTP Server does not offer STARTTLS");
    EXPECT_EQ(server.Received(), Ehlo());
  }
}

TEST(StartTls, KeywordInALateReceiveIsFoundAndARefusalEndsTheCall) {
  CScriptedServer server;
  server.Send("220 hi\r\n")
      .Expect(Ehlo())
      .Send("250-mail.example.com\r\n250-SIZE 1000\r\n")
      .Delay(150)
      .Send("250-STARTTLS\r\n250 OK\r\n")
      .Expect(kStartTls)
      .Send("454 TLS not available now\r\n")
      .Delay(300);
  Outcome sent = SendWith(server, TlsMode::kStartTls, true);
  EXPECT_EQ(sent.result, E_FAIL);
  EXPECT_EQ(sent.text, "SMTP Server refused STARTTLS(454)");
  EXPECT_EQ(server.Received(), Ehlo() + kStartTls);
}

TEST(StartTls, FailedHandshakeSendsNoPlainCommand) {
  CScriptedServer server;
  server.Send("220 hi\r\n")
      .Expect(Ehlo())
      .Send("250-mail.example.com\r\n250 STARTTLS\r\n")
      .Expect(kStartTls)
      .Send("220 go ahead\r\n")
      .Delay(100)
      .Send("250 this is no TLS record at all\r\n")
      .Delay(300);
  Outcome sent = SendWith(server, TlsMode::kStartTls, true);
  EXPECT_EQ(sent.result, E_FAIL);
  EXPECT_EQ(sent.text.substr(0, 21), "TLS handshake failed(") << sent.text;
  std::string received = server.Received();
  std::string plain = Ehlo() + kStartTls;
  ASSERT_GT(received.size(), plain.size());
  EXPECT_EQ(received.substr(0, plain.size()), plain);
  // Then only the client's hello: no EHLO, AUTH or MAIL in the clear.
  EXPECT_EQ(received[plain.size()], kHandshakeRecord);
  EXPECT_EQ(received.find("AUTH", plain.size()), std::string::npos);
  EXPECT_EQ(received.find("MAIL", plain.size()), std::string::npos);
  EXPECT_EQ(received.find("EHLO", plain.size()), std::string::npos);
}

// Plaintext that came with the 220 is neither taken into TLS nor answered.
TEST(StartTls, PlaintextBeyondThe220FailsBeforeTheHandshake) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Ehlo()).Send("250-mail.example.com\r\n250 STARTTLS\r\n")
      .Expect(kStartTls).Send("220 go ahead\r\n250 AUTH PLAIN\r\n").Delay(300);
  Outcome sent = SendWith(server, TlsMode::kStartTls, true);
  EXPECT_EQ(sent.result, E_FAIL);
  EXPECT_EQ(sent.text, "SMTP Server reply out of turn(STARTTLS)");
  EXPECT_EQ(server.Received(), Ehlo() + kStartTls);
}

TEST(StartTls, SilentHandshakeTimesOut) {
  CScriptedServer server;
  server.Send("220 hi\r\n")
      .Expect(Ehlo())
      .Send("250-mail.example.com\r\n250 STARTTLS\r\n")
      .Expect(kStartTls)
      .Send("220 go ahead\r\n")
      .Stall();
  Outcome sent = SendWith(server, TlsMode::kStartTls, false);
  EXPECT_EQ(sent.result, E_FAIL);
  EXPECT_EQ(sent.text, "TLS handshake timeout");
}

TEST(ImplicitTls, PlainServerFailsTheHandshakeBeforeAnyCommand) {
  CScriptedServer server;
  server.Send("220 plain greeting\r\n").Delay(300);
  Outcome sent = SendWith(server, TlsMode::kImplicit, true);
  EXPECT_EQ(sent.result, E_FAIL);
  EXPECT_EQ(sent.text.substr(0, 21), "TLS handshake failed(") << sent.text;
  std::string received = server.Received();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0], kHandshakeRecord);
  EXPECT_EQ(received.find("EHLO"), std::string::npos);
  EXPECT_EQ(received.find("HELO"), std::string::npos);
}

}  // namespace
