// Whole sends against a scripted server, byte for byte: the HELO path, the
// EHLO and AUTH path with each mechanism (chosen from the offer or asked
// for), replies however servers cut, spread or end their lines, a refusal or a silence at each step of the transaction, with RSET
// where it is sent, the transaction of a server that pipelines, the BODY
// parameter of an 8-bit body, and the trace of such sends, line by line.
// The envelope comes from the mail's To, CC and BCC texts (set directly
// here).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "mail/trace_sink.h"
#include "tests/support/base64_line.h"
#include "tests/support/scripted_server.h"
#include "tests/support/smtp_test_mail.h"
#include "tests/support/test_host_name.h"
#include "tests/support/test_socket.h"

namespace {

std::string Rcpt(const std::string &address) { return "RCPT TO:<" + address + ">\r\n"; }
const std::string kMessage = CTestMail::kMessage;

// A mail from f@x to A (To, with a display name), B (CC) and C (BCC).
void Address(CTestMail &mail) {
  mail.m_from = "f@x";
  mail.m_to = "\"Ann\" <a@x>";
  mail.m_cc = "\"\" <b@x>";
  mail.m_bcc = "c@x";
}

// The server side of a transaction that accepts everything, its lines
// ended by eol.
CScriptedServer &Accepting(CScriptedServer &server, const std::string &eol = "\r\n") {
  return server.Expect("MAIL FROM:<f@x>\r\n").Send("250 ok" + eol)
      .Expect(Rcpt("a@x")).Send("250 ok" + eol)
      .Expect(Rcpt("b@x")).Send("250 ok" + eol)
      .Expect(Rcpt("c@x")).Send("250 ok" + eol)
      .Expect("DATA\r\n").Send("354 go" + eol)
      .ExpectData().Send("250 queued" + eol);
}

const std::string kTransaction = "MAIL FROM:<f@x>\r\n" + Rcpt("a@x") + Rcpt("b@x") +
                                 Rcpt("c@x") + "DATA\r\n" + kMessage + "\r\n.\r\n";

TEST(DialogueTranscript, HeloPath) {
  CScriptedServer server;
  Accepting(server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n"));
  CTestMail mail;
  Address(mail);
  EXPECT_EQ(SendTo(server, mail), S_OK);
  EXPECT_EQ(mail.GetLastErrorText(), "");
  EXPECT_EQ(server.Received(), Helo() + kTransaction);  // no QUIT
  EXPECT_TRUE(mail.GetSendOutcome().endOfDataSent);
  EXPECT_EQ(mail.GetSendOutcome().serverReply, "250 queued");
}

TEST(DialogueTranscript, EhloAndAuthPlainPathWellUnderASecond) {
  const std::string credentials = "AHUAcA==\r\n";  // NUL "u" NUL "p"
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Ehlo()).Send("250-mx\r\n250 AUTH PLAIN\r\n")
      .Expect("AUTH PLAIN\r\n").Send("334 \r\n").Expect(credentials).Send("235 ok\r\n");
  Accepting(server);
  CTestMail mail;
  Address(mail);
  mail.SetCredentials("u", "p");
  // The real bound: the final line ends the drain first.
  mail.SetTimeouts(TestTimeoutsWith({&CSmtpTimeouts::ehloDrainMs}, CSmtpTimeouts().ehloDrainMs));
  TestClock::time_point start = TestClock::now();
  EXPECT_EQ(SendTo(server, mail), S_OK);
  EXPECT_LT(ElapsedMs(start), 1000);
  EXPECT_EQ(server.Received(), Ehlo() + "AUTH PLAIN\r\n" + credentials + kTransaction);
}

// Replies as servers send them: a greeting of many lines in one write, a
// reply's lines apart in time or ended by LF alone (no wait for the EHLO
// drain), and bytes that answer no command, which fail the step whose
// command was due before it is written.
struct ShapeRow {
  const char *name;
  void (*script)(CScriptedServer &server);
  std::string text, received;  // text empty: the mail is sent
};

TEST(DialogueTranscript, RepliesReadWholeHoweverTheyCome) {
  const std::string sender = Helo() + "MAIL FROM:<f@x>\r\n", auth = Ehlo() + "AUTH PLAIN\r\n" + CredentialLine("u", "p");
  const ShapeRow rows[] = {
      {"greeting of 1,400 bytes", [](CScriptedServer &server) {
         std::string banner;
         while (banner.size() < 1368) banner += "220-" + std::string(70, 'x') + "\r\n";
         Accepting(server.Send(banner + "220 " + std::string(26, 'y') + "\r\n").Expect(Helo()).Send("250 ok\r\n"));
       }, "", Helo() + kTransaction},
      {"MAIL reply in two pieces, first RCPT refused", [](CScriptedServer &server) {
         server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n").Expect("MAIL FROM:<f@x>\r\n").Send("250-sender ok\r\n")
             .Delay(500).Send("250 really ok\r\n").Expect(Rcpt("a@x")).Send("550 no\r\n").Expect("RSET\r\n").Send("250 ok\r\n");
       }, "SMTP Server response code(550)", sender + Rcpt("a@x") + "RSET\r\n"},
      {"LF alone", [](CScriptedServer &server) {
         Accepting(server.Send("220-hi\n220 there\n").Expect(Ehlo()).Send("250-mx\n250 AUTH PLAIN\n").Expect("AUTH PLAIN\r\n")
             .Send("334 \n").Expect(CredentialLine("u", "p")).Send("235 ok\n"), "\n");
       }, "", auth + kTransaction},
      {"bytes after the greeting", [](CScriptedServer &server) { server.Send("220 hi\r\n250 ok\r\n").Delay(200); },
       "SMTP Server reply out of turn(HELO)", ""},
      {"bytes after the 354", [](CScriptedServer &server) {
         server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n").Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n")
             .Expect(Rcpt("a@x")).Send("250 ok\r\n").Expect(Rcpt("b@x")).Send("250 ok\r\n").Expect(Rcpt("c@x"))
             .Send("250 ok\r\n").Expect("DATA\r\n").Send("354 go\r\n250 ok\r\n").Delay(200);
       }, "SMTP Server reply out of turn(DATA)", sender + Rcpt("a@x") + Rcpt("b@x") + Rcpt("c@x") + "DATA\r\n"},
  };
  for (const ShapeRow &row : rows) {
    SCOPED_TRACE(row.name);
    CScriptedServer server;
    row.script(server);
    CTestMail mail;
    Address(mail);
    if (row.received.rfind(Ehlo(), 0) == 0) mail.SetCredentials("u", "p");
    mail.SetTimeouts(TestTimeoutsWith({&CSmtpTimeouts::ehloDrainMs}, CSmtpTimeouts().ehloDrainMs));
    TestClock::time_point start = TestClock::now();
    EXPECT_EQ(SendTo(server, mail), row.text.empty() ? S_OK : E_FAIL);
    EXPECT_LT(ElapsedMs(start), 1500);
    EXPECT_EQ(mail.GetLastErrorText(), row.text);
    EXPECT_EQ(server.Received(), row.received);
    // The refusal is the reply that ended the send, not the RSET's 250.
    if (row.text == "SMTP Server response code(550)") {
      EXPECT_EQ(mail.GetSendOutcome().serverReply, "550 no");
    }
  }
}

// Every reply of the HELO and of the EHLO path cut at each offset in turn:
// the same dialogue, byte for byte.
TEST(DialogueTranscript, EveryReplyCutAtEveryOffset) {
  for (bool authenticated : {false, true}) {
    for (std::size_t cut = 1; cut < sizeof "250-mx\r\n250 AUTH PLAIN\r\n"; ++cut) {
      SCOPED_TRACE((authenticated ? "EHLO, cut at " : "HELO, cut at ") + std::to_string(cut));
      CScriptedServer server;
      server.CutSends(cut).Send("220-mx\r\n220 hi\r\n").Expect(authenticated ? Ehlo() : Helo());
      if (authenticated)
        server.Send("250-mx\r\n250 AUTH PLAIN\r\n").Expect("AUTH PLAIN\r\n").Send("334 \r\n").Expect(CredentialLine("u", "p"));
      CTestMail mail;
      Address(mail);
      if (authenticated) mail.SetCredentials("u", "p");
      EXPECT_EQ(SendTo(Accepting(server.Send(authenticated ? "235 ok\r\n" : "250 ok\r\n")), mail), S_OK);
      EXPECT_EQ(server.Received(), (authenticated ? Ehlo() + "AUTH PLAIN\r\n" + CredentialLine("u", "p") : Helo()) + kTransaction);
    }
  }
}

// One authenticated send: what the server offers, the mechanism asked for,
// and the exchange after EHLO as client line, server reply, ... .
struct AuthRow {
  const char *name;
  std::string offer;
  AuthMechanism asked;
  std::string user, secret;
  std::vector<std::string> exchange;
  std::string text;  // empty: the mail is sent
};

TEST(DialogueTranscript, AuthMechanismFromTheOfferOrAsAsked) {
  const int port = TestUnusedPort(TestFamily::kIpv4);
  const std::string at = "127.0.0.1\x01port=" + std::to_string(port);
  const std::string token(2500, 't'), fits(351, 't'), splits(352, 't'), huge(9300, 't');
  const std::string challenge = "334 eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiQmVhcmVyIn0=\r\n";
  const std::string longChallenge = "334 " + std::string(2000, 'e') + "\r\n";
  const std::string mx = "250-mx\r\n250 AUTH ";
  const AuthRow rows[] = {
      {"LOGIN where PLAIN is not offered", mx + "LOGIN XOAUTH2\r\n", AuthMechanism::kChoose,
       "u", "p",
       {"AUTH LOGIN\r\n", "334 VXNlcm5hbWU6\r\n", Base64Line("u"), "334 UGFzc3dvcmQ6\r\n", Base64Line("p"),
        "235 ok\r\n"}, ""},
      {"the older AUTH= form", "250-mx\r\n250 AUTH=LOGIN\r\n", AuthMechanism::kChoose, "u", "",
       {"AUTH LOGIN\r\n", "334 \r\n", Base64Line("u"), "334 \r\n", "\r\n", "235 ok\r\n"}, ""},
      {"LOGIN password refused", mx + "LOGIN\r\n", AuthMechanism::kChoose, "u", "p",
       {"AUTH LOGIN\r\n", "334 \r\n", Base64Line("u"), "334 \r\n", Base64Line("p"), "535 no\r\n"},
       "SMTP Server response code(535)"},
      {"PLAIN wherever offered", mx + "LOGIN PLAIN XOAUTH2\r\n", AuthMechanism::kChoose, "u", "p",
       {"AUTH PLAIN\r\n", "334 \r\n", CredentialLine("u", "p"), "235 ok\r\n"}, ""},
      {"nothing usable offered", mx + "GSSAPI NTLM\r\n", AuthMechanism::kChoose, "u", "p", {},
       "SMTP Server offers no supported AUTH mechanism(GSSAPI NTLM)"},
      {"LOGIN as asked", mx + "PLAIN\r\n", AuthMechanism::kLogin, "u", "p",
       {"AUTH LOGIN\r\n", "334 \r\n", Base64Line("u"), "334 \r\n", Base64Line("p"), "235 ok\r\n"}, ""},
      {"PLAIN on the AUTH line where the server pipelines", "250-mx\r\n250-PIPELINING\r\n250 AUTH PLAIN\r\n",
       AuthMechanism::kChoose, "u", "p", {"AUTH PLAIN " + Base64Line(std::string("\0u\0p", 4)), "235 ok\r\n"}, ""},
      {"PLAIN past 512 octets waits for the 334", "250-mx\r\n250-PIPELINING\r\n250 AUTH PLAIN\r\n",
       AuthMechanism::kChoose, "u", std::string(400, 'p'),
       {"AUTH PLAIN\r\n", "334 \r\n", Base64Line(std::string("\0u\0", 3) + std::string(400, 'p')), "235 ok\r\n"}, ""},
      {"PLAIN as asked", mx + "GSSAPI\r\n", AuthMechanism::kPlain, "u", "p",
       {"AUTH PLAIN\r\n", "334 \r\n", CredentialLine("u", "p"), "235 ok\r\n"}, ""},
      {"XOAUTH2 on the AUTH line", mx + "LOGIN XOAUTH2\r\n", AuthMechanism::kXOAuth2, "u", fits,
       {"AUTH XOAUTH2 " + Base64Line("user=u\x01" "auth=Bearer " + fits + "\x01\x01"), "235 ok\r\n"}, ""},
      {"XOAUTH2 past 512 octets", mx + "XOAUTH2\r\n", AuthMechanism::kXOAuth2, "u", splits,
       {"AUTH XOAUTH2\r\n", "334 \r\n", Base64Line("user=u\x01" "auth=Bearer " + splits + "\x01\x01"),
        "235 ok\r\n"}, ""},
      {"XOAUTH2 token refused", mx + "XOAUTH2\r\n", AuthMechanism::kXOAuth2, "u", token,
       {"AUTH XOAUTH2\r\n", "334 \r\n", Base64Line("user=u\x01" "auth=Bearer " + token + "\x01\x01"),
        challenge, "\r\n", "535 5.7.3 Authentication unsuccessful\r\n"},
       "SMTP Server response code(535)"},
      {"challenge longer than a receive", mx + "XOAUTH2\r\n", AuthMechanism::kXOAuth2, "u", "t",
       {"AUTH XOAUTH2 " + Base64Line("user=u\x01" "auth=Bearer t\x01\x01"), longChallenge, "\r\n",
        "535 no\r\n"}, "SMTP Server response code(535)"},
      {"OAUTHBEARER", "250 mx\r\n", AuthMechanism::kOAuthBearer, "a,b=c", "t",
       {"AUTH OAUTHBEARER " + Base64Line("n,a=a=2Cb=3Dc,\x01host=" + at + "\x01" "auth=Bearer t\x01\x01"),
        "235 ok\r\n"}, ""},
      {"OAUTHBEARER token refused", mx + "OAUTHBEARER\r\n", AuthMechanism::kOAuthBearer, "u", token,
       {"AUTH OAUTHBEARER\r\n", "334 \r\n",
        Base64Line("n,a=u,\x01host=" + at + "\x01" "auth=Bearer " + token + "\x01\x01"), challenge,
        "AQ==\r\n", "535 no\r\n"}, "SMTP Server response code(535)"},
      {"a second challenge is a refusal", mx + "XOAUTH2\r\n", AuthMechanism::kXOAuth2, "u", "t",
       {"AUTH XOAUTH2 " + Base64Line("user=u\x01" "auth=Bearer t\x01\x01"), challenge, "\r\n",
        challenge}, "SMTP Server response code(334)"},
      {"token too long for a line", mx + "XOAUTH2\r\n", AuthMechanism::kXOAuth2, "u", huge, {},
       "Credentials too long for AUTH XOAUTH2"},
  };
  for (const AuthRow &row : rows) {
    SCOPED_TRACE(row.name);
    CScriptedServer server(TestFamily::kIpv4, port);
    server.Send("220 hi\r\n").Expect(Ehlo()).Send(row.offer);
    std::string sent = Ehlo();
    for (std::size_t i = 0; i < row.exchange.size(); i += 2) {
      server.Expect(row.exchange[i]).Send(row.exchange[i + 1]);
      sent += row.exchange[i];
    }
    if (row.text.empty()) {
      Accepting(server);
      sent += kTransaction;
    } else {
      server.Delay(200);
    }
    CTestMail mail;
    Address(mail);
    mail.SetCredentials(row.user.c_str(), row.secret.c_str());
    mail.SetAuthMechanism(row.asked);
    TestClock::time_point start = TestClock::now();
    EXPECT_EQ(SendTo(server, mail), row.text.empty() ? S_OK : E_FAIL);
    EXPECT_LT(ElapsedMs(start), 1000);
    EXPECT_EQ(mail.GetLastErrorText(), row.text);
    EXPECT_EQ(server.Received(), sent);
    // Only a permanent refusal of the credentials says so.
    EXPECT_EQ(mail.GetSendOutcome().authRefused, row.text == "SMTP Server response code(535)");
    EXPECT_FALSE(mail.GetSendOutcome().endOfDataSent && !row.text.empty());
  }
}

// What the client sends after a pipelined batch and its replies.
enum class After { kMessageSent, kReset, kClose };

// A server that pipelines: AUTH PLAIN takes the credentials on its line,
// and MAIL FROM, the three RCPT TO and DATA arrive before any reply is
// sent; the replies follow in the pieces given, a pause between them, so
// that they reach the client in several receives.
struct PipelineRow {
  const char *name;
  std::vector<std::string> replies;
  After after;
  std::string text;  // empty: the mail is sent
};

TEST(DialogueTranscript, PipelinedBatchAndItsReplies) {
  const std::string batch = "MAIL FROM:<f@x>\r\n" + Rcpt("a@x") + Rcpt("b@x") + Rcpt("c@x") + "DATA\r\n";
  const std::string credentials = "AUTH PLAIN AHUAcA==\r\n";  // NUL "u" NUL "p"
  const PipelineRow rows[] = {
      {"replies in one read", {"250 ok\r\n250 ok\r\n250 ok\r\n250 ok\r\n354 go\r\n"},
       After::kMessageSent, ""},
      {"replies split across reads",
       {"25", "0 ok\r\n250-a\r\n25", "0 b\r\n251 ok\r\n250 ok\r\n3", "54 go\r\n"},
       After::kMessageSent, ""},
      // The others are accepted and DATA too: closing without the end of
      // data delivers nothing to anyone.
      {"first recipient refused",
       {"250 ok\r\n550-5.1.1 no such\r\n550 5.1.1 user\r\n250 ok\r\n", "250 ok\r\n354 go\r\n"},
       After::kClose, "SMTP Server response code(550)"},
      {"every recipient refused", {"250 ok\r\n550 no\r\n551 no\r\n", "552 no\r\n554 no valid recipients\r\n"},
       After::kReset, "SMTP Server response code(550)"},
      {"sender refused", {"553 no\r\n503 no\r\n503 no\r\n503 no\r\n503 no\r\n"}, After::kClose,
       "SMTP Server response code(553)"},
      {"DATA refused", {"250 ok\r\n250 ok\r\n250 ok\r\n250 ok\r\n451 later\r\n"}, After::kReset,
       "SMTP Server response code(451)"},
  };
  for (const PipelineRow &row : rows) {
    SCOPED_TRACE(row.name);
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect(Ehlo()).Send("250-mx\r\n250-PIPELINING\r\n250 AUTH PLAIN\r\n")
        .Expect(credentials).Send("235 ok\r\n")
        .Expect("MAIL FROM:<f@x>\r\n").Expect(Rcpt("a@x")).Expect(Rcpt("b@x")).Expect(Rcpt("c@x"))
        .Expect("DATA\r\n");
    for (std::size_t i = 0; i < row.replies.size(); ++i) {
      if (i > 0) server.Delay(30);
      server.Send(row.replies[i]);
    }
    std::string sent = Ehlo() + credentials + batch;
    if (row.after == After::kMessageSent) {
      server.ExpectData().Send("250 queued\r\n");
      sent += kMessage + "\r\n.\r\n";
    } else if (row.after == After::kReset) {
      server.Expect("RSET\r\n").Send("250 ok\r\n");
      sent += "RSET\r\n";
    }
    CTestMail mail;
    Address(mail);
    mail.SetCredentials("u", "p");
    EXPECT_EQ(SendTo(server, mail), row.text.empty() ? S_OK : E_FAIL);
    EXPECT_EQ(mail.GetLastErrorText(), row.text);
    EXPECT_EQ(server.Received(), sent);
  }
}

// MAIL FROM announces an 8-bit body where the server takes one (RFC 6152),
// and only there.
struct BodyRow {
  const char *name;
  bool authenticated;  // else HELO
  std::string offer, body, from;
  bool announced;
};

TEST(DialogueTranscript, BodyParameterOnlyForAn8BitBodyWhereOffered) {
  const std::string offer = "250-mx\r\n250-8BITMIME\r\n250 AUTH PLAIN\r\n";
  const std::string longest(973, 's'), tooLong(974, 's');  // 987 less the parameter
  const BodyRow rows[] = {
      {"8-bit body, offered", true, offer, "caf\xe9", "f@x", true},
      {"7-bit body", true, offer, "cafe", "f@x", false},
      {"not offered", true, "250-mx\r\n250 AUTH PLAIN\r\n", "caf\xe9", "f@x", false},
      {"HELO", false, "250 ok\r\n", "caf\xe9", "f@x", false},
      {"the longest sender with it", true, offer, "\xe9", longest, true},
      {"a sender too long for it", true, offer, "\xe9", tooLong, false},
  };
  for (const BodyRow &row : rows) {
    SCOPED_TRACE(row.name);
    const std::string mailLine =
        "MAIL FROM:<" + row.from + ">" + (row.announced ? " BODY=8BITMIME" : "") + "\r\n";
    const std::string greeting = row.authenticated ? Ehlo() : Helo();
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect(greeting).Send(row.offer);
    if (row.authenticated)
      server.Expect("AUTH PLAIN\r\n").Send("334 \r\n").ExpectAnyLine().Send("235 ok\r\n");
    server.Expect(mailLine).Send("250 ok\r\n").Expect(Rcpt("a@x")).Send("250 ok\r\n")
        .Expect("DATA\r\n").Send("354 go\r\n").ExpectData().Send("250 ok\r\n");
    CTestMail mail;
    mail.m_from = row.from;
    mail.m_bcc = "a@x";
    mail.SetBodyBytes(row.body);
    if (row.authenticated) mail.SetCredentials("u", "p");
    EXPECT_EQ(SendTo(server, mail), S_OK);
    EXPECT_NE(server.Received().find(mailLine), std::string::npos);
  }
}

struct NumberCase {
  std::string reply;
  bool accepted;
};

TEST(DialogueTranscript, RecipientRepliesAreJudgedByNumber) {
  const NumberCase cases[] = {
      {"250 ok\r\n", true},   {"251 forward\r\n", true}, {" 250 ok\r\n", true},
      {"2500 odd\r\n", false}, {"252 maybe\r\n", false}, {"550 no\r\n", false},
  };
  for (const NumberCase &c : cases) {
    SCOPED_TRACE(c.reply);
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
        .Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n").Expect(Rcpt("a@x")).Send(c.reply);
    if (c.accepted)
      server.Expect("DATA\r\n").Send("354 go\r\n").ExpectData().Send("250 ok\r\n");
    else
      server.Expect("RSET\r\n").Send("250 ok\r\n");
    CTestMail mail;
    mail.m_from = "f@x";
    mail.m_bcc = "a@x";
    EXPECT_EQ(SendTo(server, mail), c.accepted ? S_OK : E_FAIL);
    if (!c.accepted) {
      EXPECT_EQ(mail.GetLastErrorText(), "SMTP Server response code(" + c.reply.substr(0, 3) + ")");
    }
  }
}

TEST(DialogueTranscript, RefusedRecipientStopsTheRestAndResets) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
      .Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n")
      .Expect(Rcpt("a@x")).Send("250 ok\r\n")
      .Expect(Rcpt("b@x")).Send("550 no such user\r\n")
      .Expect("RSET\r\n").Send("250 ok\r\n");
  CTestMail mail;
  Address(mail);
  EXPECT_EQ(SendTo(server, mail), E_FAIL);
  EXPECT_EQ(mail.GetLastErrorText(), "SMTP Server response code(550)");
  EXPECT_EQ(server.Received(),
            Helo() + "MAIL FROM:<f@x>\r\n" + Rcpt("a@x") + Rcpt("b@x") + "RSET\r\n");
}

TEST(DialogueTranscript, RefusedDataResetsAndARefusedResetCloses) {
  for (const char *resetReply : {"250 ok\r\n", "421 bye\r\n"}) {
    SCOPED_TRACE(resetReply);
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
        .Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n")
        .Expect(Rcpt("a@x")).Send("250 ok\r\n")
        .Expect("DATA\r\n").Send("451 later\r\n")
        .Expect("RSET\r\n").Send(resetReply);
    CTestMail mail;
    mail.m_from = "f@x";
    mail.m_bcc = "a@x";
    EXPECT_EQ(SendTo(server, mail), E_FAIL);
    // The refusal is the reason; RSET leaves no text of its own.
    EXPECT_EQ(mail.GetLastErrorText(), "SMTP Server response code(451)");
  }
}

TEST(DialogueTranscript, RefusedEndOfDataIsReported) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
      .Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n")
      .Expect(Rcpt("a@x")).Send("250 ok\r\n")
      .Expect("DATA\r\n").Send("354 go\r\n").ExpectData().Send("554 spam\r\n").Delay(200);
  CTestMail mail;
  mail.m_from = "f@x";
  mail.m_bcc = "a@x";
  EXPECT_EQ(SendTo(server, mail), E_FAIL);
  EXPECT_EQ(mail.GetLastErrorText(), "SMTP Server response code(554)");
}

TEST(DialogueTranscript, SilentDataAndEndOfDataTimeOut) {
  for (bool atEnd : {false, true}) {
    SCOPED_TRACE(atEnd ? "end of data" : "DATA");
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
        .Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n")
        .Expect(Rcpt("a@x")).Send("250 ok\r\n").Expect("DATA\r\n");
    if (atEnd) server.Send("354 go\r\n").ExpectData();
    server.Stall();
    CTestMail mail;
    mail.m_from = "f@x";
    mail.m_bcc = "a@x";
    mail.SetTimeouts(TestTimeoutsWith({&CSmtpTimeouts::dataReplyMs, &CSmtpTimeouts::endOfDataMs}));
    EXPECT_EQ(SendTo(server, mail), E_FAIL);
    EXPECT_EQ(mail.GetLastErrorText(),
              atEnd ? "SMTP Server reply timeout(end of data)" : "SMTP Server reply timeout(DATA)");
  }
}

TEST(DialogueTranscript, WriterReasonIsReportedAndTheMessageIsNotEnded) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
      .Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n")
      .Expect(Rcpt("a@x")).Send("250 ok\r\n").Expect("DATA\r\n").Send("354 go\r\n");
  CTestMail mail;
  mail.m_from = "f@x";
  mail.m_bcc = "a@x";
  mail.FailWriteWith("Cannot open file(x.txt)");
  EXPECT_EQ(SendTo(server, mail), E_FAIL);
  EXPECT_EQ(mail.GetLastErrorText(), "Cannot open file(x.txt)");
  EXPECT_EQ(server.Received(), Helo() + "MAIL FROM:<f@x>\r\n" + Rcpt("a@x") + "DATA\r\n");
}

TEST(DialogueTranscript, EnvelopeElementsUpTo988Characters) {
  for (std::size_t size : {988u, 989u}) {
    SCOPED_TRACE(size);
    std::string address(size, 'r');
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
        .Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n");
    if (size == 988) server.Expect(Rcpt(address)).Send("550 no\r\n");
    server.Expect("RSET\r\n").Send("250 ok\r\n");
    CTestMail mail;
    mail.m_from = "f@x";
    mail.m_bcc = address;
    EXPECT_EQ(SendTo(server, mail), E_FAIL);
    EXPECT_EQ(mail.GetLastErrorText(),
              size == 988 ? "SMTP Server response code(550)" : "Recipient address too long");
  }
}

struct BreakerCase {
  const char *name;
  std::string bcc;
  std::string sent;  // the RCPT TO commands before the refusal
};

// An element holding CR or LF would end its command early and smuggle
// in one of its own: it is refused before its command is built, and the
// transaction is reset.
TEST(DialogueTranscript, ElementThatWouldBreakItsCommandIsRefused) {
  const BreakerCase cases[] = {
      {"first element", "a@x\r\nRSET", ""},
      {"second element", "a@x,b@x\nDATA", Rcpt("a@x")},
  };
  for (const BreakerCase &c : cases) {
    SCOPED_TRACE(c.name);
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
        .Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n");
    if (!c.sent.empty()) server.Expect(c.sent).Send("250 ok\r\n");
    server.Expect("RSET\r\n").Send("250 ok\r\n");
    CTestMail mail;
    mail.m_from = "f@x";
    mail.m_bcc = c.bcc;
    EXPECT_EQ(SendTo(server, mail), E_FAIL);
    EXPECT_EQ(mail.GetLastErrorText(), "Invalid recipient address");
    EXPECT_EQ(server.Received(), Helo() + "MAIL FROM:<f@x>\r\n" + c.sent + "RSET\r\n");
  }
}

// A mail whose writer fails without saying why.
class CSilentlyFailingMail : public CTestMail {
 public:
  int WriteTo(COutputChannel *, const char *, int) override { return 0; }
};

TEST(DialogueTranscript, WriterFailureWithoutAReasonIsNamed) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
      .Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n")
      .Expect(Rcpt("a@x")).Send("250 ok\r\n").Expect("DATA\r\n").Send("354 go\r\n");
  CSilentlyFailingMail mail;
  mail.m_from = "f@x";
  mail.m_bcc = "a@x";
  EXPECT_EQ(SendTo(server, mail), E_FAIL);
  EXPECT_EQ(mail.GetLastErrorText(), "Cannot write message");
  EXPECT_EQ(server.Received(), Helo() + "MAIL FROM:<f@x>\r\n" + Rcpt("a@x") + "DATA\r\n");
}

// A mail that writes its first line, waits until the server has reset the
// connection and the reset has arrived, and then writes the rest.
class CMailCutByAReset : public CTestMail {
 public:
  explicit CMailCutByAReset(CScriptedServer &server) : m_server(server) {}
  int WriteTo(COutputChannel *channel, const char *, int) override {
    if (!channel->WriteBytes(kFirstLine, sizeof kFirstLine - 1)) return 0;
    if (!m_server.AwaitReset()) return 0;
    return channel->WriteBytes(kRest, sizeof kRest - 1) ? 1 : 0;
  }
  static constexpr char kFirstLine[] = "Subject: cut\r\n";
  static constexpr char kRest[] = "\r\nHello.\r\n";

 private:
  CScriptedServer &m_server;
};

TEST(DialogueTranscript, MessageCutOffByAResetIsNotSent) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
      .Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n")
      .Expect(Rcpt("a@x")).Send("250 ok\r\n").Expect("DATA\r\n").Send("354 go\r\n")
      .Expect(CMailCutByAReset::kFirstLine).Reset();
  CMailCutByAReset mail(server);
  mail.m_from = "f@x";
  mail.m_bcc = "a@x";
  EXPECT_EQ(SendTo(server, mail), E_FAIL);
  std::set<std::string> texts;
  for (int code : TestErrorsOfReset())
    texts.insert("Cannot send message(" + std::to_string(code) + ")");
  EXPECT_EQ(texts.count(mail.GetLastErrorText()), 1u) << mail.GetLastErrorText();
}

TEST(DialogueTranscript, ReplyCutOffByAResetIsNotReceived) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect(Helo()).Send("250 ok\r\n")
      .Expect("MAIL FROM:<f@x>\r\n").Reset();
  CTestMail mail;
  mail.m_from = "f@x";
  mail.m_bcc = "a@x";
  EXPECT_EQ(SendTo(server, mail), E_FAIL);
  std::set<std::string> texts;
  for (int code : TestErrorsOfReset())
    texts.insert("Cannot receive reply(" + std::to_string(code) + ")");
  // Wine now and then reports a reset to a waiting receive as an orderly
  // close; either way the connection is lost and nothing was received.
  texts.insert("Connection closed by server");
  EXPECT_EQ(texts.count(mail.GetLastErrorText()), 1u) << mail.GetLastErrorText();
  EXPECT_EQ(server.Received(), Helo() + "MAIL FROM:<f@x>\r\n");
}

class CRecordingSink : public CTraceSink {
 public:
  void Trace(std::string_view event) override { lines.emplace_back(event); }
  std::vector<std::string> lines;
};

// A send with a trace: the server's script (none: nothing listens), the
// credentials, and the lines after the connect. Replies come split across
// receives where the script pauses.
struct TraceRow {
  const char *name;
  void (*script)(CScriptedServer &server);
  const char *user, *secret;
  AuthMechanism asked;
  std::vector<std::string> lines;
};

TEST(DialogueTranscript, TraceShowsTheDialogueWithoutCredentials) {
  const std::string ehlo = "> EHLO " + TestHostName();
  const std::string message = "> <message: " + std::to_string(kMessage.size()) + " bytes>";
  const std::vector<std::string> transaction = {
      "> MAIL FROM:<f@x>", "< 250 ok", "> RCPT TO:<a@x>", "< 250 ok", "> RCPT TO:<b@x>",
      "< 250 ok", "> RCPT TO:<c@x>", "< 250 ok", "> DATA", "< 354 go", message,
      "< 250 queued"};
  auto with = [&transaction](std::vector<std::string> lines) {
    lines.insert(lines.end(), transaction.begin(), transaction.end());
    return lines;
  };
  const TraceRow rows[] = {
      {"LOGIN, the EHLO reply split across receives",
       [](CScriptedServer &server) {
         server.Send("220 mx ready\r\n").Expect(Ehlo())
             .Send("250-mx\r\n250-AU").Delay(100).Send("TH LOGIN\r\n")
             .Expect("AUTH LOGIN\r\n").Send("334 VXNlcm5hbWU6\r\n").Expect(Base64Line("u"))
             .Send("334 UGFzc3dvcmQ6\r\n").Expect(Base64Line("pw")).Send("235 2.7.0 ok\r\n");
         Accepting(server);
       },
       "u", "pw", AuthMechanism::kChoose,
       with({"< 220 mx ready", ehlo, "< 250-mx", "< 250-AUTH LOGIN", "> AUTH LOGIN",
             "< 334 VXNlcm5hbWU6", "> <credentials hidden>", "< 334 UGFzc3dvcmQ6",
             "> <credentials hidden>", "< 235 2.7.0 ok"})},
      {"XOAUTH2 refused: the initial response and the answer to the challenge",
       [](CScriptedServer &server) {
         server.Send("220 mx\r\n").Expect(Ehlo()).Send("250 AUTH XOAUTH2\r\n")
             .Expect("AUTH XOAUTH2 " + Base64Line("user=u\x01" "auth=Bearer t0k\x01\x01"))
             .Send("334 eyJzdGF0dXMiOiI0MDEifQ==\r\n").Expect("\r\n")
             .Send("535 5.7.3 Authentication unsuccessful\r\n").Delay(200);
       },
       "u", "t0k", AuthMechanism::kXOAuth2,
       {"< 220 mx", ehlo, "< 250 AUTH XOAUTH2", "> AUTH XOAUTH2 <credentials hidden>",
        "< 334 eyJzdGF0dXMiOiI0MDEifQ==", "> <credentials hidden>",
        "< 535 5.7.3 Authentication unsuccessful"}},
      {"a reply line without its end is shown as it stands",
       [](CScriptedServer &server) {
         server.Send("220 mx\r\n").Expect(Helo()).Send("250 ok\r\n")
             .Expect("MAIL FROM:<f@x>\r\n").Send("250 ok\r\n").Expect(Rcpt("a@x"))
             .Send("550 5.1.1 unknown").Close();
       },
       "", "", AuthMechanism::kChoose,
       {"< 220 mx", "> HELO " + TestHostName(), "< 250 ok", "> MAIL FROM:<f@x>", "< 250 ok",
        "> RCPT TO:<a@x>", "< 550 5.1.1 unknown"}},
      {"nothing listens", nullptr, "", "", AuthMechanism::kChoose, {}},
  };
  for (const TraceRow &row : rows) {
    SCOPED_TRACE(row.name);
    CScriptedServer server;
    if (row.script != nullptr) row.script(server);
    const int port = row.script != nullptr ? 0 : TestUnusedPort(TestFamily::kIpv4);
    CTestMail mail;
    Address(mail);
    mail.SetCredentials(row.user, row.secret);
    mail.SetAuthMechanism(row.asked);
    CRecordingSink sink;
    mail.SetTrace(&sink);
    HResult result = row.script != nullptr ? SendTo(server, mail) : mail.Send("127.0.0.1", port);
    std::vector<std::string> expected = {
        "connecting to 127.0.0.1 port " + std::to_string(port != 0 ? port : server.Port()),
        result == S_OK || row.script != nullptr ? "connected" : mail.GetLastErrorText()};
    expected.insert(expected.end(), row.lines.begin(), row.lines.end());
    EXPECT_EQ(sink.lines, expected);
    // The secret, its base64 and that of XOAUTH2's "user=" nowhere.
    const std::string secret = row.secret;
    const std::string secrets[] = {secret, Base64Line(secret).substr(0, 4), "dXNlcj1"};
    for (const std::string &line : sink.lines)
      for (const std::string &hidden : secrets)
        EXPECT_TRUE(hidden.empty() || line.find(hidden) == std::string::npos) << line;
  }
}

}  // namespace
