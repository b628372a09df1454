// CSmtpMail::Send: one message over one fresh connection, with the
// dialogue as a session over it. The connection is closed at the end
// whatever happened, without QUIT; on failure its last-error text becomes
// the mail's.
//
// Without TLS the dialogue is HELO, or EHLO and AUTH when a user is given.
// With implicit TLS the same runs inside the TLS session. With STARTTLS the
// TLS session starts after a first EHLO, and EHLO is sent again inside it
// (RFC 3207 section 4.2: what the server announced in the clear no longer
// holds), then AUTH when a user is given. AUTH takes the mechanism the
// mail asks for, or chooses one from the last EHLO reply: PLAIN wherever
// the server allows it, so that such a dialogue is the one it has always
// been. The mail's cancel probe reaches every wait of the connection.
#include "mail/cancel_probe.h"
#include "mail/smtp_mail.h"
#include "smtp/session.h"
#include "smtp/smtp_connection.h"

HResult CSmtpMail::Send(const char *server, int port, TextSource source) {
  m_lastError.clear();
  m_sendOutcome = CSendOutcome();
  // The destructor closes the connection also when an exception leaves;
  // the trace of its end is written by the Disconnect below, before it.
  CSmtpConnection connection;
  connection.SetTimeouts(m_timeouts);
  connection.SetTls(m_tls);
  connection.SetTrace(m_trace);
  connection.SetCancel(m_cancel);
  CSmtpSession session(connection);
  bool sent = connection.Connect(server, port, m_timeouts.connectMs, source);
  if (sent && m_tls.mode == TlsMode::kStartTls) sent = session.StartTls();
  if (sent) {
    if (!m_user.empty())
      sent = session.SendEhlo() && session.Authenticate(m_auth, m_user, m_password);
    else if (m_tls.mode == TlsMode::kStartTls)
      sent = session.SendEhlo();
    else
      sent = session.SendHelo();
  }
  if (sent) sent = session.SendMail(*this);
  // However far a cancelled call got, it reports that it was cancelled: a
  // refusal or a lost connection seen on the way is no longer the reason.
  if (!sent)
    m_lastError = connection.Cancelled() ? kTextCallCancelled : connection.GetLastErrorText();
  m_sendOutcome.authRefused = session.AuthRefused();
  m_sendOutcome.endOfDataSent = session.EndOfDataSent();
  m_sendOutcome.serverReply = sent ? connection.LastReply() : connection.RefusingReply();
  connection.Disconnect();
  return sent ? S_OK : E_FAIL;
}
