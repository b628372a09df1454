// CClientCancel: the cancel probe of one call (mail/cancel_probe.h), over
// ODS: srv_got_attention says whether the client has given up on the call
// (a Cancel, a query time-out, KILL), and the server then waits for the
// procedure to return. Once it said yes the probe says yes without asking
// again.
//
// The request driver gives it to the mail for the length of the call;
// CCancelHold takes it back however the call ends.
#ifndef MAILVANE_PROC_CLIENT_CANCEL_H
#define MAILVANE_PROC_CLIENT_CANCEL_H

#include "mail/cancel_probe.h"
#include "mail/smtp_mail.h"

struct CXPData;

class CClientCancel : public CCancelProbe {
 public:
  explicit CClientCancel(CXPData *srvproc) : m_srvproc(srvproc) {}
  bool Cancelled() override;

 private:
  CXPData *m_srvproc;
  bool m_seen = false;
};

// Gives the mail probe for the life of the hold.
class CCancelHold {
 public:
  CCancelHold(CSmtpMail &mail, CCancelProbe *probe) : m_mail(mail) { m_mail.SetCancel(probe); }
  ~CCancelHold() { m_mail.SetCancel(nullptr); }
  CCancelHold(const CCancelHold &) = delete;
  CCancelHold &operator=(const CCancelHold &) = delete;

 private:
  CSmtpMail &m_mail;
};

#endif
