// CConnectionIo: the byte stream of one connection: its socket, and once
// TLS has started, the TLS session over it. Everything above (the dialogue
// and the message channel) reads and writes through here, so it does not
// matter to them whether the bytes are protected.
//
// Owns the socket and the session; Close ends both. The semantics of Read
// and Write are those of CSocketIo.
#ifndef MAILVANE_SMTP_CONNECTION_IO_H
#define MAILVANE_SMTP_CONNECTION_IO_H

#include <cstddef>
#include <string>

#include "smtp/socket_io.h"
#include "smtp/tls_session.h"

class CConnectionIo {
 public:
  CConnectionIo() = default;
  ~CConnectionIo() { Close(); }
  CConnectionIo(const CConnectionIo &) = delete;
  CConnectionIo &operator=(const CConnectionIo &) = delete;

  CSocketIo &Socket() { return m_socket; }
  bool IsOpen() const { return m_socket.IsOpen(); }
  bool IsProtected() const { return m_tls.IsActive(); }

  TlsStart StartTls(const char *serverName, bool verify, const std::string &trustFile,
                    int timeoutMs, int *error) {
    return m_tls.Start(m_socket, serverName, verify, trustFile, timeoutMs, error);
  }

  IoStatus Write(const void *data, std::size_t length, int timeoutMs, int *error) {
    return m_tls.IsActive() ? m_tls.Write(data, length, timeoutMs, error)
                            : m_socket.Write(data, length, timeoutMs, error);
  }
  IoStatus Read(void *buffer, std::size_t *length, int timeoutMs, int *error) {
    return m_tls.IsActive() ? m_tls.Read(buffer, length, timeoutMs, error)
                            : m_socket.Read(buffer, length, timeoutMs, error);
  }

  void Close() {
    m_tls.Close();
    m_socket.Close();
  }

 private:
  CSocketIo m_socket;
  CTlsSession m_tls;
};

#endif
