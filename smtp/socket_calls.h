// CSocketCalls: the few platform calls of a connection that nothing outside
// the process can make fail: starting and stopping the socket library,
// creating the connect's event and selecting it on the socket, creating the
// event of the read/write record, and asking for the host's name and the
// connection's own address.
//
// A connection makes these calls through the object it was given; by
// default its own instance of this class, which makes the real calls. A
// test derives from it and fails the call it chooses with the error code it
// chooses, so that the connection's handling of that failure can be seen.
// Every call returns true, or false with the platform's error code in
// *error. The object holds no state of its own and may be shared by the
// connections of one thread; it must outlive the connections using it.
//
// The socket library is started by each connection that uses it and
// stopped when that connection goes (WinSock counts the starts), never
// while the library is loaded or unloaded: WSAStartup loads further DLLs,
// which must not happen under the loader lock.
//
// On POSIX there is no library to start, a connect needs no events:
// CreateConnectEvent and CreateRecordEvent give a null event and always
// succeed, and SelectConnect only makes the socket non-blocking.
//
// The host name comes from the machine's configuration and is untrusted:
// it is not checked here (greeting_name.h decides whether it may be sent).
#ifndef MAILVANE_SMTP_SOCKET_CALLS_H
#define MAILVANE_SMTP_SOCKET_CALLS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// A platform event (a WinSock or kernel event handle); null for none.
using SocketEvent = void *;

inline constexpr std::size_t kIpv4AddressBytes = 4;
inline constexpr std::size_t kIpv6AddressBytes = 16;

// An IP address of this host: its family and its bytes in network order
// (the first kIpv4AddressBytes of them for IPv4).
enum class HostAddressFamily { kNone, kIpv4, kIpv6 };
struct CHostAddress {
  HostAddressFamily family = HostAddressFamily::kNone;
  unsigned char bytes[kIpv6AddressBytes] = {};
};

class CSocketCalls {
 public:
  CSocketCalls() = default;
  virtual ~CSocketCalls() = default;
  CSocketCalls(const CSocketCalls &) = delete;
  CSocketCalls &operator=(const CSocketCalls &) = delete;

  // Starts the socket library (WinSock 2.0) for one connection; each
  // start that succeeded is ended by one StopSockets.
  virtual bool StartSockets(int *error);
  virtual void StopSockets();
  // The event a connect is awaited on.
  virtual bool CreateConnectEvent(SocketEvent *event, int *error);
  // Makes socket report the end of its connect on event, and not block.
  virtual bool SelectConnect(std::intptr_t socket, SocketEvent event, int *error);
  // The event of the read/write record of a connected socket.
  virtual bool CreateRecordEvent(SocketEvent *event, int *error);
  // The machine's fully-qualified DNS name as far as the platform knows
  // it; a short name, or an empty one, when it knows no other.
  virtual bool GetHostName(std::string *name, int *error);
  // The local address of the connected socket: the address the server
  // sees the client come from.
  virtual bool GetLocalAddress(std::intptr_t socket, CHostAddress *address, int *error);
};

// The host address in a socket address of the platform (what getsockname
// gave), for the platform files: written once over their types, whose
// members have the same names. False for another family.
template <typename In4, typename In6, typename Storage>
bool HostAddressOf(const Storage &local, int inet, int inet6, CHostAddress *address) {
  if (local.ss_family == inet) {
    address->family = HostAddressFamily::kIpv4;
    std::memcpy(address->bytes, &reinterpret_cast<const In4 *>(&local)->sin_addr,
                kIpv4AddressBytes);
    return true;
  }
  if (local.ss_family == inet6) {
    address->family = HostAddressFamily::kIpv6;
    std::memcpy(address->bytes, &reinterpret_cast<const In6 *>(&local)->sin6_addr,
                kIpv6AddressBytes);
    return true;
  }
  return false;
}

#endif
