// WinSock: started and cleaned up per connection; the connect's event is a
// WinSock event selected for FD_CONNECT (which also makes the socket
// non-blocking); the read/write record's is a manual-reset kernel event,
// created signalled.
#include "smtp/socket_calls.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

#include "mime/host_identity.h"

namespace {

// The version the procedure was written for; every call it makes is in 2.0.
constexpr WORD kWinsockVersion = MAKEWORD(2, 0);

}  // namespace

bool CSocketCalls::StartSockets(int *error) {
  *error = 0;
  WSADATA data;
  int result = WSAStartup(kWinsockVersion, &data);
  if (result != 0) {
    *error = result;
    return false;
  }
  return true;
}

void CSocketCalls::StopSockets() { WSACleanup(); }

bool CSocketCalls::CreateConnectEvent(SocketEvent *event, int *error) {
  *error = 0;
  WSAEVENT created = WSACreateEvent();
  if (created == WSA_INVALID_EVENT) {
    *error = WSAGetLastError();
    *event = nullptr;
    return false;
  }
  *event = created;
  return true;
}

bool CSocketCalls::SelectConnect(std::intptr_t socket, SocketEvent event, int *error) {
  *error = 0;
  if (WSAEventSelect(static_cast<SOCKET>(socket), static_cast<WSAEVENT>(event), FD_CONNECT) != 0) {
    *error = WSAGetLastError();
    return false;
  }
  return true;
}

bool CSocketCalls::CreateRecordEvent(SocketEvent *event, int *error) {
  *error = 0;
  *event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  if (*event == nullptr) {
    *error = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

// The computer's DNS host name joined to its primary DNS suffix; the bare
// host name on a computer that has no suffix. A name too long for the
// buffer fails the call: it could not be sent anyway.
bool CSocketCalls::GetHostName(std::string *name, int *error) {
  *error = 0;
  name->clear();
  if (!LocalHostName(*name)) {
    *error = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

bool CSocketCalls::GetLocalAddress(std::intptr_t socket, CHostAddress *address, int *error) {
  *error = 0;
  *address = CHostAddress();
  sockaddr_storage local;
  int size = sizeof local;
  if (getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr *>(&local), &size) !=
      0) {
    *error = WSAGetLastError();
    return false;
  }
  if (HostAddressOf<sockaddr_in, sockaddr_in6>(local, AF_INET, AF_INET6, address)) return true;
  *error = WSAEAFNOSUPPORT;
  return false;
}
