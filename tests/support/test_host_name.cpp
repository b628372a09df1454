#include "tests/support/test_host_name.h"

#include <algorithm>

#include "smtp/greeting_name.h"

std::string TestHostName(TestFamily family) {
  CSocketCalls calls;
  std::string host;
  int error = 0;
  if (!calls.GetHostName(&host, &error)) host.clear();
  // A connection to a loopback address comes from that same address.
  CHostAddress local;
  if (family == TestFamily::kIpv4) {
    local.family = HostAddressFamily::kIpv4;
    const unsigned char loopback[kIpv4AddressBytes] = {127, 0, 0, 1};
    std::copy(loopback, loopback + kIpv4AddressBytes, local.bytes);
  } else {
    local.family = HostAddressFamily::kIpv6;
    local.bytes[kIpv6AddressBytes - 1] = 1;  // ::1
  }
  return GreetingName(host, local);
}
