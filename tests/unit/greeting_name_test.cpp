// The name in HELO and EHLO: the host's name only when it is a
// fully-qualified Domain, otherwise the literal of the connection's own
// address; first as a table over the choice, then through a connection
// whose platform calls give the name and address of each row.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "smtp/greeting_name.h"
#include "tests/support/scripted_server.h"
#include "tests/support/smtp_test_limits.h"
#include "tests/support/smtp_test_mail.h"

namespace {

CHostAddress V4(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
  CHostAddress address;
  address.family = HostAddressFamily::kIpv4;
  const unsigned char bytes[] = {a, b, c, d};
  std::copy(bytes, bytes + kIpv4AddressBytes, address.bytes);
  return address;
}

CHostAddress V6(std::initializer_list<unsigned> groups) {
  CHostAddress address;
  address.family = HostAddressFamily::kIpv6;
  int i = 0;
  for (unsigned group : groups) {
    address.bytes[i++] = static_cast<unsigned char>(group >> 8);
    address.bytes[i++] = static_cast<unsigned char>(group);
  }
  return address;
}

const CHostAddress kDocV4 = V4(192, 0, 2, 10);
const CHostAddress kDocV6 = V6({0x2001, 0xdb8, 0, 0, 0, 0, 0, 1});

TEST(GreetingName, TheNameWhenFullyQualifiedOtherwiseTheLiteral) {
  const std::string label63(63, 'a');
  // 63 + 1 + 63 + 1 + 63 + 1 + 63 = 255 characters.
  const std::string name255 = label63 + "." + label63 + "." + label63 + "." + label63;
  struct {
    std::string host;
    CHostAddress local;
    const char *expected;
  } const cases[] = {
      {"db01.corp.example.com", kDocV4, "db01.corp.example.com"},
      {"Db-01.Corp.Example", kDocV6, "Db-01.Corp.Example"},
      {"SQLPROD01", kDocV4, "[192.0.2.10]"},
      {"", kDocV4, "[192.0.2.10]"},
      {"sql_prod.corp.example", kDocV4, "[192.0.2.10]"},
      {"h\xC3\xB4st.example", kDocV4, "[192.0.2.10]"},
      {"host .example", kDocV4, "[192.0.2.10]"},
      {"-db.example", kDocV4, "[192.0.2.10]"},
      {"db-.example", kDocV4, "[192.0.2.10]"},
      {"db..example", kDocV4, "[192.0.2.10]"},
      {"db.example.", kDocV4, "[192.0.2.10]"},
      {"192.0.2.99", kDocV4, "[192.0.2.10]"},
      {"7.example", kDocV4, "7.example"},
      {label63 + ".example", kDocV4, nullptr},
      {label63 + "a.example", kDocV4, "[192.0.2.10]"},
      {name255, kDocV4, nullptr},
      {name255 + "a", kDocV4, "[192.0.2.10]"},
      {"SQLPROD01", kDocV6, "[IPv6:2001:db8::1]"},
      {"SQLPROD01", V6({0, 0, 0, 0, 0, 0, 0, 1}), "[IPv6:::1]"},
      {"SQLPROD01", V6({0xfe80, 0, 0, 0, 0, 0, 0, 0}), "[IPv6:fe80::]"},
      {"SQLPROD01", V6({0x2001, 0xdb8, 0, 1, 1, 1, 1, 1}), "[IPv6:2001:db8:0:1:1:1:1:1]"},
      {"SQLPROD01", V6({0x2001, 0, 0, 1, 0, 0, 0, 1}), "[IPv6:2001:0:0:1::1]"},
      {"SQLPROD01", V6({0x2001, 0xdb8, 0, 0, 1, 0, 0, 1}), "[IPv6:2001:db8::1:0:0:1]"},
      {"SQLPROD01", V6({0, 0, 0, 0, 0, 0xffff, 0xc000, 0x20a}), "[192.0.2.10]"},
      {"SQLPROD01", CHostAddress(), ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.host.substr(0, 40));
    EXPECT_EQ(GreetingName(c.host, c.local), c.expected != nullptr ? c.expected : c.host);
  }
}

// Gives the name and, when set, the local address of a row; the rest as
// the platform does.
class CNamedCalls : public CSocketCalls {
 public:
  CNamedCalls(const char *name, const CHostAddress &local) : m_name(name), m_local(local) {}
  bool GetHostName(std::string *name, int *error) override {
    *name = m_name;
    *error = 0;
    return true;
  }
  bool GetLocalAddress(std::intptr_t socket, CHostAddress *address, int *error) override {
    if (m_local.family == HostAddressFamily::kNone)
      return CSocketCalls::GetLocalAddress(socket, address, error);
    *address = m_local;
    *error = 0;
    return true;
  }

 private:
  std::string m_name;
  CHostAddress m_local;
};

TEST(GreetingName, SentInHeloAndEhloThroughThePlatformCalls) {
  struct {
    TestFamily server;
    const char *host;
    CHostAddress local;  // kNone: the socket's own
    bool ehlo;
    const char *command;
  } const cases[] = {
      {TestFamily::kIpv4, "db01.corp.example.com", CHostAddress(), false,
       "HELO db01.corp.example.com\r\n"},
      {TestFamily::kIpv4, "SQLPROD01", CHostAddress(), false, "HELO [127.0.0.1]\r\n"},
      {TestFamily::kIpv4, "SQLPROD01", CHostAddress(), true, "EHLO [127.0.0.1]\r\n"},
      {TestFamily::kIpv4, "SQLPROD01", kDocV6, true, "EHLO [IPv6:2001:db8::1]\r\n"},
      {TestFamily::kIpv6, "sql_prod.example", CHostAddress(), false, "HELO [IPv6:::1]\r\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.command);
    if (c.server == TestFamily::kIpv6 && !TestHasLoopback(TestFamily::kIpv6)) continue;
    CScriptedServer server(c.server);
    server.Send("220 hi\r\n").Expect(c.command).Send("250 ok\r\n").Delay(200);
    CNamedCalls calls(c.host, c.local);
    CTestConnection connection(calls);
    ASSERT_TRUE(connection.ConnectTo(server));
    EXPECT_TRUE(c.ehlo ? connection.session.SendEhlo() : connection.session.SendHelo());
    connection.Disconnect();
    server.Stop();
    EXPECT_EQ(server.Received(), c.command);
    EXPECT_EQ(server.Problems(), std::vector<std::string>{});
  }
}

}  // namespace
