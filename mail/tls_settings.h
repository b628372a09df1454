// How one send protects its connection: plain (the default dialogue),
// STARTTLS after the first EHLO, or TLS from the connect on; whether the
// server's certificate is checked; and which roots it is checked against.
//
// The request driver sets the mode and the check from "@tls" and
// "@tls_verify"; the trust file is never set by the procedure (it has no
// parameter for it): tests set it on the mail to trust a certificate
// authority of their own. Empty means the system's trusted roots.
#ifndef MAILVANE_MAIL_TLS_SETTINGS_H
#define MAILVANE_MAIL_TLS_SETTINGS_H

#include <string>

enum class TlsMode {
  kNone,      // no TLS: the dialogue exactly as without it
  kStartTls,  // EHLO, STARTTLS, handshake, EHLO again (RFC 3207)
  kImplicit,  // handshake right after the connect, before the greeting (RFC 8314)
};

struct CTlsSettings {
  TlsMode mode = TlsMode::kNone;
  // false accepts any certificate for any name (internal relays with
  // self-signed certificates); the protocol floor stays.
  bool verify = true;
  // A PEM file of root certificates that replace the system's roots.
  std::string trustFile;
};

#endif
