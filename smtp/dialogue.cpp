// CSmtpMail::Send: one message over one fresh connection. The connection
// is closed at the end whatever happened, without QUIT; on failure its
// last-error text becomes the mail's.
#include "mail/smtp_mail.h"
#include "smtp/smtp_connection.h"

HResult CSmtpMail::Send(const char *server, int port) {
  m_lastError.clear();
  // The destructor closes the connection also when an exception leaves.
  CSmtpConnection connection;
  connection.SetTimeouts(m_timeouts);
  bool sent = connection.Connect(server, port, m_timeouts.connectMs);
  if (sent) {
    if (!m_user.empty())
      sent = connection.SendEhlo() && connection.AuthPlain(m_user, m_password);
    else
      sent = connection.SendHelo();
  }
  if (sent) sent = connection.SendMail(*this);
  if (!sent) m_lastError = connection.GetLastErrorText();
  connection.Disconnect();
  return sent ? S_OK : E_FAIL;
}
