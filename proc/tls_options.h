// The values of "@tls" and "@tls_verify": which protection a call asks for.
//
// Both are read by name only (they have no position in the usage text) and
// compared without case. "@tls": empty or absent = no TLS, "starttls",
// "implicit". "@tls_verify": empty or absent = "yes", "yes", "no". Any
// other value is refused with the text the client sees, before anything
// is sent.
#ifndef MAILVANE_PROC_TLS_OPTIONS_H
#define MAILVANE_PROC_TLS_OPTIONS_H

#include <string>

#include "mail/tls_settings.h"

inline constexpr char kTlsParam[] = "@tls";
inline constexpr char kTlsVerifyParam[] = "@tls_verify";
inline constexpr char kTextBadTls[] = "@tls must be 'starttls', 'implicit' or empty.";
inline constexpr char kTextBadTlsVerify[] = "@tls_verify must be 'yes' or 'no'.";

// Sets settings.mode and settings.verify from the two texts; null when both
// are valid, else the text of the refusal (settings then unchanged).
const char *ApplyTlsOptions(const std::string &tls, const std::string &verify,
                            CTlsSettings &settings);

#endif
