// WinSock: started and cleaned up per connection; the connect's event is a
// WinSock event selected for FD_CONNECT (which also makes the socket
// non-blocking); the read/write record's is a manual-reset kernel event,
// created signalled.
#include "smtp/socket_calls.h"

#include <winsock2.h>
#include <windows.h>

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

bool CSocketCalls::GetHostName(char *buffer, std::size_t size, int *error) {
  *error = 0;
  if (size == 0) return false;
  if (gethostname(buffer, static_cast<int>(size)) != 0) {
    *error = WSAGetLastError();
    return false;
  }
  buffer[size - 1] = '\0';  // a truncated name need not be terminated
  return true;
}
