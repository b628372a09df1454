// POSIX sockets: a non-blocking socket whose every wait is a poll with the
// caller's limit, in slices between which the cancel probe is asked. send
// uses MSG_NOSIGNAL: a peer that went away must give EPIPE, not a SIGPIPE
// that would end the host process.
#include "smtp/socket_io.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// What WaitFor gives when the probe stopped the wait.
constexpr int kWaitCancelled = -2;

// Waits until fd is ready for events, at most timeoutMs in all, asking
// cancel between slices (EINTR resumes with what is left). 1 ready, 0
// time-out, -1 failure (errno), kWaitCancelled.
int WaitFor(int fd, short events, int timeoutMs, CCancelProbe *cancel) {
  CWaitSlices wait(timeoutMs, cancel);
  for (;;) {
    if (wait.Cancelled()) return kWaitCancelled;
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, wait.NextSliceMs());
    if (n > 0) return 1;
    if (n == 0) {
      if (wait.Expired()) return 0;
      continue;
    }
    if (errno != EINTR) return -1;
  }
}

}  // namespace

ConnectStep CSocketIo::ConnectTo(const CAddressEntry &address, int timeoutMs, CSocketCalls &calls,
                                 int *error) {
  Close();
  *error = 0;
  int fd = socket(address.family, address.socketType | SOCK_CLOEXEC, address.protocol);
  if (fd < 0) {
    *error = errno;
    return ConnectStep::kCreateSocket;
  }
  m_socket = fd;
  ConnectStep failed = ConnectStep::kConnected;
  // No event is waited on here (poll needs none), but the steps are those
  // of every platform.
  SocketEvent event = nullptr;
  if (!calls.CreateConnectEvent(&event, error)) {
    failed = ConnectStep::kCreateEvent;
  } else if (!calls.SelectConnect(m_socket, event, error)) {
    failed = ConnectStep::kSelect;
  } else if (connect(fd, reinterpret_cast<const sockaddr *>(address.address),
                     static_cast<socklen_t>(address.length)) != 0) {
    if (errno != EINPROGRESS) {
      *error = errno;
      failed = ConnectStep::kStart;
    } else {
      int ready = WaitFor(fd, POLLOUT, timeoutMs, m_cancel);
      if (ready == kWaitCancelled) {
        failed = ConnectStep::kCancelled;
      } else if (ready <= 0) {
        // A silent address leaves no error of its own: name the time-out.
        *error = ready == 0 ? ETIMEDOUT : errno;
        failed = ConnectStep::kWait;
      } else {
        int result = 0;
        socklen_t size = sizeof result;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size) != 0) result = errno;
        if (result != 0) {
          *error = result;
          failed = ConnectStep::kResult;
        }
      }
    }
  }
  if (failed == ConnectStep::kConnected) {
    SocketEvent record = nullptr;
    if (!calls.CreateRecordEvent(&record, error)) failed = ConnectStep::kIoEvent;
  }
  if (failed != ConnectStep::kConnected) {
    Close();
    return failed;
  }
  // No Nagle delay: see socket_io.h.
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return failed;
}

IoStatus CSocketIo::Write(const void *data, std::size_t length, int timeoutMs, int *error) {
  *error = 0;
  if (!IsOpen()) {
    *error = EBADF;
    return IoStatus::kFailed;
  }
  int fd = static_cast<int>(m_socket);
  const char *bytes = static_cast<const char *>(data);
  std::size_t sent = 0;
  while (sent < length) {
    ssize_t n = send(fd, bytes + sent, length - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      *error = errno;
      return IoStatus::kFailed;
    }
    int ready = WaitFor(fd, POLLOUT, timeoutMs, m_cancel);
    if (ready == kWaitCancelled) return IoStatus::kCancelled;
    if (ready == 0) return IoStatus::kTimedOut;
    if (ready < 0) {
      *error = errno;
      return IoStatus::kFailed;
    }
  }
  return IoStatus::kDone;
}

IoStatus CSocketIo::Read(void *buffer, std::size_t *length, int timeoutMs, int *error) {
  *error = 0;
  std::size_t capacity = *length;
  *length = 0;
  if (!IsOpen()) {
    *error = EBADF;
    return IoStatus::kFailed;
  }
  int fd = static_cast<int>(m_socket);
  for (;;) {
    int ready = WaitFor(fd, POLLIN, timeoutMs, m_cancel);
    if (ready == kWaitCancelled) return IoStatus::kCancelled;
    if (ready == 0) return IoStatus::kTimedOut;
    if (ready < 0) {
      *error = errno;
      return IoStatus::kFailed;
    }
    ssize_t n = recv(fd, buffer, capacity, 0);
    if (n >= 0) {
      *length = static_cast<std::size_t>(n);
      return IoStatus::kDone;
    }
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    *error = errno;
    return IoStatus::kFailed;
  }
}

bool CSocketIo::HasInput() const {
  int waiting = 0;
  return IsOpen() && ioctl(static_cast<int>(m_socket), FIONREAD, &waiting) == 0 && waiting > 0;
}

void CSocketIo::Close() {
  if (!IsOpen()) return;
  int fd = static_cast<int>(m_socket);
  shutdown(fd, SHUT_RDWR);
  close(fd);
  m_socket = kNoSocket;
}
