// CAttentionTimer: what --cancel-after does to one call: a thread of its
// own raises the attention of the running call (standin_raise_attention),
// as a client's Cancel or a KILL makes SQL Server do, a given number of
// milliseconds after the call started; the runner then tells how long the
// procedure took to return after it.
//
// Start arms it just before the procedure is called, Stop just after it
// returned: a call that returns first gets no attention. The timer is
// used by one call on one thread; the call must stay open until Stop.
#ifndef MAILVANE_HOST_XPEXEC_ATTENTION_TIMER_H
#define MAILVANE_HOST_XPEXEC_ATTENTION_TIMER_H

#include <chrono>

#include "charset/threads.h"

struct CXPData;

namespace xpexec {

class CAttentionTimer {
 public:
  using Clock = std::chrono::steady_clock;

  CAttentionTimer() = default;
  ~CAttentionTimer() { Stop(); }
  CAttentionTimer(const CAttentionTimer &) = delete;
  CAttentionTimer &operator=(const CAttentionTimer &) = delete;

  // Raises the attention of call afterMs after started; false when no
  // thread could be started (the call then runs without one).
  bool Start(CXPData *call, int afterMs, Clock::time_point started);
  // Ends the timer: the attention is not raised after this.
  void Stop();

  // Whether and when it was raised; valid after Stop.
  bool Raised() const { return m_raised; }
  Clock::time_point RaisedAt() const { return m_raisedAt; }

 private:
  void Run(CXPData *call, Clock::time_point due);

  CLock m_lock;
  CCondition m_wake;
  bool m_stopping = false;
  bool m_raised = false;
  Clock::time_point m_raisedAt;
  CThread m_thread;
};

}  // namespace xpexec

#endif
