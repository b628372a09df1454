// One HTTPS POST of a form, the platform's own client (libcurl over
// OpenSSL on Linux, WinHTTP on Windows), for the token fetch.
//
// PostForm sends form to an https URL and reads the status and body of the
// reply. It speaks HTTPS only (TLS 1.2 or later), follows no redirect and
// sends no credential of its own. With verify, the certificate must lead
// to a root the system trusts (the roots of the SMTP TLS path: OpenSSL's
// default verify paths on Linux, the Windows store) and name the URL's
// host; the check is part of the handshake, and the form is written only
// after it succeeded, so an untrusted endpoint never receives it. The
// whole exchange (resolve, connect, handshake, request, reply) is bounded
// by timeoutMs, and the body by kMaxReplyBody. Every wait of it asks the
// cancel probe, when one is given, at least every kCancelSliceMs; a yes
// abandons the request at once (kCancelled): its connection is dropped and
// nothing more of it reaches the endpoint.
//
// The caller owns the form (which holds the client secret) and wipes it;
// the platform client is given it without a copy of its own where it
// allows that. The body is read into the CSecretString of a CReplyBody,
// reserved once and wiped when released. Everything the endpoint sends is
// untrusted.
#ifndef MAILVANE_OAUTH_HTTPS_POST_H
#define MAILVANE_OAUTH_HTTPS_POST_H

#include <cstddef>
#include <string>

#include "mail/cancel_probe.h"
#include "mail/secret_string.h"

// The largest body read: a token reply is a few kilobytes; more is not a
// token reply.
inline constexpr std::size_t kMaxReplyBody = 64 * 1024;

// How a POST ended; on kDone the status and body are the reply's.
enum class HttpsOutcome {
  kDone,
  kSetup,         // the platform client could not be set up
  kResolve,       // the host name did not resolve
  kUnreachable,   // no connection, or it was lost before the reply was read
  kTimedOut,      // the exchange did not complete within its limit
  kHandshake,     // the TLS handshake failed for another reason than the certificate
  kUntrusted,     // the certificate does not lead to a trusted root, or is invalid
  kNameMismatch,  // the certificate is not for the URL's host
  kTooLarge,      // the body passed kMaxReplyBody
  kCancelled,     // the call was cancelled while the request was under way
};

// The body of a reply, in memory reserved once: appending never moves it,
// and it is wiped when released. The token reply is parsed in it.
class CReplyBody {
 public:
  CReplyBody() { m_bytes.reserve(kMaxReplyBody); }
  CReplyBody(const CReplyBody &) = delete;
  CReplyBody &operator=(const CReplyBody &) = delete;

  // false (and nothing appended) when the body would pass kMaxReplyBody.
  bool Append(const void *data, std::size_t length) {
    if (length > kMaxReplyBody - m_bytes.size()) return false;
    m_bytes.append(static_cast<const char *>(data), length);
    return true;
  }
  // Room left before the bound.
  std::size_t Room() const { return kMaxReplyBody - m_bytes.size(); }
  CSecretString &Bytes() { return m_bytes; }

 private:
  CSecretString m_bytes;
};

// The longest Retry-After value taken: an HTTP-date is 29 characters, a
// count of seconds fewer.
inline constexpr std::size_t kMaxRetryAfterField = 64;

struct CHttpsPost {
  std::string url;  // https://host[:port]/path[?query]
  bool verify = true;
  int timeoutMs = 0;
  CCancelProbe *cancel = nullptr;  // none: nothing is asked
  // Where the reply's Retry-After value goes (RFC 9110 section 10.2.3),
  // when wanted: left empty when the reply has none, or one longer than
  // kMaxRetryAfterField.
  std::string *retryAfter = nullptr;
};

// *status gets the HTTP status (with kTooLarge too, when the reply's head
// came), *error the platform's code of a failure (libcurl's error code, or
// OpenSSL's verification result for kUntrusted; the WinHTTP error, or its
// certificate flags for kUntrusted).
HttpsOutcome PostForm(const CHttpsPost &post, const std::string &form, int *status,
                      CReplyBody &body, int *error);

#endif
