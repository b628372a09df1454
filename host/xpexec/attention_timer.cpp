#include "host/xpexec/attention_timer.h"

#include "host/ods_standin.h"

namespace xpexec {

bool CAttentionTimer::Start(CXPData *call, int afterMs, Clock::time_point started) {
  const Clock::time_point due = started + std::chrono::milliseconds(afterMs);
  return m_thread.Start([this, call, due] { Run(call, due); });
}

void CAttentionTimer::Run(CXPData *call, Clock::time_point due) {
  CLockHold hold(m_lock);
  for (;;) {
    if (m_stopping) return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
    if (left.count() <= 0) break;
    m_wake.Wait(hold, static_cast<int>(left.count()) + 1);
  }
  standin_raise_attention(call);
  m_raisedAt = Clock::now();
  m_raised = true;
}

void CAttentionTimer::Stop() {
  {
    CLockHold hold(m_lock);
    m_stopping = true;
    m_wake.WakeAll();
  }
  m_thread.Join();
}

}  // namespace xpexec
