// Time limits for tests that talk to a scripted server: short enough that
// a client waiting on a silent server fails within a second or two, long
// enough for a loaded machine (and Wine) to answer in time.
#ifndef MAILVANE_TESTS_SUPPORT_SMTP_TEST_LIMITS_H
#define MAILVANE_TESTS_SUPPORT_SMTP_TEST_LIMITS_H

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

#endif
