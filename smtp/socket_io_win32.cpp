// WinSock 2: an overlapped socket whose connect is awaited on a WinSock
// event and whose reads and writes are overlapped ReadFile/WriteFile on one
// OVERLAPPED record, each awaited with the caller's limit, in slices
// between which the cancel probe is asked. An operation still outstanding
// at the limit is cancelled (CancelIoEx) and its completion collected
// before returning, so the system never touches a buffer that is gone; one
// outstanding when the call is cancelled ends with the socket, closed at
// once.
#include "smtp/socket_io.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

namespace {

static_assert(sizeof(OVERLAPPED) <= kSocketRecordSize, "the OVERLAPPED must fit the record");

// The most one WriteFile is given: each piece gets the whole write limit,
// so a slow reader that keeps taking bytes never runs a long write out of
// time, and a stalled one is noticed within one limit. Small enough to fit
// the free room of a socket buffer that select reported writable.
constexpr std::size_t kWritePiece = 16 * 1024;
// The most one ReadFile is given; the DWORD count must not wrap.
constexpr std::size_t kMaxRead = 1u << 30;
// How long a cancelled operation may take to come back before the socket
// is closed under it (some socket layers cannot cancel a send under way).
constexpr DWORD kWithdrawMs = 1000;

enum class Waited { kSignalled, kTimedOut, kFailed, kCancelled };

// Asks the probe, leaving the thread's last error as it was: the texts of
// a failed wait name the error the socket call before it left.
bool AskCancel(CWaitSlices &wait) {
  DWORD error = GetLastError();
  bool cancelled = wait.Cancelled();
  SetLastError(error);
  return cancelled;
}

// Waits for event at most timeoutMs, asking cancel between slices.
Waited WaitSliced(HANDLE event, int timeoutMs, CCancelProbe *cancel) {
  CWaitSlices wait(timeoutMs, cancel);
  for (;;) {
    if (AskCancel(wait)) return Waited::kCancelled;
    DWORD result = WaitForSingleObject(event, static_cast<DWORD>(wait.NextSliceMs()));
    if (result == WAIT_OBJECT_0) return Waited::kSignalled;
    if (result != WAIT_TIMEOUT) return Waited::kFailed;
    if (wait.Expired()) return Waited::kTimedOut;
  }
}

// Closes the socket under the operation started on record, which ends it,
// and collects its completion; *socket is then marked closed.
void Drop(std::intptr_t *socket, OVERLAPPED &record) {
  HANDLE handle = reinterpret_cast<HANDLE>(*socket);
  DWORD ignored = 0;
  closesocket(static_cast<SOCKET>(*socket));
  GetOverlappedResult(handle, &record, &ignored, TRUE);
  CloseHandle(record.hEvent);
  std::memset(&record, 0, sizeof record);
  *socket = -1;
}

// Takes back the operation started on record, so that the system is done
// with the caller's buffer when this returns. Closing the socket ends every
// operation on it: that is the last resort.
void Withdraw(std::intptr_t *socket, OVERLAPPED &record) {
  HANDLE handle = reinterpret_cast<HANDLE>(*socket);
  DWORD ignored = 0;
  CancelIoEx(handle, &record);
  if (WaitForSingleObject(record.hEvent, kWithdrawMs) != WAIT_OBJECT_0) {
    Drop(socket, record);
    return;
  }
  GetOverlappedResult(handle, &record, &ignored, TRUE);
}

// Waits for the operation started on record, at most timeoutMs.
IoStatus Await(std::intptr_t *socket, OVERLAPPED &record, int timeoutMs, CCancelProbe *cancel,
               DWORD *done, int *error) {
  HANDLE handle = reinterpret_cast<HANDLE>(*socket);
  Waited wait = WaitSliced(record.hEvent, timeoutMs, cancel);
  if (wait == Waited::kCancelled) {
    Drop(socket, record);
    return IoStatus::kCancelled;
  }
  if (wait != Waited::kSignalled) {
    if (wait == Waited::kFailed) *error = static_cast<int>(GetLastError());
    Withdraw(socket, record);
    return wait == Waited::kTimedOut ? IoStatus::kTimedOut : IoStatus::kFailed;
  }
  if (!GetOverlappedResult(handle, &record, done, FALSE)) {
    DWORD e = GetLastError();
    if (e == ERROR_HANDLE_EOF) {
      *done = 0;
      return IoStatus::kDone;
    }
    if (e != ERROR_MORE_DATA) {
      *error = static_cast<int>(e);
      return IoStatus::kFailed;
    }
  }
  return IoStatus::kDone;
}

// An overlapped socket that no child process inherits: a process the
// server starts while the call runs (xp_cmdshell) must not hold the
// connection. Systems before Windows 7 SP1 refuse the flag (WSAEINVAL);
// there the handle is made not inheritable after its creation.
SOCKET NewSocket(const CAddressEntry &address) {
  SOCKET s = WSASocketA(address.family, address.socketType, address.protocol, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s != INVALID_SOCKET || WSAGetLastError() != WSAEINVAL) return s;
  s = WSASocketA(address.family, address.socketType, address.protocol, nullptr, 0,
                 WSA_FLAG_OVERLAPPED);
  if (s != INVALID_SOCKET) SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return s;
}

void Rearm(OVERLAPPED &record) {
  HANDLE event = record.hEvent;
  std::memset(&record, 0, sizeof record);
  record.hEvent = event;
}

}  // namespace

ConnectStep CSocketIo::ConnectTo(const CAddressEntry &address, int timeoutMs, CSocketCalls &calls,
                                 int *error) {
  Close();
  *error = 0;
  SOCKET s = NewSocket(address);
  if (s == INVALID_SOCKET) {
    *error = WSAGetLastError();
    return ConnectStep::kCreateSocket;
  }
  m_socket = static_cast<std::intptr_t>(s);
  ConnectStep failed = ConnectStep::kConnected;
  SocketEvent created = nullptr;
  if (!calls.CreateConnectEvent(&created, error)) {
    failed = ConnectStep::kCreateEvent;
  } else {
    WSAEVENT event = static_cast<WSAEVENT>(created);
    if (!calls.SelectConnect(m_socket, event, error)) {
      failed = ConnectStep::kSelect;
    } else if (WSAConnect(s, reinterpret_cast<const sockaddr *>(address.address),
                          static_cast<int>(address.length), nullptr, nullptr, nullptr,
                          nullptr) != 0) {
      int e = WSAGetLastError();
      if (e != WSAEWOULDBLOCK) {
        *error = e;
        failed = ConnectStep::kStart;
      } else if (Waited wait = WaitSliced(event, timeoutMs, m_cancel);
                 wait == Waited::kCancelled) {
        failed = ConnectStep::kCancelled;
      } else if (wait != Waited::kSignalled) {
        *error = WSAGetLastError();
        if (*error == 0) *error = WSAETIMEDOUT;
        failed = ConnectStep::kWait;
      } else {
        WSANETWORKEVENTS events;
        if (WSAEnumNetworkEvents(s, nullptr, &events) != 0) {
          *error = WSAGetLastError();
          failed = ConnectStep::kResult;
        } else if (events.iErrorCode[FD_CONNECT_BIT] != 0) {
          *error = events.iErrorCode[FD_CONNECT_BIT];
          failed = ConnectStep::kResult;
        }
      }
    }
    if (failed == ConnectStep::kConnected) {
      // The event selection made the socket non-blocking; the overlapped
      // reads and writes want it plain again.
      WSAEventSelect(s, nullptr, 0);
      u_long blocking = 0;
      ioctlsocket(s, FIONBIO, &blocking);
      // No Nagle delay: see socket_io.h.
      BOOL one = TRUE;
      setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof one);
    }
    WSACloseEvent(event);
  }
  if (failed != ConnectStep::kConnected) {
    Close();
    return failed;
  }
  OVERLAPPED &record = *reinterpret_cast<OVERLAPPED *>(m_record);
  std::memset(&record, 0, sizeof record);
  SocketEvent recordEvent = nullptr;
  if (!calls.CreateRecordEvent(&recordEvent, error)) {
    Close();
    return ConnectStep::kIoEvent;
  }
  record.hEvent = static_cast<HANDLE>(recordEvent);
  return ConnectStep::kConnected;
}

IoStatus CSocketIo::Write(const void *data, std::size_t length, int timeoutMs, int *error) {
  *error = 0;
  if (!IsOpen()) {
    *error = WSAENOTSOCK;
    return IoStatus::kFailed;
  }
  HANDLE handle = reinterpret_cast<HANDLE>(m_socket);
  OVERLAPPED &record = *reinterpret_cast<OVERLAPPED *>(m_record);
  const char *bytes = static_cast<const char *>(data);
  std::size_t sent = 0;
  while (sent < length) {
    std::size_t piece = length - sent < kWritePiece ? length - sent : kWritePiece;
    Rearm(record);
    // Wait for room first, within the limit: an overlapped send that meets a
    // full socket buffer is not always resumed (seen under Wine), while one
    // given a small piece when there is room completes.
    CWaitSlices room(timeoutMs, m_cancel);
    for (;;) {
      if (AskCancel(room)) return IoStatus::kCancelled;
      fd_set writable;
      FD_ZERO(&writable);
      FD_SET(static_cast<SOCKET>(m_socket), &writable);
      const int sliceMs = room.NextSliceMs();
      timeval slice{sliceMs / 1000, (sliceMs % 1000) * 1000};
      int ready = select(0, nullptr, &writable, nullptr, &slice);
      if (ready > 0) break;
      if (ready < 0) {
        *error = WSAGetLastError();
        return IoStatus::kFailed;
      }
      if (room.Expired()) return IoStatus::kTimedOut;
    }
    if (!WriteFile(handle, bytes + sent, static_cast<DWORD>(piece), nullptr, &record)) {
      DWORD e = GetLastError();
      if (e != ERROR_IO_PENDING && e != ERROR_IO_INCOMPLETE) {
        *error = static_cast<int>(e);
        return IoStatus::kFailed;
      }
    }
    DWORD done = 0;
    IoStatus status = Await(&m_socket, record, timeoutMs, m_cancel, &done, error);
    if (status != IoStatus::kDone) return status;
    if (done == 0) {
      // Nothing taken and no error: the connection is gone.
      *error = WSAECONNRESET;
      return IoStatus::kFailed;
    }
    sent += done;
  }
  return IoStatus::kDone;
}

IoStatus CSocketIo::Read(void *buffer, std::size_t *length, int timeoutMs, int *error) {
  *error = 0;
  std::size_t capacity = *length < kMaxRead ? *length : kMaxRead;
  *length = 0;
  if (!IsOpen()) {
    *error = WSAENOTSOCK;
    return IoStatus::kFailed;
  }
  HANDLE handle = reinterpret_cast<HANDLE>(m_socket);
  OVERLAPPED &record = *reinterpret_cast<OVERLAPPED *>(m_record);
  Rearm(record);
  if (!ReadFile(handle, buffer, static_cast<DWORD>(capacity), nullptr, &record)) {
    DWORD e = GetLastError();
    if (e == ERROR_HANDLE_EOF) return IoStatus::kDone;
    if (e != ERROR_MORE_DATA && e != ERROR_IO_PENDING && e != ERROR_IO_INCOMPLETE) {
      *error = static_cast<int>(e);
      return IoStatus::kFailed;
    }
  }
  DWORD done = 0;
  IoStatus status = Await(&m_socket, record, timeoutMs, m_cancel, &done, error);
  if (status == IoStatus::kDone) *length = done;
  return status;
}

bool CSocketIo::HasInput() const {
  u_long waiting = 0;
  return IsOpen() && ioctlsocket(static_cast<SOCKET>(m_socket), FIONREAD, &waiting) == 0 &&
         waiting > 0;
}

void CSocketIo::Close() {
  if (!IsOpen()) return;
  SOCKET s = static_cast<SOCKET>(m_socket);
  shutdown(s, SD_BOTH);
  closesocket(s);
  OVERLAPPED &record = *reinterpret_cast<OVERLAPPED *>(m_record);
  if (record.hEvent != nullptr) CloseHandle(record.hEvent);
  std::memset(&record, 0, sizeof record);
  m_socket = kNoSocket;
}
