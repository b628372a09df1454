// Reading the reply of a token endpoint (RFC 6749 sections 5.1 and 5.2).
//
// ReadTokenReply takes the HTTP status and the body of the reply, both
// untrusted, and gives either the access token or the text of the failure
// (oauth_texts.h). A token is usable when the reply is 200 with a JSON
// object whose "access_token" is a bearer token (RFC 6750 section 2.1: at
// most kMaxTokenLength characters of the b64token set) and whose
// "token_type", when present, is Bearer (compared without case, RFC 6749
// section 5.1). Its "expires_in", when it is a count of seconds, comes
// with the token. An error reply names its "error" and
// "error_description" fields in the text, cut to a bound, with only
// printable ASCII left; a field that holds the client secret is withheld.
//
// The body is parsed in place by RapidJSON: its strings are decoded within
// the body's own buffer, which the caller wipes (a CSecretString), so no
// copy of the token is made on the way; the parser's own memory is wiped
// when released (wiping_json_allocator.h). The body is left changed. The
// token is copied into the caller's CSecretString (mail/secret_string.h).
#ifndef MAILVANE_OAUTH_TOKEN_REPLY_H
#define MAILVANE_OAUTH_TOKEN_REPLY_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mail/secret_string.h"

// The longest token taken: the longest "@pwd" a caller could pass instead.
inline constexpr std::size_t kMaxTokenLength = 8000;

// The HTTP status of a token reply (RFC 6749 section 5.1).
inline constexpr int kStatusOk = 200;

// true with the token in token, and with expiresIn (when given) set to the
// token's lifetime in seconds when the reply states one; false with the
// failure in text. secret is only looked for in the error fields.
bool ReadTokenReply(int status, CSecretString &body, std::string_view secret,
                    CSecretString &token, std::string &text,
                    std::optional<std::int64_t> *expiresIn = nullptr);

#endif
