// The server failing at every step of the dialogue, one row per step and
// fault: it closes the connection, stalls past the step's limit, answers
// 421, or answers a 5xx. Every row runs a whole call through the request
// driver against a scripted server and checks the text the caller gets,
// that the client closed its end (the server sees it), that the call ends
// within the step's bound, the bytes the server received, and that a
// message that failed was never ended with the final dot.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mail/smtp_mail.h"
#include "proc/com_guard.h"
#include "proc/request_driver.h"
#include "tests/support/base64_line.h"
#include "tests/support/scripted_server.h"
#include "tests/support/smtp_test_limits.h"
#include "tests/support/standin_call.h"
#include "tests/support/temp_files.h"
#include "tests/support/test_host_name.h"

namespace {

enum class Step {
  kGreeting, kHelo, kEhlo, kAuth, kCredentials, kTokenRefused, kMail, kFirstRcpt, kLaterRcpt,
  kData, kMessage, kEndOfData, kPipelined, kReset,
};

enum class Fault { kClose, kStall, k421, k5xx };

const char *StepName(Step s) {
  switch (s) {
    case Step::kGreeting: return "greeting";
    case Step::kHelo: return "HELO";
    case Step::kEhlo: return "EHLO";
    case Step::kAuth: return "AUTH";
    case Step::kCredentials: return "credentials";
    case Step::kTokenRefused: return "after the error challenge";
    case Step::kMail: return "MAIL";
    case Step::kFirstRcpt: return "first RCPT";
    case Step::kLaterRcpt: return "later RCPT";
    case Step::kData: return "DATA";
    case Step::kMessage: return "message";
    case Step::kEndOfData: return "end of data";
    case Step::kPipelined: return "pipelined MAIL to DATA";
    case Step::kReset: return "RSET";
  }
  return "?";
}

const char *FaultName(Fault f) {
  switch (f) {
    case Fault::kClose: return "close";
    case Fault::kStall: return "stall";
    case Fault::k421: return "421";
    case Fault::k5xx: return "5xx";
  }
  return "?";
}

// One row: the step, the fault, and the text the caller must get. A text
// ending in "(" is followed by a platform error number (kLostConnection).
struct FaultRow {
  Step step;
  Fault fault;
  const char *text;
};

constexpr char kClosed[] = "Connection closed by server";
constexpr char kLostConnection[] = "Cannot send message(";

// The platform's numbers for a write to a connection the peer reset or
// closed: EPIPE, ECONNRESET; ERROR_NETNAME_DELETED (an overlapped send),
// WSAECONNABORTED, WSAECONNRESET.
const int kLostConnectionErrors[] = {32, 104, 64, 10053, 10054};

const FaultRow kRows[] = {
    {Step::kGreeting, Fault::kClose, kClosed},
    {Step::kGreeting, Fault::kStall, "SMTP Server reply timeout(greeting)"},
    {Step::kGreeting, Fault::k421, "SMTP Server response code(421)"},
    {Step::kGreeting, Fault::k5xx, "SMTP Server response code(554)"},
    {Step::kHelo, Fault::kClose, kClosed},
    {Step::kHelo, Fault::kStall, "SMTP Server reply timeout(HELO)"},
    {Step::kHelo, Fault::k421, "SMTP Server response code(421)"},
    {Step::kHelo, Fault::k5xx, "SMTP Server response code(501)"},
    {Step::kEhlo, Fault::kClose, kClosed},
    {Step::kEhlo, Fault::kStall, "SMTP Server reply timeout(EHLO)"},
    {Step::kEhlo, Fault::k421, "SMTP Server response code(421)"},
    {Step::kEhlo, Fault::k5xx, "SMTP Server response code(502)"},
    {Step::kAuth, Fault::kClose, kClosed},
    {Step::kAuth, Fault::kStall, "SMTP Server reply timeout(AUTH)"},
    {Step::kAuth, Fault::k421, "SMTP Server response code(421)"},
    {Step::kAuth, Fault::k5xx, "SMTP Server response code(504)"},
    {Step::kCredentials, Fault::kClose, kClosed},
    {Step::kCredentials, Fault::kStall, "SMTP Server reply timeout(AUTH)"},
    {Step::kCredentials, Fault::k421, "SMTP Server response code(421)"},
    {Step::kCredentials, Fault::k5xx, "SMTP Server response code(535)"},
    // The final reply after the answer to a bearer token's error challenge.
    {Step::kTokenRefused, Fault::kClose, kClosed},
    {Step::kTokenRefused, Fault::kStall, "SMTP Server reply timeout(AUTH)"},
    {Step::kTokenRefused, Fault::k421, "SMTP Server response code(421)"},
    {Step::kTokenRefused, Fault::k5xx, "SMTP Server response code(535)"},
    {Step::kMail, Fault::kClose, kClosed},
    {Step::kMail, Fault::kStall, "SMTP Server reply timeout(MAIL)"},
    {Step::kMail, Fault::k421, "SMTP Server response code(421)"},
    {Step::kMail, Fault::k5xx, "SMTP Server response code(553)"},
    {Step::kFirstRcpt, Fault::kClose, kClosed},
    {Step::kFirstRcpt, Fault::kStall, "SMTP Server reply timeout(RCPT)"},
    {Step::kFirstRcpt, Fault::k421, "SMTP Server response code(421)"},
    {Step::kFirstRcpt, Fault::k5xx, "SMTP Server response code(550)"},
    {Step::kLaterRcpt, Fault::kClose, kClosed},
    {Step::kLaterRcpt, Fault::kStall, "SMTP Server reply timeout(RCPT)"},
    {Step::kLaterRcpt, Fault::k421, "SMTP Server response code(421)"},
    {Step::kLaterRcpt, Fault::k5xx, "SMTP Server response code(551)"},
    {Step::kData, Fault::kClose, kClosed},
    {Step::kData, Fault::kStall, "SMTP Server reply timeout(DATA)"},
    {Step::kData, Fault::k421, "SMTP Server response code(421)"},
    {Step::kData, Fault::k5xx, "SMTP Server response code(554)"},
    // During the message the client only writes: a server that closes (after
    // a 421 or not) shows as a failed write, one that stops reading (after
    // a 552 or not) as a write that runs out of time.
    {Step::kMessage, Fault::kClose, kLostConnection},
    {Step::kMessage, Fault::kStall, "Socket write timeout"},
    {Step::kMessage, Fault::k421, kLostConnection},
    {Step::kMessage, Fault::k5xx, "Socket write timeout"},
    {Step::kEndOfData, Fault::kClose, kClosed},
    {Step::kEndOfData, Fault::kStall, "SMTP Server reply timeout(end of data)"},
    {Step::kEndOfData, Fault::k421, "SMTP Server response code(421)"},
    {Step::kEndOfData, Fault::k5xx, "SMTP Server response code(554)"},
    // The replies to MAIL FROM, the RCPT TOs and DATA written at once. A
    // refused recipient among accepted ones (DATA gets 354) ends the
    // connection without the end of data.
    {Step::kPipelined, Fault::kClose, kClosed},
    {Step::kPipelined, Fault::kStall, "SMTP Server reply timeout(MAIL)"},
    {Step::kPipelined, Fault::k421, "SMTP Server response code(421)"},
    {Step::kPipelined, Fault::k5xx, "SMTP Server response code(550)"},
    // RSET follows a refused recipient; the refusal stays the reason
    // whatever RSET meets.
    {Step::kReset, Fault::kClose, "SMTP Server response code(550)"},
    {Step::kReset, Fault::kStall, "SMTP Server response code(550)"},
    {Step::kReset, Fault::k421, "SMTP Server response code(550)"},
    {Step::kReset, Fault::k5xx, "SMTP Server response code(550)"},
};

// The 5xx code a step answers with in the matrix.
const char *RefusalOf(Step s) {
  switch (s) {
    case Step::kGreeting: return "554 no service\r\n";
    case Step::kHelo: return "501 bad\r\n";
    case Step::kEhlo: return "502 no\r\n";
    case Step::kAuth: return "504 no\r\n";
    case Step::kCredentials: return "535 bad\r\n";
    case Step::kTokenRefused: return "535 5.7.3 Authentication unsuccessful\r\n";
    case Step::kMail: return "553 no\r\n";
    case Step::kFirstRcpt: return "550 no\r\n";
    case Step::kLaterRcpt: return "551 no\r\n";
    case Step::kData: return "554 no\r\n";
    case Step::kMessage: return "552 too big\r\n";
    case Step::kEndOfData: return "554 spam\r\n";
    case Step::kPipelined: return "250 ok\r\n550 no\r\n250 ok\r\n354 go\r\n";
    case Step::kReset: return "500 no\r\n";
  }
  return "500 ?\r\n";
}

bool Authenticates(Step s) {
  return s == Step::kEhlo || s == Step::kAuth || s == Step::kCredentials ||
         s == Step::kTokenRefused || s == Step::kPipelined;
}

// The message step needs a message far larger than the socket buffers of
// both ends, so that the client is still writing when the server fails.
constexpr std::size_t kLargeAttachment = 48u * 1024 * 1024;
// The server's receive buffer in the message rows: small, so that a server
// that stops reading stops the client soon.
constexpr int kSmallReceiveBuffer = 4096;
// What a server reads of the message before it fails.
constexpr std::size_t kReadBeforeFault = 256 * 1024;
// Beyond the step's own limit: the slack of a loaded machine (and Wine).
constexpr long kBoundSlackMs = 2500;

// The script of one row, and the bytes the server is to receive in all
// (prefix only for the message rows, whose tail depends on the sockets).
struct Script {
  CScriptedServer &server;
  std::string expected;

  void Expect(const std::string &line) {
    server.Expect(line);
    expected += line;
  }
  // The fault in place of the reply that the step waits for.
  void Fail(Step step, Fault fault) {
    switch (fault) {
      case Fault::kClose:
        server.Close();
        break;
      case Fault::kStall:
        server.Stall();
        break;
      case Fault::k421:
        server.Send("421 closing\r\n").Close();
        break;
      case Fault::k5xx:
        server.Send(RefusalOf(step));
        // A refused recipient or DATA is followed by RSET.
        if (step == Step::kFirstRcpt || step == Step::kLaterRcpt || step == Step::kData) {
          Expect("RSET\r\n");
          server.Send("250 ok\r\n");
        }
        break;
    }
  }
};

// Plays the dialogue up to the row's step, then its fault.
void Build(Script &s, Step step, Fault fault) {
  CScriptedServer &server = s.server;
  if (step == Step::kGreeting) return s.Fail(step, fault);
  server.Send("220 hi\r\n");
  if (Authenticates(step)) {
    s.Expect(Ehlo());
    if (step == Step::kEhlo) return s.Fail(step, fault);
    if (step == Step::kTokenRefused) {
      server.Send("250-mx\r\n250 AUTH XOAUTH2\r\n");
      s.Expect("AUTH XOAUTH2 " + Base64Line("user=u\x01" "auth=Bearer p\x01\x01"));
      server.Send("334 eyJzdGF0dXMiOiI0MDEifQ==\r\n");
      s.Expect("\r\n");
      return s.Fail(step, fault);
    }
    if (step == Step::kPipelined) {
      server.Send("250-mx\r\n250-PIPELINING\r\n250 AUTH PLAIN\r\n");
      s.Expect("AUTH PLAIN " + Base64Line(std::string("\0u\0p", 4)));
      server.Send("235 ok\r\n");
      for (const char *line : {"MAIL FROM:<f@x>\r\n", "RCPT TO:<a@x>\r\n", "RCPT TO:<b@x>\r\n", "DATA\r\n"})
        s.Expect(line);
      return s.Fail(step, fault);
    }
    server.Send("250-mx\r\n250 AUTH PLAIN\r\n");
    s.Expect("AUTH PLAIN\r\n");
    if (step == Step::kAuth) return s.Fail(step, fault);
    server.Send("334 \r\n");
    s.Expect(CredentialLine("u", "p"));
    return s.Fail(step, fault);
  }
  s.Expect(Helo());
  if (step == Step::kHelo) return s.Fail(step, fault);
  server.Send("250 ok\r\n");
  s.Expect("MAIL FROM:<f@x>\r\n");
  if (step == Step::kMail) return s.Fail(step, fault);
  server.Send("250 ok\r\n");
  s.Expect("RCPT TO:<a@x>\r\n");
  if (step == Step::kFirstRcpt) return s.Fail(step, fault);
  if (step == Step::kReset) {
    server.Send("550 no\r\n");
    s.Expect("RSET\r\n");
    switch (fault) {
      case Fault::kClose: server.Close(); break;
      case Fault::kStall: server.Stall(); break;
      case Fault::k421: server.Send("421 closing\r\n").Close(); break;
      case Fault::k5xx: server.Send(RefusalOf(step)); break;
    }
    return;
  }
  server.Send("250 ok\r\n");
  s.Expect("RCPT TO:<b@x>\r\n");
  if (step == Step::kLaterRcpt) return s.Fail(step, fault);
  server.Send("250 ok\r\n");
  s.Expect("DATA\r\n");
  if (step == Step::kData) return s.Fail(step, fault);
  server.Send("354 go\r\n");
  if (step == Step::kMessage) {
    server.ReadSlowly(kReadBeforeFault, 64 * 1024, 1);
    switch (fault) {
      case Fault::kClose: server.Close(); break;
      case Fault::kStall: server.Stall(); break;
      case Fault::k421: server.Send("421 closing\r\n").Close(); break;
      case Fault::k5xx: server.Send(RefusalOf(step)).Stall(); break;
    }
    return;
  }
  server.ExpectData();
  s.Fail(step, fault);
}

// The limit that the stalled step runs into, shortened for the row.
CSmtpTimeouts TimeoutsFor(Step step, Fault fault) {
  // A server that stops reading the message, whether it stalls or refused
  // it first, leaves the write to run into its limit.
  if (step == Step::kMessage) return TestTimeoutsWith({&CSmtpTimeouts::writeMs});
  if (fault != Fault::kStall) return TestTimeouts();
  switch (step) {
    case Step::kData: return TestTimeoutsWith({&CSmtpTimeouts::dataReplyMs});
    case Step::kEndOfData: return TestTimeoutsWith({&CSmtpTimeouts::endOfDataMs});
    default: return TestTimeoutsWith({&CSmtpTimeouts::replyMs});
  }
}

bool EndsDataAfterDataCommand(const std::string &received) {
  std::size_t data = received.find("DATA\r\n");
  return data != std::string::npos && received.find("\r\n.\r\n", data) != std::string::npos;
}

void ExpectRowText(const std::string &actual, const char *expected) {
  if (std::string(expected) != kLostConnection) {
    EXPECT_EQ(actual, expected);
    return;
  }
  bool known = false;
  for (int error : kLostConnectionErrors)
    known = known || actual == kLostConnection + std::to_string(error) + ")";
  EXPECT_TRUE(known) << actual;
}

class FaultMatrix : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new CTempDir();
    s_large = s_dir->Write("large.bin", RandomBytes(kLargeAttachment, 7));
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }

  void RunRow(const FaultRow &row) {
    SCOPED_TRACE(std::string(StepName(row.step)) + " / " + FaultName(row.fault));
    CScriptedServer server;
    server.WatchForClose();
    if (row.step == Step::kMessage) server.ReceiveBuffer(kSmallReceiveBuffer);
    Script script{server, {}};
    Build(script, row.step, row.fault);
    ASSERT_TRUE(server.Start());

    CStandinCall call;
    call.Varchar("@server", server.Host())
        .Varchar("@port", std::to_string(server.Port()))
        .Varchar("@recipients", "a@x;b@x")
        .Varchar("@from", "f@x")
        .Varchar("@subject", "fault")
        .Varchar("@message", "Hello.");
    if (Authenticates(row.step)) call.Varchar("@user", "u").Varchar("@pwd", "p");
    if (row.step == Step::kTokenRefused) call.Varchar("@auth", "xoauth2");
    if (row.step == Step::kMessage) call.Varchar("@attachments", s_large);
    CComGuard com;
    CSmtpMail mail;
    const CSmtpTimeouts limits = TimeoutsFor(row.step, row.fault);
    mail.SetTimeouts(limits);

    TestClock::time_point start = TestClock::now();
    EXPECT_FALSE(RunRequestWith(call.Proc(), mail));
    long ms = ElapsedMs(start);
    server.Stop();

    ExpectRowText(call.MessageText(), row.text);
    // A stalled step waits its limit, and not much longer; every other
    // fault ends the call at once.
    if (row.fault == Fault::kStall) {
      EXPECT_GE(ms, kTestShortLimitMs - 20);
      EXPECT_LT(ms, kTestShortLimitMs + kBoundSlackMs);
    } else {
      EXPECT_LT(ms, kBoundSlackMs);
    }
    // The client closed its end; a server that closed first cannot tell.
    const bool serverClosed = row.fault == Fault::kClose || row.fault == Fault::k421;
    if (!serverClosed) {
      EXPECT_TRUE(server.ClientClosed());
    }
    for (const std::string &p : server.Problems()) ADD_FAILURE() << p;

    const std::string received = server.Received();
    if (row.step == Step::kMessage) {
      EXPECT_EQ(received.rfind(script.expected, 0), 0u);
      EXPECT_GT(received.size(), script.expected.size());
    } else if (row.step != Step::kEndOfData) {
      EXPECT_EQ(received, script.expected);
    }
    // The message of a failed transaction was never ended, except where
    // the failure came after its end.
    if (row.step != Step::kEndOfData) {
      EXPECT_FALSE(EndsDataAfterDataCommand(received));
    }
  }

  static CTempDir *s_dir;
  static std::string s_large;
};

CTempDir *FaultMatrix::s_dir = nullptr;
std::string FaultMatrix::s_large;

TEST_F(FaultMatrix, EveryStepAndFault) {
  for (const FaultRow &row : kRows) RunRow(row);
}

TEST_F(FaultMatrix, CoversEveryStepWithEveryFault) {
  constexpr int kSteps = static_cast<int>(Step::kReset) + 1;
  constexpr int kFaults = 4;
  int seen[kSteps][kFaults] = {};
  for (const FaultRow &row : kRows) ++seen[static_cast<int>(row.step)][static_cast<int>(row.fault)];
  for (int s = 0; s < kSteps; ++s)
    for (int f = 0; f < kFaults; ++f) EXPECT_EQ(seen[s][f], 1) << s << "/" << f;
}

}  // namespace
