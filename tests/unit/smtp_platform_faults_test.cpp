// The failures of platform calls that nothing outside the process can
// provoke (socket start-up, the connect's events and their selection, the
// host name, the local address), injected through the connection's
// CSocketCalls: the exact text with the injected code, which addresses are
// tried after it, and whether the connection is left closed.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "smtp/address_list.h"
#include "tests/support/scripted_server.h"
#include "tests/support/smtp_test_limits.h"
#include "tests/support/smtp_test_mail.h"
#include "tests/support/test_host_name.h"

namespace {

enum class Call { kStart, kConnectEvent, kSelect, kRecordEvent, kHostName, kLocalAddress };
constexpr int kCallKinds = 6;

// Makes the real calls, except that the first `failures` calls of the
// failing kinds fail with error; counts the calls of every kind.
class CFailingCalls : public CSocketCalls {
 public:
  static constexpr int kAlways = 1 << 30;

  CFailingCalls(Call failing, int error, int failures = kAlways)
      : CFailingCalls(std::set<Call>{failing}, error, failures) {}
  CFailingCalls(std::set<Call> failing, int error, int failures = kAlways)
      : m_failing(std::move(failing)), m_error(error), m_failures(failures) {}

  int Count(Call call) const { return m_counts[static_cast<int>(call)]; }

  bool StartSockets(int *error) override {
    return !Fails(Call::kStart, error) && CSocketCalls::StartSockets(error);
  }
  bool CreateConnectEvent(SocketEvent *event, int *error) override {
    *event = nullptr;
    return !Fails(Call::kConnectEvent, error) && CSocketCalls::CreateConnectEvent(event, error);
  }
  bool SelectConnect(std::intptr_t socket, SocketEvent event, int *error) override {
    return !Fails(Call::kSelect, error) && CSocketCalls::SelectConnect(socket, event, error);
  }
  bool CreateRecordEvent(SocketEvent *event, int *error) override {
    *event = nullptr;
    return !Fails(Call::kRecordEvent, error) && CSocketCalls::CreateRecordEvent(event, error);
  }
  bool GetHostName(std::string *name, int *error) override {
    return !Fails(Call::kHostName, error) && CSocketCalls::GetHostName(name, error);
  }
  bool GetLocalAddress(std::intptr_t socket, CHostAddress *address, int *error) override {
    return !Fails(Call::kLocalAddress, error) &&
           CSocketCalls::GetLocalAddress(socket, address, error);
  }

 private:
  bool Fails(Call call, int *error) {
    ++m_counts[static_cast<int>(call)];
    if (m_failing.count(call) == 0 || m_failures == 0) return false;
    --m_failures;
    *error = m_error;
    return true;
  }

  std::set<Call> m_failing;
  int m_error;
  int m_failures;
  int m_counts[kCallKinds] = {};
};

// The address of a scripted server, listed twice: the second is tried only
// when the first fails.
CAddressList Twice(const CScriptedServer &server) {
  CAddressList list;
  EXPECT_EQ(list.Resolve(server.Host(), server.Port(), 0, AddressFamilyUnspecified(),
                         SocketTypeStream(), 0),
            0);
  CAddressList twice = list;
  twice.Add(list);
  return twice;
}

// Codes no platform call gives for these steps, so that a text can only
// come from the injected failure.
constexpr int kStartError = 10091;   // WSASYSNOTREADY
constexpr int kEventError = 8;       // ERROR_NOT_ENOUGH_MEMORY
constexpr int kSelectError = 10022;  // WSAEINVAL
constexpr int kRecordError = 1450;   // ERROR_NO_SYSTEM_RESOURCES
constexpr int kHostError = 10093;    // WSANOTINITIALISED

TEST(SmtpPlatformFault, FailedStartUpStopsBeforeAnyConnect) {
  CScriptedServer server;
  server.Send("220 hi\r\n");
  CFailingCalls calls(Call::kStart, kStartError);
  CTestConnection connection(calls);
  EXPECT_FALSE(connection.ConnectTo(server));
  EXPECT_EQ(connection.GetLastErrorText(), "COM Init error: 10091");
  EXPECT_FALSE(connection.IsConnected());
  EXPECT_EQ(calls.Count(Call::kConnectEvent), 0);
  server.Stop();
  EXPECT_EQ(server.Problems(), std::vector<std::string>{"no client connected"});
}

struct ConnectFaultCase {
  const char *name;
  Call call;
  int error;
  int failures;    // how many calls of the kind fail
  bool connects;   // over the second address
  const char *text;
};

// An event or selection that fails costs one address; the next is tried
// and, when it connects, the first one's text stays. An event of the
// connected socket's record that fails ends the connect at once.
TEST(SmtpPlatformFault, ConnectStepFailureTextsAndTheAddressesTriedAfter) {
  const ConnectFaultCase cases[] = {
      {"connect event, first address", Call::kConnectEvent, kEventError, 1, true,
       "Cannot create event(8)"},
      {"connect event, every address", Call::kConnectEvent, kEventError, CFailingCalls::kAlways,
       false, "Cannot create event(8)"},
      {"selection, first address", Call::kSelect, kSelectError, 1, true,
       "Socket select error(10022)"},
      {"selection, every address", Call::kSelect, kSelectError, CFailingCalls::kAlways, false,
       "Socket select error(10022)"},
      {"record event", Call::kRecordEvent, kRecordError, 1, false, "Cannot create event(1450)"},
  };
  for (const ConnectFaultCase &c : cases) {
    SCOPED_TRACE(c.name);
    CScriptedServer server;
    server.Send("220 hi\r\n").Delay(200);
    ASSERT_TRUE(server.Start());
    CFailingCalls calls(c.call, c.error, c.failures);
    CTestConnection connection(calls);
    EXPECT_EQ(connection.ConnectTo(Twice(server), TestTimeouts().connectMs), c.connects);
    EXPECT_EQ(connection.GetLastErrorText(), c.text);
    EXPECT_EQ(connection.IsConnected(), c.connects);
    // Both addresses were tried, except after a failed record event.
    EXPECT_EQ(calls.Count(Call::kConnectEvent), c.call == Call::kRecordEvent ? 1 : 2);
    connection.Disconnect();
    server.Stop();
    EXPECT_EQ(server.Received(), "");
  }
}

// Without the host name the greeting names the connection's address; with
// neither, nothing can be sent and the connection is closed.
TEST(SmtpPlatformFault, HostNameFailureGreetsWithTheLiteralOrCloses) {
  struct {
    std::set<Call> failing;
    const char *text;  // empty: the literal went out
  } const cases[] = {
      {{Call::kHostName}, ""},
      {{Call::kHostName, Call::kLocalAddress}, "Cannot get hostname(10093)"},
  };
  for (const auto &c : cases) {
    for (bool ehlo : {false, true}) {
      SCOPED_TRACE(std::string(ehlo ? "EHLO " : "HELO ") + c.text);
      std::string command = std::string(ehlo ? "EHLO" : "HELO") + " [127.0.0.1]\r\n";
      CScriptedServer server;
      server.Send("220 hi\r\n");
      if (*c.text == '\0') server.Expect(command).Send("250 ok\r\n").Delay(200);
      CFailingCalls calls(c.failing, kHostError);
      CTestConnection connection(calls);
      ASSERT_TRUE(connection.ConnectTo(server));
      EXPECT_EQ(ehlo ? connection.session.SendEhlo() : connection.session.SendHelo(),
                *c.text == '\0');
      EXPECT_EQ(connection.GetLastErrorText(), c.text);
      EXPECT_EQ(connection.IsConnected(), *c.text == '\0');
      connection.Disconnect();
      server.Stop();
      EXPECT_EQ(server.Received(), *c.text == '\0' ? command : "");
    }
  }
}

// The calls of a connection that meets no failure: one of each per
// connect, and the host name and local address for the greeting command.
TEST(SmtpPlatformFault, UnfailedCallsBehaveAsTheRealOnes) {
  CScriptedServer server;
  server.Send("220 hi\r\n").ExpectAnyLine().Send("250 ok\r\n").Delay(200);
  CFailingCalls calls(Call::kStart, kStartError, 0);
  CTestConnection connection(calls);
  ASSERT_TRUE(connection.ConnectTo(server));
  EXPECT_TRUE(connection.session.SendHelo());
  EXPECT_EQ(connection.GetLastErrorText(), "");
  for (Call call : {Call::kStart, Call::kConnectEvent, Call::kSelect, Call::kRecordEvent,
                    Call::kHostName, Call::kLocalAddress})
    EXPECT_EQ(calls.Count(call), 1);
  connection.Disconnect();
  server.Stop();
  EXPECT_EQ(server.Received(), "HELO " + TestHostName() + "\r\n");
}

}  // namespace
