#include "tests/support/test_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

namespace {

using Native = SOCKET;
constexpr short kReadable = 1;
constexpr short kWritable = 4;
Native Raw(TestSocket s) { return static_cast<Native>(s); }

int Wait(Native fd, short events, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(fd, &set);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(fd, &failed);
  int n = (events & kReadable) ? select(0, &set, nullptr, nullptr, &limit)
                       : select(0, nullptr, &set, &failed, &limit);
  return n == SOCKET_ERROR ? -1 : n;
}

void SetNonBlocking(Native fd) {
  u_long on = 1;
  ioctlsocket(fd, FIONBIO, &on);
}
void CloseRaw(Native fd) { closesocket(fd); }
Native NewSocket(int family) { return socket(family, SOCK_STREAM, 0); }
int SendFlags() { return 0; }
bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
constexpr Native kBad = INVALID_SOCKET;

}  // namespace

bool TestSocketsStart() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

int TestSocketStarts() {
  int count = 0;
  while (WSACleanup() == 0) ++count;
  for (int i = 0; i < count; ++i) TestSocketsStart();
  return count;
}

void TestLoadSystemLibraries() {
  for (const char *name : {"secur32.dll", "crypt32.dll", "ole32.dll", "advapi32.dll"})
    LoadLibraryA(name);
}

namespace {

int FamilyOf(TestFamily family) { return family == TestFamily::kIpv4 ? AF_INET : AF_INET6; }

int Loopback(TestFamily family, int port, sockaddr_storage *out) {
  std::memset(out, 0, sizeof *out);
  if (family == TestFamily::kIpv4) {
    sockaddr_in *a = reinterpret_cast<sockaddr_in *>(out);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<unsigned short>(port));
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sizeof *a;
  }
  sockaddr_in6 *a = reinterpret_cast<sockaddr_in6 *>(out);
  a->sin6_family = AF_INET6;
  a->sin6_port = htons(static_cast<unsigned short>(port));
  a->sin6_addr = in6addr_loopback;
  return sizeof *a;
}

int PortOf(Native fd) {
  sockaddr_storage a;
  int size = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr *>(&a), &size) != 0) return 0;
  if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in *>(&a)->sin_port);
  return ntohs(reinterpret_cast<sockaddr_in6 *>(&a)->sin6_port);
}

}  // namespace

const char *LoopbackText(TestFamily family) {
  return family == TestFamily::kIpv4 ? "127.0.0.1" : "::1";
}

TestSocket TestListen(TestFamily family, int backlog, int *port, int receiveBuffer) {
  TestSocketsStart();
  Native fd = NewSocket(FamilyOf(family));
  if (fd == kBad) return kNoTestSocket;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&on), sizeof on);
  if (receiveBuffer > 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&receiveBuffer),
               sizeof receiveBuffer);
  sockaddr_storage a;
  int size = Loopback(family, *port, &a);
  if (bind(fd, reinterpret_cast<sockaddr *>(&a), size) != 0 || listen(fd, backlog) != 0) {
    CloseRaw(fd);
    return kNoTestSocket;
  }
  *port = PortOf(fd);
  return static_cast<TestSocket>(fd);
}

TestSocket TestAccept(TestSocket listener, int timeoutMs) {
  if (Wait(Raw(listener), kReadable, timeoutMs) <= 0) return kNoTestSocket;
  Native fd = accept(Raw(listener), nullptr, nullptr);
  return fd == kBad ? kNoTestSocket : static_cast<TestSocket>(fd);
}

long TestReceive(TestSocket s, char *buffer, std::size_t size, int timeoutMs) {
  int ready = Wait(Raw(s), kReadable, timeoutMs);
  if (ready == 0) return kTestTimedOut;
  if (ready < 0) return kTestFailed;
  long n = static_cast<long>(recv(Raw(s), buffer, static_cast<int>(size), 0));
  return n < 0 ? kTestFailed : n;
}

bool TestSendAll(TestSocket s, const char *data, std::size_t length) {
  while (length > 0) {
    long n = static_cast<long>(send(Raw(s), data, static_cast<int>(length), SendFlags()));
    if (n <= 0) return false;
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

void TestClose(TestSocket s) {
  if (s != kNoTestSocket) CloseRaw(Raw(s));
}

void TestReset(TestSocket s) {
  if (s == kNoTestSocket) return;
  linger now{1, 0};
  setsockopt(Raw(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&now), sizeof now);
  CloseRaw(Raw(s));
}

TestSocket TestStartConnect(TestFamily family, int port) {
  TestSocketsStart();
  Native fd = NewSocket(FamilyOf(family));
  if (fd == kBad) return kNoTestSocket;
  SetNonBlocking(fd);
  sockaddr_storage a;
  int size = Loopback(family, port, &a);
  if (connect(fd, reinterpret_cast<sockaddr *>(&a), size) != 0 && !WouldBlock()) {
    CloseRaw(fd);
    return kNoTestSocket;
  }
  return static_cast<TestSocket>(fd);
}

bool TestConnectSettled(TestSocket s, int timeoutMs) {
  return Wait(Raw(s), kWritable, timeoutMs) > 0;
}

int TestUnusedPort(TestFamily family) {
  TestSocketsStart();
  Native fd = NewSocket(FamilyOf(family));
  if (fd == kBad) return 0;
  sockaddr_storage a;
  int size = Loopback(family, 0, &a);
  int port = bind(fd, reinterpret_cast<sockaddr *>(&a), size) == 0 ? PortOf(fd) : 0;
  CloseRaw(fd);
  return port;
}

bool TestHasLoopback(TestFamily family) {
  int port = 0;
  TestSocket s = TestListen(family, 1, &port);
  TestClose(s);
  return s != kNoTestSocket;
}

int TestErrorUnknownFamily() { return WSAEAFNOSUPPORT; }
std::set<int> TestErrorsOfShortAddress() { return {WSAEFAULT, WSAEADDRNOTAVAIL}; }
std::set<int> TestErrorsOfReset() {
  return {WSAECONNRESET, WSAECONNABORTED, ERROR_NETNAME_DELETED};
}
