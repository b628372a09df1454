// POSIX: sockets need no start, and a connect is awaited with poll on the
// socket itself, so there are no events to create; the connect's
// "selection" is O_NONBLOCK.
#include "smtp/socket_calls.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mime/host_identity.h"

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

// The canonical name of gethostname's name from the resolver (/etc/hosts
// gives the fully-qualified name first on its line); gethostname's own name
// when the resolver knows the host by no dotted name.
bool CSocketCalls::GetHostName(std::string *name, int *error) {
  *error = 0;
  name->clear();
  if (!LocalHostName(*name)) {
    *error = errno;
    return false;
  }
  // The resolver's canonical name is the fully-qualified one where the
  // host name is short.
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_flags = AI_CANONNAME;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  if (getaddrinfo(name->c_str(), nullptr, &hints, &found) != 0) return true;
  if (found != nullptr && found->ai_canonname != nullptr &&
      std::strchr(found->ai_canonname, '.') != nullptr)
    *name = found->ai_canonname;
  freeaddrinfo(found);
  return true;
}

bool CSocketCalls::GetLocalAddress(std::intptr_t socket, CHostAddress *address, int *error) {
  *error = 0;
  *address = CHostAddress();
  sockaddr_storage local;
  socklen_t size = sizeof local;
  if (getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr *>(&local), &size) != 0) {
    *error = errno;
    return false;
  }
  if (HostAddressOf<sockaddr_in, sockaddr_in6>(local, AF_INET, AF_INET6, address)) return true;
  *error = EAFNOSUPPORT;
  return false;
}
