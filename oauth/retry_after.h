// The Retry-After field of an HTTP reply (RFC 9110 section 10.2.3): how
// long a token endpoint that answered 429 or 503 asks its clients to wait.
//
// RetryAfterSeconds reads the field's value, untrusted: delay-seconds (one
// or more digits), or an HTTP-date in any of the three forms a recipient
// must accept (RFC 9110 section 5.6.7: IMF-fixdate, the obsolete RFC 850
// and asctime forms), taken against nowUnix, the wall clock in seconds
// since 1970 in UTC. The wait is cut to kMaxRetryAfterSeconds, so that no
// endpoint can shut a key out for longer; a date in the past is no wait
// (0). nullopt when the value is neither form (the field is then ignored).
#ifndef MAILVANE_OAUTH_RETRY_AFTER_H
#define MAILVANE_OAUTH_RETRY_AFTER_H

#include <cstdint>
#include <optional>
#include <string_view>

// A day: longer than any rate limit of an identity platform, short enough
// that a wrong value heals by itself.
inline constexpr std::int64_t kMaxRetryAfterSeconds = 24 * 60 * 60;

// The statuses whose Retry-After asks for a wait (RFC 6585 section 4, RFC
// 9110 section 15.6.4).
inline constexpr int kStatusTooManyRequests = 429;
inline constexpr int kStatusUnavailable = 503;

std::optional<std::int64_t> RetryAfterSeconds(std::string_view value, std::int64_t nowUnix);

#endif
