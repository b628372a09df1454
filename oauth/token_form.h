// The body of a token request of the client credentials grant (RFC 6749
// section 4.4.2, with the client authenticating by its secret in the body,
// section 2.3.1): grant_type, client_id, client_secret and scope, as
// application/x-www-form-urlencoded fields (RFC 6749 appendix B).
//
// The body holds the client secret: the caller owns it and wipes it
// (mail/secure_zero.h). Room for it is reserved before it is written, so
// no partial copy is ever released along the way. The values are the
// caller's, taken byte for byte: every byte a field could be cut at is
// percent-encoded.
#ifndef MAILVANE_OAUTH_TOKEN_FORM_H
#define MAILVANE_OAUTH_TOKEN_FORM_H

#include <cstddef>
#include <string>
#include <string_view>

// The longest form of one byte: "%XX".
inline constexpr std::size_t kMaxFormEncodedByte = 3;

// Appends value, form-encoded: ASCII letters, digits and "*-._" stay, a
// blank becomes "+", every other byte "%XX" (upper-case hex).
void AppendFormEncoded(std::string_view value, std::string &out);

// Replaces body with the form of a client credentials request.
void BuildTokenForm(const std::string &clientId, std::string_view secret,
                    const std::string &scope, std::string &body);

#endif
