// The texts a token fetch leaves when it fails. The procedure reports them
// to the SQL client unchanged, as the transport's texts. %d is the HTTP
// status of the reply, or the platform's code of the failure (libcurl's
// error code on Linux, the WinHTTP error on Windows; for an untrusted
// certificate, OpenSSL's verification result or WinHTTP's certificate
// flags). No text ever holds the client secret, the form that carried it
// or a token; the fields of an error reply are shown only once sanitised.
#ifndef MAILVANE_OAUTH_OAUTH_TEXTS_H
#define MAILVANE_OAUTH_OAUTH_TEXTS_H

#include "mail/format_text.h"

// The exchange did not take place, or did not complete.
inline constexpr char kTextOAuthSetup[] = "Cannot set up OAuth token request(%d)";
inline constexpr char kTextOAuthResolve[] = "Cannot find OAuth token endpoint(%d)";
inline constexpr char kTextOAuthUnreachable[] = "Cannot reach OAuth token endpoint(%d)";
inline constexpr char kTextOAuthTimeout[] = "OAuth token request timeout";
inline constexpr char kTextOAuthHandshake[] = "OAuth token endpoint TLS handshake failed(%d)";
inline constexpr char kTextOAuthUntrusted[] = "OAuth token endpoint not trusted(%d)";
inline constexpr char kTextOAuthNameMismatch[] =
    "OAuth token endpoint certificate does not match its name";

// The endpoint answered, but not with a token.
inline constexpr char kTextOAuthRefused[] = "OAuth token request failed(%d)";
// A refusal (429 or 503) with Retry-After: the seconds to wait, the status.
inline constexpr char kTextOAuthWait[] = "OAuth token endpoint asks to wait %d s(%d)";
inline constexpr char kTextOAuthTooLarge[] = "OAuth token reply too large";
inline constexpr char kTextOAuthNoToken[] = "OAuth token reply holds no usable access token";
inline constexpr char kTextOAuthNotBearer[] = "OAuth token reply is not of type Bearer";

#endif
