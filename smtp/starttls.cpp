// The STARTTLS step (RFC 3207): EHLO, the STARTTLS keyword looked for in
// the whole of its reply, STARTTLS and its 220, then the connection's
// handshake.
//
// There is no fallback: a server that does not announce STARTTLS, refuses
// it, sends anything beyond its 220 before the handshake, or whose
// handshake or certificate fails, gets nothing more, and the connection is
// closed.
#include "smtp/reply.h"
#include "smtp/session.h"
#include "smtp/transport_texts.h"

namespace {

constexpr char kStartTlsCommand[] = "STARTTLS\r\n";
constexpr char kReadyForTls[] = "220";

}  // namespace

bool CSmtpSession::StartTls() {
  if (!SendGreetingCommand("EHLO", true)) return false;
  if (!m_offer.startTls) {
    SetText(kTextTlsNotOffered);
    m_connection.Abort();
    return false;
  }
  char buffer[kReplyCapacity];
  CCommandResult result =
      m_connection.SendCommand(kStartTlsCommand, sizeof kStartTlsCommand - 1, buffer,
                               kReadyForTls, m_connection.GetTimeouts().replyMs);
  if (result.outcome == CommandOutcome::kRefused) {
    SetText(FormatText(kTextTlsRefused, result.code.Text()));
    m_connection.Abort();
    return false;
  }
  if (!result.Ok()) {
    m_connection.FailCommand(result, "STARTTLS");
    m_connection.Abort();
    return false;
  }
  // Plaintext beyond the 220 would be read as the start of TLS, or be
  // taken for a reply inside it.
  return m_connection.CheckTurn("STARTTLS") && m_connection.Handshake();
}
