// The TLS steps of a connection: STARTTLS on a plain connection, and the
// handshake that both STARTTLS and implicit TLS end with.
//
// There is no fallback: a server that does not announce STARTTLS, refuses
// it, or whose handshake or certificate fails, gets nothing more, and the
// connection is closed. After the 220 to STARTTLS any plaintext the server
// sent beyond its reply stays unread; the handshake would fail on it
// rather than let it pass as a reply (the command injection of RFC 3207
// section 6 finds no buffer to hide in).
#include <string>

#include "smtp/reply.h"
#include "smtp/smtp_connection.h"
#include "smtp/transport_texts.h"

namespace {

constexpr char kStartTlsCommand[] = "STARTTLS\r\n";
constexpr char kReadyForTls[] = "220";

// The outcome of a handshake as a trace shows it:
// "TLS 1.3 TLS_AES_256_GCM_SHA384, certificate CN=mx.example.com, verified".
std::string TlsEvent(const CTlsDescription &tls) {
  return tls.protocol + " " + tls.cipher + ", certificate " +
         (tls.subject.empty() ? std::string("(none)") : tls.subject) +
         (tls.verified ? ", verified" : ", not verified");
}

}  // namespace

bool CSmtpConnection::StartTls() {
  if (!SendGreetingCommand("EHLO", true)) return false;
  if (!m_offer.startTls) {
    SetText(kTextTlsNotOffered);
    Abort();
    return false;
  }
  char buffer[kReplyCapacity];
  CCommandResult result = SendCommand(kStartTlsCommand, sizeof kStartTlsCommand - 1, buffer,
                                      kReplyCapacity, kReadyForTls, m_timeouts.replyMs);
  if (result.outcome == CommandOutcome::kRefused) {
    SetText(FormatText(kTextTlsRefused, ReplyCodeText(buffer, result.replyLength)));
    Abort();
    return false;
  }
  if (!result.Ok()) {
    FailCommand(result, buffer, "STARTTLS");
    Abort();
    return false;
  }
  return Handshake();
}

// The handshake is a wait on the server as a reply is: the reply limit
// bounds it as a whole, and each record written gets the write limit.
bool CSmtpConnection::Handshake() {
  int error = 0;
  TlsStart start = m_socket.StartTls(m_serverName.c_str(), m_tls.verify, m_tls.trustFile,
                                     m_timeouts.replyMs, &error);
  switch (start) {
    case TlsStart::kStarted:
      if (m_trace.On()) m_trace.Event(TlsEvent(m_socket.TlsDescription()));
      return true;
    case TlsStart::kSetup:
      SetText(FormatText(kTextTlsSetup, error));
      break;
    case TlsStart::kTimedOut:
      SetText(kTextTlsTimeout);
      break;
    case TlsStart::kFailed:
      SetText(FormatText(kTextTlsHandshake, error));
      break;
    case TlsStart::kClosed:
      SetText(kTextTlsClosed);
      break;
    case TlsStart::kOldProtocol:
      SetText(kTextTlsOldProtocol);
      break;
    case TlsStart::kUntrusted:
      SetText(FormatText(kTextTlsUntrusted, error));
      break;
    case TlsStart::kNameMismatch:
      SetText(kTextTlsNameMismatch);
      break;
  }
  m_trace.Event(m_lastError);
  Abort();
  return false;
}
