// CConnectionIo: the byte stream of one connection: its socket, and once
// TLS has started, the TLS session over it. Everything above (the dialogue
// and the message channel) reads and writes through here, so it does not
// matter to them whether the bytes are protected.
//
// TLS is one-way: once a session has started on the socket, every later
// read and write goes through it or fails, for as long as the socket is
// open. A read or write of the session that does not complete (a record
// that fails to decrypt, bytes that are no record, a time-out, a lost
// connection) closes the connection, so nothing can follow it on the
// socket, in the clear or otherwise: a session whose stream broke off in
// the middle cannot be trusted to carry the next command.
//
// Owns the socket and the session; Close ends both. The semantics of Read
// and Write are those of CSocketIo.
#ifndef MAILVANE_SMTP_CONNECTION_IO_H
#define MAILVANE_SMTP_CONNECTION_IO_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "smtp/socket_io.h"
#include "smtp/tls_session.h"

class CConnectionIo {
 public:
  CConnectionIo() = default;
  ~CConnectionIo() { Close(); }
  CConnectionIo(const CConnectionIo &) = delete;
  CConnectionIo &operator=(const CConnectionIo &) = delete;

  // A fresh connection to one address: plain until StartTls.
  ConnectStep ConnectTo(const CAddressEntry &address, int timeoutMs, CSocketCalls &calls,
                        int *error) {
    Close();
    return m_socket.ConnectTo(address, timeoutMs, calls, error);
  }

  // What the waits of the socket and of the session over it ask.
  void SetCancel(CCancelProbe *probe) { m_socket.SetCancel(probe); }

  bool IsOpen() const { return m_socket.IsOpen(); }
  // The socket, for what the platform asks of it (its local address).
  std::intptr_t Handle() const { return m_socket.Handle(); }
  // A TLS session has started on the open socket.
  bool IsProtected() const { return m_protected && m_socket.IsOpen(); }

  // A failed start leaves the socket as it was; the caller closes it.
  TlsStart StartTls(const char *serverName, TextSource nameSource, bool verify,
                    const std::string &trustFile, int timeoutMs, int *error) {
    TlsStart start =
        m_tls.Start(m_socket, serverName, nameSource, verify, trustFile, timeoutMs, error);
    if (start == TlsStart::kStarted) m_protected = true;
    return start;
  }

  // Bytes wait on the socket of a plain connection; false inside TLS.
  bool HasPlainInput() const { return !m_protected && m_socket.HasInput(); }

  // What the started session is, for the trace.
  CTlsDescription TlsDescription() const { return m_tls.Describe(); }

  IoStatus Write(const void *data, std::size_t length, int timeoutMs, int *error) {
    if (!m_protected) return m_socket.Write(data, length, timeoutMs, error);
    return Checked(m_tls.Write(data, length, timeoutMs, error));
  }
  IoStatus Read(void *buffer, std::size_t *length, int timeoutMs, int *error) {
    if (!m_protected) return m_socket.Read(buffer, length, timeoutMs, error);
    return Checked(m_tls.Read(buffer, length, timeoutMs, error));
  }

  void Close() {
    m_tls.Close();
    m_socket.Close();
    m_protected = false;
  }

 private:
  IoStatus Checked(IoStatus status) {
    if (status != IoStatus::kDone) {
      m_tls.Close();
      m_socket.Close();
      // Still protected: a later read or write finds the session gone and
      // fails, and never reaches the socket.
    }
    return status;
  }

  CSocketIo m_socket;
  CTlsSession m_tls;
  // Set when a session started; cleared only with the socket it guards.
  bool m_protected = false;
};

#endif
