// The ODS calls of the request driver: the replies to the SQL client (one
// error message and an error DONE on failure, one DONE with a count on
// success) and the question whether the client has given up on the call;
// the parameters are read by CXpParams. Kept apart so that the
// driver never meets the Windows headers that <srv.h> brings.
#ifndef MAILVANE_PROC_ODS_CALLS_H
#define MAILVANE_PROC_ODS_CALLS_H

#include <string>

struct CXPData;

// The class (severity) of a failure's message: 1 as it always was, or 16
// with "@raise" = 'yes', which fails an Agent job step and sqlcmd -b.
inline constexpr int kFailureSeverity = 1;
inline constexpr int kRaisedSeverity = 16;

// Message 20001, class `severity`, state 1, at line `line`; the text is
// sent up to its first zero byte. Then DONE with status 0x0003 and count 0.
void ReplyFailure(CXPData *srvproc, int line, const char *text,
                  int severity = kFailureSeverity);

// An informational message (type SRV_MSG_INFO, number 20002, class 0,
// state 1, line 0) with exactly length bytes of text: what a trace of the
// call reports. Clients show it as they show PRINT output.
void ReplyInfo(CXPData *srvproc, const char *text, int length);

// DONE with status 0x0011 (more, count) and count 1.
void ReplySuccess(CXPData *srvproc);

// The client has given up on the call: srv_got_attention.
bool AttentionRaised(CXPData *srvproc);
// The login of the call's client (srv_pfield with SRV_USER), in the
// server's code page; "" when the server gives none.
std::string ClientLogin(CXPData *srvproc);

// DONE with status 0x0001 (more) alone: a call that did what it was asked
// and has no rows to count.
void ReplyDone(CXPData *srvproc);

#endif
