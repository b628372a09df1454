// Reading the reply of a token endpoint (RFC 6749 sections 5.1 and 5.2).
//
// ReadTokenReply takes the HTTP status and the body of the reply, both
// untrusted, and gives either the access token or the text of the failure
// (oauth_texts.h). A token is usable when the reply is 200 with a JSON
// object whose "access_token" is a bearer token (RFC 6750 section 2.1: at
// most kMaxTokenLength characters of the b64token set) and whose
// "token_type", when present, is Bearer (compared without case, RFC 6749
// section 5.1). An error reply names its "error" and "error_description"
// fields in the text, cut to a bound, with only printable ASCII left; a
// field that holds the client secret is withheld.
//
// JSON is read by nlohmann's parser; its document lives in memory that is
// wiped when released. The token is copied into the caller's CSecretString
// (mail/secret_string.h), which wipes it.
#ifndef MAILVANE_OAUTH_TOKEN_REPLY_H
#define MAILVANE_OAUTH_TOKEN_REPLY_H

#include <cstddef>
#include <string>
#include <string_view>

#include "mail/secret_string.h"

// The longest token taken: the longest "@pwd" a caller could pass instead.
inline constexpr std::size_t kMaxTokenLength = 8000;

// The HTTP status of a token reply (RFC 6749 section 5.1).
inline constexpr int kStatusOk = 200;

// true with the token in token; false with the failure in text. secret is
// only looked for in the error fields.
bool ReadTokenReply(int status, const std::string &body, std::string_view secret,
                    CSecretString &token, std::string &text);

#endif
