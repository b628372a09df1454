// POSIX: sockets need no start, and a connect is awaited with poll on the
// socket itself, so there are no events to create; the connect's
// "selection" is O_NONBLOCK.
#include "smtp/socket_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool CSocketCalls::StartSockets(int *error) {
  *error = 0;
  return true;
}

void CSocketCalls::StopSockets() {}

bool CSocketCalls::CreateConnectEvent(SocketEvent *event, int *error) {
  *event = nullptr;
  *error = 0;
  return true;
}

bool CSocketCalls::SelectConnect(std::intptr_t socket, SocketEvent, int *error) {
  *error = 0;
  int fd = static_cast<int>(socket);
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    *error = errno;
    return false;
  }
  return true;
}

bool CSocketCalls::CreateRecordEvent(SocketEvent *event, int *error) {
  *event = nullptr;
  *error = 0;
  return true;
}

bool CSocketCalls::GetHostName(char *buffer, std::size_t size, int *error) {
  *error = 0;
  if (size == 0) return false;
  if (gethostname(buffer, size) != 0) {
    *error = errno;
    return false;
  }
  buffer[size - 1] = '\0';  // a truncated name need not be terminated
  return true;
}
