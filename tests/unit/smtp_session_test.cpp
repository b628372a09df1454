// The greeting commands, AUTH PLAIN and the steps of Send that come before
// the envelope, against a scripted server: transcripts byte for byte, the
// texts left, and whether the connection was closed.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/base64_line.h"
#include "tests/support/scripted_server.h"
#include "tests/support/smtp_test_mail.h"
#include "tests/support/test_host_name.h"

namespace {

TEST(SmtpGreetingStep, RefusedHeloClosesTheConnection) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Helo()).Send("501 bad\r\n").Delay(200);
  CTestMail mail;
  EXPECT_EQ(SendTo(server, mail), E_FAIL);
  EXPECT_EQ(mail.GetLastErrorText(), "SMTP Server response code(501)");
  EXPECT_EQ(server.Received(), Helo());
}

TEST(SmtpGreetingStep, RefusedEhloIsNotFollowedByHelo) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Ehlo()).Send("502 no\r\n").Delay(200);
  CTestMail mail;
  mail.SetCredentials("u", "p");
  EXPECT_EQ(SendTo(server, mail), E_FAIL);
  EXPECT_EQ(mail.GetLastErrorText(), "SMTP Server response code(502)");
  EXPECT_EQ(server.Received(), Ehlo());
}

struct TimeoutCase {
  const char *name;
  std::string stallAfter;  // the last line the server reads before it stalls
  bool authenticated;
  const char *text;
};

TEST(SmtpGreetingStep, SilentServerTimesOutAtEachStep) {
  const TimeoutCase cases[] = {
      {"HELO", Helo(), false, "SMTP Server reply timeout(HELO)"},
      {"EHLO", Ehlo(), true, "SMTP Server reply timeout(EHLO)"},
      {"AUTH", "AUTH PLAIN\r\n", true, "SMTP Server reply timeout(AUTH)"},
  };
  for (const TimeoutCase &c : cases) {
    SCOPED_TRACE(c.name);
    CScriptedServer server;
    server.Send("220 hi\r\n");
    if (c.authenticated) {
      server.Expect(Ehlo());
      if (c.stallAfter != Ehlo()) server.Send("250 mx\r\n").Expect(c.stallAfter);
    } else {
      server.Expect(c.stallAfter);
    }
    server.Stall();
    CTestMail mail;
    mail.SetTimeouts(TestTimeoutsWith({&CSmtpTimeouts::replyMs}));
    if (c.authenticated) mail.SetCredentials("u", "p");
    TestClock::time_point start = TestClock::now();
    EXPECT_EQ(SendTo(server, mail), E_FAIL);
    EXPECT_LT(ElapsedMs(start), 2000);
    EXPECT_EQ(mail.GetLastErrorText(), c.text);
  }
}

TEST(SmtpGreetingStep, ServerThatClosesInsteadOfReplyingIsNamed) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Helo()).Close();
  CTestMail mail;
  EXPECT_EQ(SendTo(server, mail), E_FAIL);
  EXPECT_EQ(mail.GetLastErrorText(), "Connection closed by server");
}

// The drain ends with the final line of the EHLO reply, whether it came in
// the first receive or later; a server that never sends it is waited for
// ehloDrainMs at most.
struct DrainCase {
  const char *name;
  std::string first;
  std::string late;  // sent after a pause; empty: nothing more
  bool bounded;      // the drain must run to its limit
};

TEST(SmtpEhloDrain, EndsWithTheFinalLine) {
  const DrainCase cases[] = {
      {"one receive", "250-mx\r\n250 AUTH PLAIN\r\n", "", false},
      {"late lines", "250-mx\r\n", "250-SIZE 1000\r\n250 AUTH PLAIN\r\n", false},
      {"split final line", "250-mx\r\n250 AU", "TH PLAIN\r\n", false},
      {"never final", "250-mx\r\n", "", true},
  };
  for (const DrainCase &c : cases) {
    SCOPED_TRACE(c.name);
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect(Ehlo()).Send(c.first);
    if (!c.late.empty()) server.Delay(100).Send(c.late);
    server.Expect("AUTH PLAIN\r\n").Send("334 \r\n").Expect(CredentialLine("u", "p"))
        .Send("235 ok\r\n").Delay(200);
    CTestConnection connection(TestTimeoutsWith({&CSmtpTimeouts::ehloDrainMs}, 600));
    ASSERT_TRUE(connection.ConnectTo(server));
    TestClock::time_point start = TestClock::now();
    EXPECT_TRUE(connection.session.SendEhlo());
    long drained = ElapsedMs(start);
    if (c.bounded) {
      EXPECT_GE(drained, 550);
      EXPECT_LT(drained, 1500);
    } else {
      EXPECT_LT(drained, 500);
    }
    EXPECT_TRUE(connection.session.AuthPlain("u", "p"));
    connection.Disconnect();
    server.Stop();
    EXPECT_TRUE(server.Problems().empty());
    EXPECT_EQ(server.Received(), Ehlo() + "AUTH PLAIN\r\n" + CredentialLine("u", "p"));
  }
}

struct AuthCase {
  const char *name;
  std::string user, password;
  std::string authReply, credentialReply;  // empty: not reached
  bool ok;
  const char *text;
};

TEST(SmtpAuthPlain, SendsTheCredentialBlockAfter334) {
  const std::string u374(374, 'u'), p374(374, 'p'), p375(375, 'p');
  const AuthCase cases[] = {
      {"one char each", "u", "p", "334 \r\n", "235 ok\r\n", true, ""},
      {"empty password", "u", "", "334 \r\n", "235 ok\r\n", true, ""},
      {"750-byte block", u374, p374, "334 \r\n", "235 ok\r\n", true, ""},
      {"751-byte block", u374, p375, "334 \r\n", "", false, "SMTP Server response code(334)"},
      {"AUTH refused", "u", "p", "504 no\r\n", "", false, "SMTP Server response code(504)"},
      {"credentials refused", "u", "p", "334 \r\n", "535 bad\r\n", false,
       "SMTP Server response code(535)"},
  };
  for (const AuthCase &c : cases) {
    SCOPED_TRACE(c.name);
    std::string line = CredentialLine(c.user, c.password);
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect("AUTH PLAIN\r\n").Send(c.authReply);
    if (!c.credentialReply.empty()) server.Expect(line).Send(c.credentialReply);
    server.Delay(200);
    CTestConnection connection;
    ASSERT_TRUE(connection.ConnectTo(server));
    EXPECT_EQ(connection.session.AuthPlain(c.user, c.password), c.ok);
    EXPECT_EQ(connection.GetLastErrorText(), c.text);
    EXPECT_EQ(connection.IsConnected(), c.ok);
    connection.Disconnect();
    server.Stop();
    EXPECT_TRUE(server.Problems().empty());
    std::string expected = "AUTH PLAIN\r\n" + (c.credentialReply.empty() ? "" : line);
    EXPECT_EQ(server.Received(), expected);
  }
}

TEST(SmtpAuthPlain, BlockSizesGiveTheirLineLengths) {
  EXPECT_EQ(CredentialLine("u", "p").size(), 8u + 2);
  EXPECT_EQ(CredentialLine(std::string(374, 'u'), std::string(374, 'p')).size(), 1000u + 2);
}

TEST(SmtpAuthPlain, ClosedConnectionIsNamed) {
  CTestConnection connection;
  EXPECT_FALSE(connection.session.AuthPlain("u", "p"));
  EXPECT_EQ(connection.GetLastErrorText(), "Socket is not connected");
}

struct SenderCase {
  const char *name;
  std::string from;
  const char *text;
};

TEST(SmtpMailFrom, RefusesSendersThatDoNotFitOrBreakTheCommand) {
  const SenderCase cases[] = {
      {"988 characters", std::string(988, 's'), "Sender address too long"},
      {"CR LF", "a@x>\r\nRSET", "Invalid sender address"},
      {"NUL", std::string("a@x\0b", 5), "Invalid sender address"},
  };
  for (const SenderCase &c : cases) {
    SCOPED_TRACE(c.name);
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n").Delay(200);
    CTestMail mail;
    mail.m_from = c.from;
    EXPECT_EQ(SendTo(server, mail), E_FAIL);
    EXPECT_EQ(mail.GetLastErrorText(), c.text);
    EXPECT_EQ(server.Received(), Helo());  // nothing of MAIL FROM was sent
  }
}

TEST(SmtpMailFrom, RefusedSenderLeavesTheCodeWithoutRset) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
      .Expect("MAIL FROM:<" + std::string(987, 's') + ">\r\n").Send("553 no\r\n").Delay(200);
  CTestMail mail;
  mail.m_from = std::string(987, 's');
  EXPECT_EQ(SendTo(server, mail), E_FAIL);
  EXPECT_EQ(mail.GetLastErrorText(), "SMTP Server response code(553)");
  EXPECT_EQ(server.Received(), Helo() + "MAIL FROM:<" + std::string(987, 's') + ">\r\n");
}

TEST(SmtpConnectStep, UnreachableServerLeavesTheConnectText) {
  CTestMail mail;
  EXPECT_EQ(mail.Send("127.0.0.1", TestUnusedPort(TestFamily::kIpv4)), E_FAIL);
  const std::string text = mail.GetLastErrorText();
  EXPECT_TRUE(text.rfind("Socket event error(", 0) == 0 || text.rfind("Socket error(", 0) == 0)
      << text;
}

}  // namespace
