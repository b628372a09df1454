// CSocketChannel: the output channel of a connection, over its socket (or
// the TLS session on it).
//
// The mail writes the whole message through it during DATA. Every write
// sends all its bytes, each wait for the socket bounded by the write
// time-out; a write that runs out of time closes the socket, so that
// nothing later blocks on it. Every write asks the cancel probe first: the
// writers write each part chunk by chunk (the body in pieces, an
// attachment a chunk of its file at a time), so a cancelled call stops
// between two chunks, the socket closed, and nothing more is written. The channel keeps the text of its first
// failure, its own (a socket that failed or timed out) or one that a
// writer set, for the connection to report, and counts the bytes it
// wrote, for the trace to show the message's size. It borrows the socket
// of its connection and lives inside it.
#ifndef MAILVANE_SMTP_SOCKET_CHANNEL_H
#define MAILVANE_SMTP_SOCKET_CHANNEL_H

#include <cstddef>
#include <string>

#include "mime/output_channel.h"
#include "smtp/connection_io.h"

class CSocketChannel : public COutputChannel {
 public:
  explicit CSocketChannel(CConnectionIo &socket) : m_socket(socket) {}

  bool WriteBytes(const void *data, std::size_t length) override;
  void SetFailureText(const char *text) override;

  void SetWriteTimeout(int ms) { m_writeTimeoutMs = ms; }
  // The probe belongs to the connection and must outlive the channel.
  void SetCancel(CCancelProbe *probe) { m_cancel = probe; }
  const std::string &FailureText() const { return m_failure; }
  // A new message: no failure, no bytes written.
  void StartMessage() {
    m_failure.clear();
    m_written = 0;
  }
  std::size_t BytesWritten() const { return m_written; }

 private:
  void Fail(const std::string &text);

  CConnectionIo &m_socket;
  int m_writeTimeoutMs = 0;
  CCancelProbe *m_cancel = nullptr;
  std::string m_failure;
  std::size_t m_written = 0;
};

#endif
