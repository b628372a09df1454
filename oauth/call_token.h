// The token of one call that fetches its credential ("@oauth_token_url"):
// a token the process keeps for the call's key when there is one, else
// the token of a fetch (the call's own, or that of a call with the same key
// that was fetching already), through the token cache (token_cache.h).
//
// ObtainToken fails with the text of the fetch, of the fetch waited for,
// or of the endpoint's wait; a call whose secret cannot be hashed fetches
// as if there were no cache. With a trace sink a kept token is reported as
// "token endpoint <url>: kept token, <n> s left" (n: the seconds it is
// still kept), a token of another call's fetch as "token endpoint <url>:
// token of a request already running", a fetch as FetchToken reports it.
//
// RefusedToken is for a token the SMTP server refused: it is dropped from
// the cache, so no later call is given it again. Whether one new fetch may
// help is the caller's to decide by Kept: a kept token may have been
// revoked or ended early, one just fetched is refused for another reason.
#ifndef MAILVANE_OAUTH_CALL_TOKEN_H
#define MAILVANE_OAUTH_CALL_TOKEN_H

#include <string>
#include <string_view>

#include "mail/secret_string.h"
#include "mail/trace_sink.h"
#include "oauth/token_cache.h"
#include "oauth/token_fetch.h"

class CCallToken {
 public:
  explicit CCallToken(CTokenCache &cache = ProcessTokenCache()) : m_cache(cache) {}

  // cancel (when not null) is asked by every wait of it.
  bool Obtain(const CTokenEndpoint &endpoint, std::string_view secret, std::string &text,
              CTraceSink *trace, CCancelProbe *cancel = nullptr);
  void Refused();

  const CSecretString &Token() const { return m_token; }
  // The token came from the cache, not from a fetch made for this call.
  bool Kept() const { return m_kept; }

 private:
  CTokenCache &m_cache;
  CTokenKey m_key;
  bool m_keyed = false;
  bool m_kept = false;
  CSecretString m_token;
};

#endif
