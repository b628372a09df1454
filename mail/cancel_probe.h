// CCancelProbe: how a call learns that its client has given up on it (a
// Cancel in the client, a query time-out, a job stopped, KILL). The server
// cannot stop an extended procedure: it marks the call and waits for the
// procedure to return by itself, holding the session's worker and locks
// meanwhile. So every wait of a call asks the probe at least every
// kCancelSliceMs, and a call whose probe says yes stops where it stands and
// reports kTextCallCancelled.
//
// The request driver gives the probe (over srv_got_attention); smtp/,
// mime/, report/ and oauth/ never ask ODS themselves. Without a probe (a
// null one) nothing is asked and nothing is cancelled. A probe that has
// said yes says yes for the rest of the call. It is asked only on the
// call's own thread.
//
// CWaitSlices cuts one wait into such slices. The slices change no limit:
// a wait that runs out of time still ends at the deadline it had.
#ifndef MAILVANE_MAIL_CANCEL_PROBE_H
#define MAILVANE_MAIL_CANCEL_PROBE_H

#include <chrono>
#include <climits>

class CCancelProbe {
 public:
  virtual ~CCancelProbe() = default;
  // True once the call's client has given up.
  virtual bool Cancelled() = 0;
};

// Asks probe when there is one; false without.
inline bool CancelAsked(CCancelProbe *probe) { return probe != nullptr && probe->Cancelled(); }

// The longest a wait goes without asking: well inside the half second in
// which a cancelled call returns.
inline constexpr int kCancelSliceMs = 250;

// What a call stopped by its probe reports.
inline constexpr char kTextCallCancelled[] = "Call cancelled";

// One wait of at most limitMs (0 or less: none at all), in slices:
//
//   CWaitSlices wait(limitMs, probe);
//   for (;;) {
//     if (wait.Cancelled()) ...stop...;
//     if (<wait for the thing at most wait.NextSliceMs()>) ...done...;
//     if (wait.Expired()) ...timed out...;
//   }
class CWaitSlices {
 public:
  CWaitSlices(int limitMs, CCancelProbe *probe)
      : m_deadline(Clock::now() + std::chrono::milliseconds(limitMs > 0 ? limitMs : 0)),
        m_probe(probe) {}

  bool Cancelled() { return CancelAsked(m_probe); }
  // The time left, at most kCancelSliceMs; 0 once the limit has passed.
  int NextSliceMs() const {
    int left = LeftMs();
    return left < kCancelSliceMs ? left : kCancelSliceMs;
  }
  bool Expired() const { return LeftMs() == 0; }
  // The time left of the whole wait, at least 0.
  int LeftMs() const {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
    if (left.count() <= 0) return 0;
    return left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point m_deadline;
  CCancelProbe *m_probe;
};

#endif
