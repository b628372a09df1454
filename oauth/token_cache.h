// The process's OAuth token cache: the one thing of the library that
// survives a call. A call that fetches its token with "@oauth_token_url"
// finds here the token an earlier call fetched with the same endpoint,
// client, scope and secret, for as long as it is valid, instead of asking
// the endpoint again; and an endpoint that asked its clients to wait
// (429 or 503 with Retry-After) is not asked again for that key until the
// wait has passed.
//
// What is kept, and how:
// - A token, after a successful fetch whose reply states a lifetime
//   (expires_in, RFC 6749 section 5.1) of more than kKeepMarginSeconds; it
//   is kept until kKeepMarginSeconds before it expires (a lifetime is
//   taken as at most kMaxKeptSeconds). A reply without a lifetime, or
//   with a shorter one, gives a token that serves its call (and the calls
//   waiting for that fetch) and is not kept.
// - The wait an endpoint asked for, with its status and the fields its
//   error reply showed, until the wait has passed.
// - At most kMaxEntries entries; the one that expires first makes room.
// - Only in this process's memory, never on disk. Every token (and the URL,
//   client id and scope beside it) is in a CSecretString, wiped when it is
//   dropped: replaced, expired, evicted, refused by an SMTP server, or when
//   the library is unloaded (the global cache's destructor).
//
// The key is the token URL, the client id, the scope, whether the
// endpoint's certificate was checked, and HMAC-SHA-256 of the client
// secret under a random key made once per cache (keyed_hash.h): never the
// secret itself, and a caller who does not know the secret can never be
// given a token fetched with it. A token fetched from an unchecked
// endpoint serves only calls that do not check it either.
//
// Many calls use the cache at once, on many threads; one lock guards it.
// A call that finds no valid token and no fetch running for its key
// becomes the key's fetcher (Look gives kFetch) and must end its fetch
// with Finish or Abandon (CFetchTicket does). Calls with the same key that
// arrive while that fetch runs wait for it, each within its own limit,
// and share its outcome: its token, or its failure text. They do not try
// again themselves: the same endpoint, client and secret would get the
// same refusal, and an endpoint that limits its clients is asked once, not
// once per waiting call. Only a fetch abandoned without an outcome (an
// exception in the fetcher) lets a waiter become the next fetcher.
//
// The clock of lifetimes and waits can be given (unit tests fix it); the
// limit of a wait for another call's fetch runs on the real monotonic
// clock.
#ifndef MAILVANE_OAUTH_TOKEN_CACHE_H
#define MAILVANE_OAUTH_TOKEN_CACHE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "charset/threads.h"
#include "mail/cancel_probe.h"
#include "mail/secret_string.h"
#include "oauth/keyed_hash.h"
#include "oauth/token_fetch.h"

// Microsoft's identity libraries renew a token five minutes before it
// expires: a token is not offered closer to its end than that.
inline constexpr std::int64_t kKeepMarginSeconds = 5 * 60;
// The longest a token is kept, whatever lifetime its reply states.
inline constexpr std::int64_t kMaxKeptSeconds = 24 * 60 * 60;
inline constexpr std::size_t kMaxEntries = 64;
// The size of the random key of the secret's keyed hash: SHA-256's output.
inline constexpr std::size_t kCacheKeySize = 32;

struct CTokenKey {
  CSecretString url;
  CSecretString clientId;
  CSecretString scope;
  bool verify = true;
  unsigned char secretHash[kKeyedHashSize] = {};

  bool operator==(const CTokenKey &other) const;
};

// The cache's time in milliseconds, from any start.
class CCacheClock {
 public:
  virtual ~CCacheClock() = default;
  virtual std::int64_t NowMs() const = 0;
};

enum class TokenLookup {
  kKept,    // a kept token
  kShared,  // the token of the fetch another call made while this one waited
  kFetch,   // none: the caller fetches, and ends with Finish or Abandon
  kFailed,  // the endpoint's wait, the failure of the fetch waited for, or the wait's time-out
};

class CTokenCache {
 public:
  // clock: null for the monotonic clock.
  explicit CTokenCache(const CCacheClock *clock = nullptr);
  // Wipes every token. Takes no lock: nothing calls into a cache that is
  // being destroyed (the global one goes with the library, once no call
  // runs in it; at the process's end on Windows the other threads are gone
  // and a lock one of them held would never be released).
  ~CTokenCache();
  CTokenCache(const CTokenCache &) = delete;
  CTokenCache &operator=(const CTokenCache &) = delete;

  // The key of endpoint and secret; false when no keyed hash of the secret
  // can be made (no random key, no hash): the call then uses no cache.
  bool MakeKey(const CTokenEndpoint &endpoint, std::string_view secret, CTokenKey &key);

  // What the cache has for key. kKept: token, and secondsLeft of it being
  // kept; kShared: token; kFailed: text. A fetch of another call for key
  // is waited for at most waitMs, and cancel (when not null) asked every
  // kCancelSliceMs of it.
  TokenLookup Look(const CTokenKey &key, int waitMs, CSecretString &token,
                   std::int64_t &secondsLeft, std::string &text,
                   CCancelProbe *cancel = nullptr);

  // Ends the caller's fetch for key: with token (null when it failed, text
  // then its failure), and what the fetch told of the token's lifetime or
  // of the endpoint's wait.
  void Finish(const CTokenKey &key, const CSecretString *token, const CFetchDetails &details,
              const std::string &text);
  // Ends the caller's fetch without an outcome: a waiter fetches instead.
  void Abandon(const CTokenKey &key);

  // Drops the token kept for key, when it still is token (another call may
  // have replaced it already).
  void Drop(const CTokenKey &key, std::string_view token);

  // The entries kept, tokens and waits, for tests.
  std::size_t Entries();

 private:
  struct CEntry;
  struct CFlight;

  std::int64_t NowMs() const;
  void Purge(std::int64_t now);
  CEntry *Find(const CTokenKey &key);
  CFlight *Running(const CTokenKey &key);
  // The entry of key, made (evicting when full) when there is none.
  CEntry &Place(const CTokenKey &key, std::int64_t now);
  // One user less of flight; the last one frees it.
  void Release(CFlight *flight);
  void End(const CTokenKey &key, int state, const CSecretString *token, const std::string &text);

  const CCacheClock *m_clock;
  CLock m_lock;
  CCondition m_ended;  // a fetch ended
  bool m_keyMade = false;
  unsigned char m_key[kCacheKeySize] = {};
  std::vector<std::unique_ptr<CEntry>> m_entries;
  std::vector<std::unique_ptr<CFlight>> m_flights;
};

// The cache of the process, made when the library is loaded and wiped when
// it is unloaded. Nothing uses it before main or DllMain has run.
CTokenCache &ProcessTokenCache();

// The fetch a call owns after kFetch: abandoned when it is not finished.
class CFetchTicket {
 public:
  CFetchTicket(CTokenCache &cache, const CTokenKey &key) : m_cache(cache), m_key(key) {}
  ~CFetchTicket() {
    if (!m_done) m_cache.Abandon(m_key);
  }
  CFetchTicket(const CFetchTicket &) = delete;
  CFetchTicket &operator=(const CFetchTicket &) = delete;

  void Finish(const CSecretString *token, const CFetchDetails &details, const std::string &text) {
    m_done = true;
    m_cache.Finish(m_key, token, details, text);
  }

 private:
  CTokenCache &m_cache;
  const CTokenKey &m_key;
  bool m_done = false;
};

#endif
