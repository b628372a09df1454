// Time limits for tests that talk to a scripted server: short enough that
// a client waiting on a silent server fails within a second or two, long
// enough for a loaded machine (and Wine) to answer in time. With them, the
// clock the tests measure how long a wait took with.
#ifndef MAILVANE_TESTS_SUPPORT_SMTP_TEST_LIMITS_H
#define MAILVANE_TESTS_SUPPORT_SMTP_TEST_LIMITS_H

#include <chrono>
#include <initializer_list>

#include "mail/smtp_timeouts.h"

// The limit a test sets for the one wait that it expects to run out.
inline constexpr int kTestShortLimitMs = 200;

inline CSmtpTimeouts TestTimeouts() {
  CSmtpTimeouts t;
  t.connectMs = 2000;
  t.ehloDrainMs = 1500;
  t.replyMs = 2000;
  t.dataReplyMs = 2000;
  t.writeMs = 2000;
  t.endOfDataMs = 2000;
  return t;
}

// TestTimeouts with each of limits set to ms: by default the short limit
// of the one wait that a test expects to run out.
inline CSmtpTimeouts TestTimeoutsWith(std::initializer_list<int CSmtpTimeouts::*> limits,
                                      int ms = kTestShortLimitMs) {
  CSmtpTimeouts t = TestTimeouts();
  for (int CSmtpTimeouts::*limit : limits) t.*limit = ms;
  return t;
}

using TestClock = std::chrono::steady_clock;

inline long ElapsedMs(TestClock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(TestClock::now() - start).count());
}

#endif
