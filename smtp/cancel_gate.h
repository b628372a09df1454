// CCancelGate: the call's cancel probe (mail/cancel_probe.h) as the waits
// of one connection see it: the resolution, the connect to each address,
// the TLS handshake, every write and every reply ask it.
//
// It asks the call's probe, when the mail was given one, until the
// dialogue stops asking: once the end of data has gone out whole the
// server may have the message, so its reply is waited for as long as the
// limit allows whatever the client does, and the call reports what became
// of the mail. It remembers that it said yes, so that the send can tell a
// call its client stopped from one that failed on its own.
#ifndef MAILVANE_SMTP_CANCEL_GATE_H
#define MAILVANE_SMTP_CANCEL_GATE_H

#include "mail/cancel_probe.h"

class CCancelGate : public CCancelProbe {
 public:
  void SetProbe(CCancelProbe *probe) { m_probe = probe; }
  bool HasProbe() const { return m_probe != nullptr; }

  bool Cancelled() override {
    if (!m_said && m_asking && CancelAsked(m_probe)) m_said = true;
    return m_said;
  }
  // A wait of the connection stopped because the call was cancelled.
  bool Said() const { return m_said; }
  // The waits from here on are waited out.
  void StopAsking() { m_asking = false; }

 private:
  CCancelProbe *m_probe = nullptr;
  bool m_asking = true;
  bool m_said = false;
};

#endif
