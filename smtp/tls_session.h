// CTlsSession: TLS client over the connected socket of one connection, the
// platform's own implementation (OpenSSL on Linux, SChannel through SSPI on
// Windows).
//
// Start runs the handshake: TLS 1.2 or later only, SNI with the server's
// name, and, when asked, the certificate chain checked against the trust
// roots (the system's, or those of a PEM file) and its name against the
// server's name (a host name, or an IP address literal). It says which step
// failed; on failure the session is inactive and the caller closes the
// socket: nothing is ever sent in the clear after a failed start. Read and
// Write then carry the application bytes with the semantics of CSocketIo
// (Write sends all, Read receives once, 0 bytes = the server closed), each
// bounded by its limit; the handshake as a whole is bounded by its own. A
// Read or Write that fails or runs out of time ends the session: it is
// inactive from then on, refuses every Read and Write, and its owner
// (CConnectionIo) closes the connection. Bytes that are not a record of TLS
// fail a Read at once. The waits are the socket's, which ask its cancel
// probe: a cancelled one ends the session (kCancelled) as a time-out does.
//
// Describe tells what a started session is, for the trace: protocol,
// cipher suite, the server certificate's subject (the server's bytes,
// untrusted) and whether the certificate was checked.
//
// The session borrows the socket, owns every TLS object and buffer, and
// wipes its buffers and key material when closed or destroyed. Everything
// the server sends is untrusted. Not shared between threads.
#ifndef MAILVANE_SMTP_TLS_SESSION_H
#define MAILVANE_SMTP_TLS_SESSION_H

#include <cstddef>
#include <memory>
#include <string>

#include "charset/text_source.h"
#include "smtp/socket_io.h"

// How a handshake ended.
enum class TlsStart {
  kStarted,
  kSetup,         // the TLS library or the trust file could not be set up
  kTimedOut,      // the handshake did not complete within its limit
  kFailed,        // the handshake failed (the server sent garbage, an alert, ...)
  kClosed,        // the server closed the connection during the handshake
  kOldProtocol,   // the server offers nothing of TLS 1.2 or later
  kUntrusted,     // the chain does not lead to a trusted root, or is invalid
  kNameMismatch,  // the certificate is not for the server's name
  kCancelled,     // the call was cancelled during the handshake
};

// A started session, as the trace shows it.
struct CTlsDescription {
  std::string protocol;  // "TLS 1.2", "TLS 1.3"
  std::string cipher;    // the cipher suite's name, as the platform knows it
  std::string subject;   // of the server certificate, as the platform writes it; may be empty
  bool verified = false;  // chain and name checked, and found good
};

class CTlsSession {
 public:
  CTlsSession();
  ~CTlsSession();
  CTlsSession(const CTlsSession &) = delete;
  CTlsSession &operator=(const CTlsSession &) = delete;

  // serverName is what the caller connected to, a name of nameSource
  // (charset/system_name.h); trustFile empty = the system's roots. *error
  // gets the platform's code of the failure.
  TlsStart Start(CSocketIo &socket, const char *serverName, TextSource nameSource, bool verify,
                 const std::string &trustFile, int timeoutMs, int *error);

  bool IsActive() const;
  // Empty on an inactive session.
  CTlsDescription Describe() const;

  IoStatus Write(const void *data, std::size_t length, int timeoutMs, int *error);
  IoStatus Read(void *buffer, std::size_t *length, int timeoutMs, int *error);

  // Drops the session without a close alert (as the plain close sends no
  // QUIT) and wipes it; nothing on an inactive one.
  void Close();

  // The platform's TLS objects and buffers; opaque outside its file.
  struct CState;

 private:
  std::unique_ptr<CState> m_state;
};

#endif
