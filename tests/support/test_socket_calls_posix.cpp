#include "tests/support/test_socket_calls.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

int Raw(TestSocket s) { return static_cast<int>(s); }

TestSocket Checked(int fd) { return fd < 0 ? kNoTestSocket : static_cast<TestSocket>(fd); }

void SetInt(TestSocket s, int name, int value) {
  setsockopt(Raw(s), SOL_SOCKET, name, &value, sizeof value);
}

}  // namespace

bool TestSocketsStart() { return true; }

int TestSocketStarts() { return 0; }

void TestLoadSystemLibraries() {}

int TestErrorUnknownFamily() { return EAFNOSUPPORT; }
std::set<int> TestErrorsOfShortAddress() { return {EINVAL}; }
std::set<int> TestErrorsOfReset() { return {ECONNRESET, EPIPE}; }

TestSocket RawStreamSocket(int family) {
  return Checked(socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

void RawClose(TestSocket s) { close(Raw(s)); }

void RawListenOptions(TestSocket s, int receiveBuffer) {
  SetInt(s, SO_REUSEADDR, 1);
  if (receiveBuffer > 0) SetInt(s, SO_RCVBUF, receiveBuffer);
}

void RawLingerNone(TestSocket s) {
  linger now{1, 0};
  setsockopt(Raw(s), SOL_SOCKET, SO_LINGER, &now, sizeof now);
}

bool RawBind(TestSocket s, const CAddressEntry &address) {
  return bind(Raw(s), reinterpret_cast<const sockaddr *>(address.address),
              static_cast<socklen_t>(address.length)) == 0;
}

bool RawListen(TestSocket s, int backlog) { return listen(Raw(s), backlog) == 0; }

TestSocket RawAccept(TestSocket listener) {
  TestSocket s = Checked(accept(Raw(listener), nullptr, nullptr));
  int one = 1;
  if (s != kNoTestSocket) setsockopt(Raw(s), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return s;
}

bool RawStartConnect(TestSocket s, const CAddressEntry &address) {
  fcntl(Raw(s), F_SETFL, fcntl(Raw(s), F_GETFL) | O_NONBLOCK);
  if (connect(Raw(s), reinterpret_cast<const sockaddr *>(address.address),
              static_cast<socklen_t>(address.length)) == 0)
    return true;
  return errno == EINPROGRESS || errno == EAGAIN || errno == EWOULDBLOCK;
}

bool RawLocalAddress(TestSocket s, CAddressEntry *address) {
  sockaddr_storage bound;
  socklen_t size = sizeof bound;
  if (getsockname(Raw(s), reinterpret_cast<sockaddr *>(&bound), &size) != 0 ||
      size > sizeof address->address)
    return false;
  address->family = bound.ss_family;
  address->length = size;
  std::memcpy(address->address, &bound, size);
  return true;
}

int RawWait(TestSocket s, TestReadiness readiness, int timeoutMs) {
  pollfd p{Raw(s), static_cast<short>(readiness == TestReadiness::kReadable ? POLLIN : POLLOUT),
           0};
  for (;;) {
    int n = poll(&p, 1, timeoutMs);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

long RawReceive(TestSocket s, char *buffer, std::size_t size) {
  return static_cast<long>(recv(Raw(s), buffer, size, 0));
}

long RawSend(TestSocket s, const char *data, std::size_t length) {
  return static_cast<long>(send(Raw(s), data, length, MSG_NOSIGNAL));
}
