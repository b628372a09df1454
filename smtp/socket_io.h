// CSocketIo: the primitive operations on the one TCP socket of a
// connection; everything above them is portable.
//
// ConnectTo tries one address within a time limit and says which step
// failed; Write sends every byte and Read receives once, each waiting at
// most its limit for the socket to make progress. An operation that runs
// out of time is withdrawn before it returns, so no buffer of the caller is
// touched afterwards; the caller then closes the socket. Error numbers are
// the platform's own (WinSock codes, errno). The object owns its socket and
// closes it when destroyed. Not shared between threads.
//
// Every wait asks the cancel probe given (mail/cancel_probe.h) at least
// every kCancelSliceMs; one that it stops returns kCancelled (a connect
// kCancelled) with the operation withdrawn as after a time-out, and the
// caller closes the socket at once. The limits stay those given.
//
// The socket is set to TCP_NODELAY. During DATA the client writes the
// message in several pieces and then the end of data without waiting for
// a reply; with Nagle's algorithm each small piece after the first waits
// for the ACK of the one before, which a server delays (40 ms on Linux) as
// it has nothing to send, so every mail cost a delayed ACK or two. The
// message writers fill buffers of kilobytes, so packets stay large.
#ifndef MAILVANE_SMTP_SOCKET_IO_H
#define MAILVANE_SMTP_SOCKET_IO_H

#include <cstddef>
#include <cstdint>

#include "mail/cancel_probe.h"
#include "smtp/address_list.h"
#include "smtp/socket_calls.h"

// Which step of one address's connect failed; kConnected when none did.
enum class ConnectStep {
  kConnected,
  kCreateSocket,  // no socket: no further address is tried
  kCreateEvent,   // the connect's wait event
  kSelect,        // making the socket non-blocking
  kStart,         // the connect itself
  kWait,          // nothing within the limit, or the wait failed
  kResult,        // the connect completed with an error (refused, ...)
  kIoEvent,       // the connected socket's read/write record
  kCancelled,     // the call was cancelled: no further address is tried
};

enum class IoStatus { kDone, kFailed, kTimedOut, kCancelled };

// Room for the platform's read/write record (an OVERLAPPED and its event on
// Windows); the platform file checks that it fits.
inline constexpr std::size_t kSocketRecordSize = 64;

class CSocketIo {
 public:
  CSocketIo() = default;
  ~CSocketIo() { Close(); }
  CSocketIo(const CSocketIo &) = delete;
  CSocketIo &operator=(const CSocketIo &) = delete;

  bool IsOpen() const { return m_socket != kNoSocket; }
  // The platform's socket, for the calls of CSocketCalls that query it.
  std::intptr_t Handle() const { return m_socket; }

  // What every wait asks; none (the default) for waits that only end.
  // The probe belongs to the caller and must outlive the socket.
  void SetCancel(CCancelProbe *probe) { m_cancel = probe; }

  // Connects to one address, waiting at most timeoutMs; the events and
  // their selection come from calls. On failure the socket is closed again
  // and *error holds the code that belongs to the failed step.
  ConnectStep ConnectTo(const CAddressEntry &address, int timeoutMs, CSocketCalls &calls,
                        int *error);

  // Writes all length bytes; each wait for the socket to take more is at
  // most timeoutMs.
  IoStatus Write(const void *data, std::size_t length, int timeoutMs, int *error);

  // One receive of at most *length bytes; *length gets the count, 0 when
  // the peer closed the connection.
  IoStatus Read(void *buffer, std::size_t *length, int timeoutMs, int *error);

  // Bytes have arrived that no Read has taken yet; false on a closed
  // socket, or when the platform cannot tell.
  bool HasInput() const;

  // Shuts the socket down both ways and closes it; nothing on a closed one.
  void Close();

 private:
  static constexpr std::intptr_t kNoSocket = -1;
  std::intptr_t m_socket = kNoSocket;
  CCancelProbe *m_cancel = nullptr;
  // The read/write record: Windows only.
  [[maybe_unused]] alignas(8) unsigned char m_record[kSocketRecordSize] = {};
};

#endif
