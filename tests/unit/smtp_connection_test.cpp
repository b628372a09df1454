// The connection: connect over the resolved addresses, the greeting, the
// bounded reads and writes, and one command with its reply, against a
// scripted server on loopback.
#include "smtp/smtp_connection.h"

#include <gtest/gtest.h>

#include <new>
#include <set>
#include <string>
#include <string_view>

#include "charset/threads.h"
#include "smtp/address_list.h"
#include "smtp/reply.h"
#include "tests/support/scripted_server.h"
#include "tests/support/smtp_test_limits.h"
#include "tests/support/smtp_test_mail.h"

namespace {

CAddressList Resolved(const char *host, int port) {
  CAddressList list;
  EXPECT_EQ(list.Resolve(host, port, 0, AddressFamilyUnspecified(), SocketTypeStream(), 0), 0);
  return list;
}

// The texts a refused connect can leave: the refusal reported by the
// connect itself or by its completion, on POSIX (ECONNREFUSED) or WinSock
// (WSAECONNREFUSED).
const std::set<std::string> kRefusedTexts = {"Socket event error(111)", "Socket error(111)",
                                             "Socket event error(10061)", "Socket error(10061)"};

// The text is prefix "(" code ")" with one of codes.
bool IsTextWithCode(const std::string &text, const std::string &prefix,
                    const std::set<int> &codes) {
  for (int code : codes)
    if (text == prefix + "(" + std::to_string(code) + ")") return true;
  return false;
}

struct GreetingCase {
  const char *name;
  std::string greeting;  // empty: the server closes instead
  bool connects;
  const char *text;
};

TEST(SmtpConnect, JudgesTheGreeting) {
  const GreetingCase cases[] = {
      {"220", "220 mx ready\r\n", true, ""},
      {"554", "554 go away\r\n", false, "SMTP Server response code(554)"},
      {"2200", "2200 odd\r\n", false, "SMTP Server response code(220)"},
      {"short", "22\r\n", false, "SMTP Server response code(22)"},
      {"closed", "", false, "Connection closed by server"},
  };
  for (const GreetingCase &c : cases) {
    SCOPED_TRACE(c.name);
    CScriptedServer server;
    if (c.greeting.empty())
      server.Close();
    else
      server.Send(c.greeting).Delay(300);
    CTestConnection connection;
    EXPECT_EQ(connection.ConnectTo(server), c.connects);
    EXPECT_EQ(connection.GetLastErrorText(), c.text);
    EXPECT_EQ(connection.IsConnected(), c.connects);
    connection.Disconnect();
    server.Stop();
    EXPECT_EQ(server.Received(), "");  // no QUIT, nothing at all
  }
}

TEST(SmtpConnect, GreetingThatNeverComesTimesOut) {
  CScriptedServer server;
  server.Stall();
  CTestConnection connection(TestTimeoutsWith({&CSmtpTimeouts::replyMs}));
  TestClock::time_point start = TestClock::now();
  EXPECT_FALSE(connection.ConnectTo(server));
  EXPECT_LT(ElapsedMs(start), 1500);
  EXPECT_EQ(connection.GetLastErrorText(), "SMTP Server reply timeout(greeting)");
  EXPECT_FALSE(connection.IsConnected());
}

TEST(SmtpConnect, OpenConnectionStaysOpenAndUnchanged) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect("NOOP\r\n").Send("250 ok\r\n");
  CTestConnection connection;
  ASSERT_TRUE(connection.ConnectTo(server));
  EXPECT_FALSE(connection.Connect(server.Host(), server.Port(), 2000));
  EXPECT_EQ(connection.GetLastErrorText(), "Socket is already connected.");
  ASSERT_TRUE(connection.IsConnected());
  // Still the same dialogue on the same socket.
  char reply[kReplyCapacity];
  EXPECT_TRUE(connection.SendCommand("NOOP\r\n", 6, reply, "250", 2000).Ok());
  connection.Disconnect();
  server.Stop();
  EXPECT_TRUE(server.Problems().empty());
}

TEST(SmtpConnect, UnknownServerIsNotFound) {
  CTestConnection connection;
  EXPECT_FALSE(connection.Connect("no-such-host.invalid", 25, 2000));
  EXPECT_EQ(connection.GetLastErrorText().rfind("Cannot find server(", 0), 0u)
      << connection.GetLastErrorText();
}

TEST(SmtpConnect, RefusedAddressFails) {
  int port = TestUnusedPort(TestFamily::kIpv4);
  ASSERT_NE(port, 0);
  CTestConnection connection;
  EXPECT_FALSE(connection.Connect("127.0.0.1", port, 2000));
  EXPECT_EQ(kRefusedTexts.count(connection.GetLastErrorText()), 1u)
      << connection.GetLastErrorText();
  EXPECT_FALSE(connection.IsConnected());
}

TEST(SmtpConnect, SilentAddressesTakeTheirLimitEach) {
  // Silent: a listener with a full backlog drops the SYN (see
  // CSilentListener).
  CSilentListener silent;
  if (!silent.Available()) GTEST_SKIP() << "this platform refuses instead of dropping connects";
  CAddressList twice = Resolved("127.0.0.1", silent.Port());
  twice.Add(Resolved("127.0.0.1", silent.Port()));
  CTestConnection connection;
  TestClock::time_point start = TestClock::now();
  EXPECT_FALSE(connection.ConnectTo(twice, kTestShortLimitMs));
  long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 2 * kTestShortLimitMs - 50);
  EXPECT_LT(elapsed, 2 * kTestShortLimitMs + 1000);
  EXPECT_EQ(connection.GetLastErrorText().rfind("Connection timeout(", 0), 0u)
      << connection.GetLastErrorText();
}

// The addresses of one name are tried in order: a first address that fails
// is followed by the next, and its text stays after the next connects.
TEST(SmtpConnect, FailedFirstAddressIsFollowedByTheNext) {
  if (!TestHasLoopback(TestFamily::kIpv6)) GTEST_SKIP() << "no ::1 on this machine";
  for (bool silentFirst : {false, true}) {
    SCOPED_TRACE(silentFirst ? "silent ::1" : "refused ::1");
    CSilentListener silent(TestFamily::kIpv6);
    if (silentFirst && !silent.Available()) continue;
    int firstPort = silentFirst ? silent.Port() : TestUnusedPort(TestFamily::kIpv6);
    CScriptedServer server(TestFamily::kIpv4);
    server.Send("220 v4\r\n").Delay(200);
    ASSERT_TRUE(server.Start());
    CAddressList list = Resolved("::1", firstPort);
    list.Add(Resolved("127.0.0.1", server.Port()));
    CTestConnection connection;
    EXPECT_TRUE(connection.ConnectTo(list, kTestShortLimitMs));
    if (silentFirst)
      EXPECT_EQ(connection.GetLastErrorText().rfind("Connection timeout(", 0), 0u);
    else
      EXPECT_EQ(kRefusedTexts.count(connection.GetLastErrorText()), 1u)
          << connection.GetLastErrorText();
  }
}

TEST(SmtpConnect, HostNameWithTwoAddressesConnectsToTheOneListening) {
  CAddressList both = Resolved("localhost", 25);
  bool twoFamilies = both.Count() >= 2 && both.At(0).family != both.At(1).family;
  if (!twoFamilies || !TestHasLoopback(TestFamily::kIpv6))
    GTEST_SKIP() << "localhost does not resolve to both ::1 and 127.0.0.1 here";
  // The server listens on the family of the second address only.
  int v6 = Resolved("::1", 25).At(0).family;
  TestFamily second = both.At(1).family == v6 ? TestFamily::kIpv6 : TestFamily::kIpv4;
  CScriptedServer server(second);
  server.Send("220 hi\r\n").Delay(200);
  ASSERT_TRUE(server.Start());
  CTestConnection connection;
  EXPECT_TRUE(connection.Connect("localhost", server.Port(), kTestShortLimitMs));
  EXPECT_NE(connection.GetLastErrorText(), "");
}

// A family that no platform knows, so that no socket can be made for it.
constexpr int kUnknownFamily = 12345;

TEST(SmtpConnect, SocketThatCannotBeMadeEndsTheConnect) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Delay(200);
  ASSERT_TRUE(server.Start());
  CAddressEntry unknown;
  unknown.family = kUnknownFamily;
  unknown.socketType = SocketTypeStream();
  unknown.length = 16;
  CAddressList list;
  list.Add(unknown);
  list.Add(Resolved(server.Host(), server.Port()));
  CTestConnection connection;
  EXPECT_FALSE(connection.ConnectTo(list, kTestShortLimitMs));
  EXPECT_EQ(connection.GetLastErrorText(),
            "Cannot create socket(" + std::to_string(TestErrorUnknownFamily()) + ")");
  EXPECT_FALSE(connection.IsConnected());
  server.Stop();
  // The address after it was not tried.
  EXPECT_EQ(server.Problems(), std::vector<std::string>{"no client connected"});
}

// An address too short for its family is refused by the connect call
// itself, before anything is sent; the next address is tried.
TEST(SmtpConnect, AddressRefusedAtOnceIsFollowedByTheNext) {
  for (bool followed : {false, true}) {
    SCOPED_TRACE(followed ? "then the server" : "alone");
    CScriptedServer server;
    server.Send("220 hi\r\n").Delay(200);
    ASSERT_TRUE(server.Start());
    CAddressList good = Resolved(server.Host(), server.Port());
    CAddressEntry truncated = good.At(0);
    truncated.length = 3;
    CAddressList list;
    list.Add(truncated);
    if (followed) list.Add(good);
    CTestConnection connection;
    EXPECT_EQ(connection.ConnectTo(list, kTestShortLimitMs), followed);
    EXPECT_TRUE(IsTextWithCode(connection.GetLastErrorText(), "Socket error",
                               TestErrorsOfShortAddress()))
        << connection.GetLastErrorText();
    EXPECT_EQ(connection.IsConnected(), followed);
  }
}

TEST(SmtpConnect, PortBecomesTheServiceText) {
  CAddressList list = Resolved("127.0.0.1", 587);
  ASSERT_GE(list.Count(), 1u);
  // sockaddr_in and sockaddr_in6 both hold the port at bytes 2 and 3, in
  // network order.
  EXPECT_EQ(list.At(0).address[2] * 256 + list.At(0).address[3], 587);
}

struct CommandCase {
  std::string reply;
  CommandOutcome outcome;
};

TEST(SmtpCommand, JudgesTheReplyByItsLastLine) {
  const CommandCase cases[] = {
      {"250 ok\r\n", CommandOutcome::kMatched},
      {"2500 odd\r\n", CommandOutcome::kRefused},
      {" 250 ok\r\n", CommandOutcome::kRefused},
      {"250-a\r\n250 b\r\n", CommandOutcome::kMatched},
      {"250-a\r\n550 b\r\n", CommandOutcome::kRefused},
      {"250 ok\n", CommandOutcome::kMatched},
      {"550 no\r\n", CommandOutcome::kRefused},
      {"", CommandOutcome::kClosed},
  };
  for (const CommandCase &c : cases) {
    SCOPED_TRACE(c.reply);
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect("NOOP\r\n");
    if (c.reply.empty())
      server.Close();
    else
      server.Send(c.reply).Delay(300);
    CTestConnection connection;
    ASSERT_TRUE(connection.ConnectTo(server));
    char reply[kReplyCapacity];
    CCommandResult result = connection.SendCommand("NOOP\r\n", 6, reply, "250", 2000);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.replyLength, c.reply.size());
    connection.Disconnect();
    server.Stop();
    EXPECT_EQ(server.Received(), "NOOP\r\n");
  }
}

TEST(SmtpCommand, ReplyThatNeverComesTimesOut) {
  CScriptedServer server;
  server.Send("220 hi\r\n").Expect("NOOP\r\n").Stall();
  CTestConnection connection;
  ASSERT_TRUE(connection.ConnectTo(server));
  char reply[kReplyCapacity];
  TestClock::time_point start = TestClock::now();
  CCommandResult result = connection.SendCommand("NOOP\r\n", 6, reply, "250", kTestShortLimitMs);
  EXPECT_EQ(result.outcome, CommandOutcome::kReplyTimedOut);
  EXPECT_LT(ElapsedMs(start), 1500);
}

// A late second line of the greeting still belongs to it (postscreen, the
// front of a Postfix MX, greets so); bytes that come unasked after it fail
// HELO before it is written.
TEST(SmtpCommand, LateGreetingLineEndsTheGreetingAndLaterBytesAreOutOfTurn) {
  CScriptedServer server;
  server.Send("220-first\r\n").Delay(300).Send("220 second\r\n").Delay(50).Send("250 ok\r\n").Delay(300);
  CTestConnection connection;
  ASSERT_TRUE(connection.ConnectTo(server));
  SleepMilliseconds(200);
  EXPECT_FALSE(connection.session.SendHelo());
  EXPECT_EQ(connection.GetLastErrorText(), "SMTP Server reply out of turn(HELO)");
  EXPECT_FALSE(connection.IsConnected());
  server.Stop();
  EXPECT_EQ(server.Received(), "");
}

// A trace that fails (no memory for its line) leaves the connection by an
// exception; its destructor then traces nothing (a throw out of a
// destructor would end the process).
TEST(SmtpTrace, ConnectionLeftByAnExceptionTracesNothingMore) {
  struct CFailingSink : CTraceSink {
    int replies = 0;
    void Trace(std::string_view event) override {
      if (event.substr(0, 2) == "< " && ++replies > 1) throw std::bad_alloc();
    }
  } sink;
  CScriptedServer server;
  server.Send("220 mx\r\n").Delay(300).Send("250-half a line").Stall();
  {
    CTestConnection connection;
    connection.SetTrace(&sink);
    ASSERT_TRUE(connection.ConnectTo(server));
    char buffer[kReplyCapacity];
    EXPECT_EQ(connection.ReadReply(buffer, {500}).outcome, CommandOutcome::kReplyTimedOut);
    EXPECT_THROW(connection.Disconnect(), std::bad_alloc);  // the half line's trace
  }
  EXPECT_EQ(sink.replies, 2);
}

TEST(SmtpReset, ReplyCutOffByAResetIsNotReceived) {
  CScriptedServer server;
  server.Send("220 hi\r\n").ExpectAnyLine().Reset();
  CTestConnection connection;
  ASSERT_TRUE(connection.ConnectTo(server));
  EXPECT_FALSE(connection.session.SendHelo());
  EXPECT_TRUE(IsTextWithCode(connection.GetLastErrorText(), "Cannot receive reply",
                             TestErrorsOfReset()))
      << connection.GetLastErrorText();
  EXPECT_FALSE(connection.IsConnected());
}

// The server resets once it has read a first line; the client writes
// again only when the reset has surely arrived, so the write itself fails
// (and a write after it ends no process with SIGPIPE).
TEST(SmtpReset, WritesAfterAResetFail) {
  for (bool command : {true, false}) {
    SCOPED_TRACE(command ? "command" : "message");
    CScriptedServer server;
    server.Send("220 hi\r\n").Expect("NOOP\r\n").Reset();
    CTestConnection connection;
    ASSERT_TRUE(connection.ConnectTo(server));
    ASSERT_TRUE(connection.Channel()->WriteBytes("NOOP\r\n", 6));
    ASSERT_TRUE(server.AwaitReset());
    if (command) {
      EXPECT_FALSE(connection.session.SendHelo());
      EXPECT_TRUE(IsTextWithCode(connection.GetLastErrorText(), "Cannot send command",
                                 TestErrorsOfReset()))
          << connection.GetLastErrorText();
      EXPECT_FALSE(connection.IsConnected());
    } else {
      EXPECT_FALSE(connection.Channel()->WriteBytes("line\r\n", 6));
      EXPECT_FALSE(connection.Channel()->WriteBytes("line\r\n", 6));
      EXPECT_TRUE(IsTextWithCode(connection.Channel()->FailureText(), "Cannot send message",
                                 TestErrorsOfReset()))
          << connection.Channel()->FailureText();
    }
    server.Stop();
    EXPECT_EQ(server.Received(), "NOOP\r\n");
  }
}

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return bytes;
}

TEST(SmtpChannel, LargeWriteReachesASlowReaderWholeAndInOrder) {
  constexpr std::size_t kSize = 4 * 1024 * 1024;  // far beyond the socket buffers
  CScriptedServer server;
  server.ReceiveBuffer(64 * 1024).Send("220 hi\r\n").ReadSlowly(kSize, 256 * 1024, 2);
  CTestConnection connection;
  ASSERT_TRUE(connection.ConnectTo(server));
  std::string data = Pattern(kSize);
  EXPECT_TRUE(connection.Channel()->WriteBytes(data.data(), data.size()));
  connection.Disconnect();
  server.Stop();
  EXPECT_TRUE(server.Received() == data) << "received " << server.Received().size();
  EXPECT_TRUE(server.Problems().empty());
}

TEST(SmtpChannel, WriteToAServerThatStopsReadingTimesOut) {
  CScriptedServer server;
  server.ReceiveBuffer(4096).Send("220 hi\r\n").Stall();
  CTestConnection connection(TestTimeoutsWith({&CSmtpTimeouts::writeMs}));
  ASSERT_TRUE(connection.ConnectTo(server));
  std::string data = Pattern(64 * 1024 * 1024);
  TestClock::time_point start = TestClock::now();
  EXPECT_FALSE(connection.Channel()->WriteBytes(data.data(), data.size()));
  EXPECT_LT(ElapsedMs(start), 3000);
  EXPECT_EQ(connection.Channel()->FailureText(), "Socket write timeout");
  EXPECT_FALSE(connection.IsConnected());
}

TEST(SmtpChannel, CommandToAServerThatStopsReadingTimesOut) {
  CScriptedServer server;
  server.ReceiveBuffer(4096).Send("220 hi\r\n").Stall();
  CTestConnection connection(TestTimeoutsWith({&CSmtpTimeouts::writeMs}));
  ASSERT_TRUE(connection.ConnectTo(server));
  std::string command = Pattern(64 * 1024 * 1024);
  char reply[kReplyCapacity];
  CCommandResult result = connection.SendCommand(command.data(), command.size(), reply, "250", 2000);
  EXPECT_EQ(result.outcome, CommandOutcome::kWriteTimedOut);
}

TEST(SmtpChannel, ClosedConnectionFailsAtOnce) {
  CSmtpConnection connection;
  EXPECT_FALSE(connection.Channel()->WriteBytes("x", 1));
  EXPECT_EQ(connection.Channel()->FailureText(), "Socket is not connected");
  // A writer's own reason does not replace the first one.
  connection.Channel()->SetFailureText("Cannot open file(x)");
  EXPECT_EQ(connection.Channel()->FailureText(), "Socket is not connected");
}

}  // namespace
