#include "tests/support/test_socket_calls.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

namespace {

SOCKET Raw(TestSocket s) { return static_cast<SOCKET>(s); }

TestSocket Checked(SOCKET fd) {
  return fd == INVALID_SOCKET ? kNoTestSocket : static_cast<TestSocket>(fd);
}

void SetInt(TestSocket s, int name, int value) {
  setsockopt(Raw(s), SOL_SOCKET, name, reinterpret_cast<const char *>(&value), sizeof value);
}

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

int TestErrorUnknownFamily() { return WSAEAFNOSUPPORT; }
std::set<int> TestErrorsOfShortAddress() { return {WSAEFAULT, WSAEADDRNOTAVAIL}; }
std::set<int> TestErrorsOfReset() {
  return {WSAECONNRESET, WSAECONNABORTED, ERROR_NETNAME_DELETED};
}

TestSocket RawStreamSocket(int family) { return Checked(socket(family, SOCK_STREAM, 0)); }

void RawClose(TestSocket s) { closesocket(Raw(s)); }

void RawListenOptions(TestSocket s, int receiveBuffer) {
  SetInt(s, SO_REUSEADDR, 1);
  if (receiveBuffer > 0) SetInt(s, SO_RCVBUF, receiveBuffer);
}

void RawLingerNone(TestSocket s) {
  linger now{1, 0};
  setsockopt(Raw(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&now), sizeof now);
}

bool RawBind(TestSocket s, const CAddressEntry &address) {
  return bind(Raw(s), reinterpret_cast<const sockaddr *>(address.address),
              static_cast<int>(address.length)) == 0;
}

bool RawListen(TestSocket s, int backlog) { return listen(Raw(s), backlog) == 0; }

TestSocket RawAccept(TestSocket listener) {
  TestSocket s = Checked(accept(Raw(listener), nullptr, nullptr));
  BOOL one = TRUE;
  if (s != kNoTestSocket)
    setsockopt(Raw(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof one);
  return s;
}

bool RawStartConnect(TestSocket s, const CAddressEntry &address) {
  u_long on = 1;
  ioctlsocket(Raw(s), FIONBIO, &on);
  if (connect(Raw(s), reinterpret_cast<const sockaddr *>(address.address),
              static_cast<int>(address.length)) == 0)
    return true;
  return WSAGetLastError() == WSAEWOULDBLOCK;
}

bool RawLocalAddress(TestSocket s, CAddressEntry *address) {
  sockaddr_storage bound;
  int size = sizeof bound;
  if (getsockname(Raw(s), reinterpret_cast<sockaddr *>(&bound), &size) != 0 ||
      static_cast<std::size_t>(size) > sizeof address->address)
    return false;
  address->family = bound.ss_family;
  address->length = static_cast<std::size_t>(size);
  std::memcpy(address->address, &bound, address->length);
  return true;
}

// select: a connect that fails is reported in its exception set.
int RawWait(TestSocket s, TestReadiness readiness, int timeoutMs) {
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(Raw(s), &ready);
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(Raw(s), &failed);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int n = readiness == TestReadiness::kReadable ? select(0, &ready, nullptr, nullptr, &limit)
                                                : select(0, nullptr, &ready, &failed, &limit);
  return n == SOCKET_ERROR ? -1 : n;
}

long RawReceive(TestSocket s, char *buffer, std::size_t size) {
  return static_cast<long>(recv(Raw(s), buffer, static_cast<int>(size), 0));
}

long RawSend(TestSocket s, const char *data, std::size_t length) {
  return static_cast<long>(send(Raw(s), data, static_cast<int>(length), 0));
}
