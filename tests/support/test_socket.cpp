#include "tests/support/test_socket.h"

#include "smtp/address_list.h"
#include "tests/support/test_socket_calls.h"

namespace {

// sockaddr_in and sockaddr_in6 both hold the port at bytes 2 and 3, in
// network order.
constexpr std::size_t kPortHigh = 2;
constexpr std::size_t kPortLow = 3;
constexpr int kByteValues = 256;

bool Loopback(TestFamily family, int port, CAddressEntry *out) {
  CAddressList list;
  if (list.Resolve(LoopbackText(family), port, 0, AddressFamilyUnspecified(), SocketTypeStream(),
                   0) != 0 ||
      list.Count() == 0)
    return false;
  *out = list.At(0);
  return true;
}

int PortOf(TestSocket s) {
  CAddressEntry bound;
  if (!RawLocalAddress(s, &bound) || bound.length <= kPortLow) return 0;
  return bound.address[kPortHigh] * kByteValues + bound.address[kPortLow];
}

// A socket for the loopback of family, whose address with port goes to
// *address.
TestSocket Open(TestFamily family, int port, CAddressEntry *address) {
  TestSocketsStart();
  if (!Loopback(family, port, address)) return kNoTestSocket;
  return RawStreamSocket(address->family);
}

}  // namespace

const char *LoopbackText(TestFamily family) {
  return family == TestFamily::kIpv4 ? "127.0.0.1" : "::1";
}

TestSocket TestListen(TestFamily family, int backlog, int *port, int receiveBuffer) {
  CAddressEntry address;
  TestSocket s = Open(family, *port, &address);
  if (s == kNoTestSocket) return kNoTestSocket;
  RawListenOptions(s, receiveBuffer);
  if (!RawBind(s, address) || !RawListen(s, backlog)) {
    RawClose(s);
    return kNoTestSocket;
  }
  *port = PortOf(s);
  return s;
}

TestSocket TestAccept(TestSocket listener, int timeoutMs) {
  if (RawWait(listener, TestReadiness::kReadable, timeoutMs) <= 0) return kNoTestSocket;
  return RawAccept(listener);
}

long TestReceive(TestSocket s, char *buffer, std::size_t size, int timeoutMs) {
  int ready = RawWait(s, TestReadiness::kReadable, timeoutMs);
  if (ready == 0) return kTestTimedOut;
  if (ready < 0) return kTestFailed;
  long n = RawReceive(s, buffer, size);
  return n < 0 ? kTestFailed : n;
}

bool TestSendAll(TestSocket s, const char *data, std::size_t length) {
  while (length > 0) {
    long n = RawSend(s, data, length);
    if (n <= 0) return false;
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

void TestClose(TestSocket s) {
  if (s != kNoTestSocket) RawClose(s);
}

void TestReset(TestSocket s) {
  if (s == kNoTestSocket) return;
  RawLingerNone(s);
  RawClose(s);
}

TestSocket TestStartConnect(TestFamily family, int port) {
  CAddressEntry address;
  TestSocket s = Open(family, port, &address);
  if (s == kNoTestSocket) return kNoTestSocket;
  if (!RawStartConnect(s, address)) {
    RawClose(s);
    return kNoTestSocket;
  }
  return s;
}

bool TestConnectSettled(TestSocket s, int timeoutMs) {
  return RawWait(s, TestReadiness::kWritable, timeoutMs) > 0;
}

int TestUnusedPort(TestFamily family) {
  CAddressEntry address;
  TestSocket s = Open(family, 0, &address);
  if (s == kNoTestSocket) return 0;
  int port = RawBind(s, address) ? PortOf(s) : 0;
  RawClose(s);
  return port;
}

bool TestHasLoopback(TestFamily family) {
  int port = 0;
  TestSocket s = TestListen(family, 1, &port);
  TestClose(s);
  return s != kNoTestSocket;
}
