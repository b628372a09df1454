// The request driver: one call of the procedure, from its parameters to its
// one report to the client.
//
// It reads the twelve parameters and the options beyond them (by name
// only, call_options.h), refuses a Unicode value that is not well-formed
// UTF-16, checks the three required ones, refuses a NUL in any text
// parameter, checks the options, fills one CSmtpMail through its setters
// in a fixed order, sends it, and reports: one DONE on success, or one
// error message (20001) and one DONE on failure. Each text goes to its
// setter as what it arrived as: an 8-bit value in the thread code page
// for code page 0, a Unicode value in UTF-8 for UTF-8; the names the
// system looks up ("@server", "@attachments") in the form the platform
// takes them (charset/system_name.h).
// With "@profile" the profile's accounts give the server and what goes
// with it, tried in order (profile_call.h); the store's policy holds for
// every call (profile_policy.h).
// It is the only place where failures become messages. Nothing escapes it:
// every exception ends as a message ("Unknown error." for those without a
// text). The parameter texts are held in CSecretStrings: "@pwd" is one of
// them, and nothing of it is left in freed memory, whichever way the call
// ends.
#ifndef MAILVANE_PROC_REQUEST_DRIVER_H
#define MAILVANE_PROC_REQUEST_DRIVER_H

#include <string_view>

struct CXPData;
class CSmtpMail;

// Runs one request; true when the mail was sent.
bool RunRequest(CXPData *srvproc);

// Reports the failure without a text ("Unknown error.") and nothing else,
// throwing nothing: for a call that cannot run at all.
void ReplyUnknownFailure(CXPData *srvproc);

// Like RunRequest, with the mail made by the caller (tests use it to
// shorten the transport's limits).
bool RunRequestWith(CXPData *srvproc, CSmtpMail &mail);

// The port of a "@port" text: the C library's decimal conversion (leading
// blanks and a sign, digits up to the first other byte, 0 without digits);
// 25 for the empty text.
int ParsePort(std::string_view text);

#endif
