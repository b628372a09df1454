#include "proc/client_cancel.h"

#include "proc/ods_calls.h"

bool CClientCancel::Cancelled() {
  if (!m_seen) m_seen = AttentionRaised(m_srvproc);
  return m_seen;
}
