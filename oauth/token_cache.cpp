#include "oauth/token_cache.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "mail/secure_zero.h"
#include "mime/secure_random.h"
#include "oauth/oauth_texts.h"

namespace {

constexpr std::int64_t kMsPerSecond = 1000;

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Whole seconds of ms, rounded up: a wait of 59.2 s left is shown as 60.
std::int64_t SecondsUp(std::int64_t ms) { return (ms + kMsPerSecond - 1) / kMsPerSecond; }

CTokenCache g_processCache;

}  // namespace

bool CTokenKey::operator==(const CTokenKey &other) const {
  return verify == other.verify &&
         std::memcmp(secretHash, other.secretHash, sizeof secretHash) == 0 &&
         url == other.url && clientId == other.clientId && scope == other.scope;
}

// A kept token, or the wait an endpoint asked for (token empty).
struct CTokenCache::CEntry {
  CTokenKey key;
  std::int64_t untilMs = 0;
  CSecretString token;
  int waitStatus = 0;
  std::string waitFields;
};

// One fetch and its outcome, read by the fetcher and by the calls that
// waited for it; the last of them frees it.
struct CTokenCache::CFlight {
  enum State { kRunning, kFetched, kFailed, kAbandoned };
  CTokenKey key;
  int state = kRunning;
  CSecretString token;
  std::string text;
  int users = 1;
};

CTokenCache::CTokenCache(const CCacheClock *clock) : m_clock(clock) {}

CTokenCache::~CTokenCache() {
  m_entries.clear();
  m_flights.clear();
  SecureZero(m_key, sizeof m_key);
}

CTokenCache &ProcessTokenCache() { return g_processCache; }

std::int64_t CTokenCache::NowMs() const {
  return m_clock != nullptr ? m_clock->NowMs() : SteadyMs();
}

bool CTokenCache::MakeKey(const CTokenEndpoint &endpoint, std::string_view secret,
                          CTokenKey &key) {
  CLockHold hold(m_lock);
  if (!m_keyMade) {
    std::int32_t error = 0;
    m_keyMade = ReadSecureRandom(m_key, sizeof m_key, &error);
    if (!m_keyMade) return false;
  }
  key.url.assign(endpoint.url.data(), endpoint.url.size());
  key.clientId.assign(endpoint.clientId.data(), endpoint.clientId.size());
  key.scope.assign(endpoint.scope.data(), endpoint.scope.size());
  key.verify = endpoint.verify;
  return KeyedHash(m_key, sizeof m_key, secret, key.secretHash);
}

void CTokenCache::Purge(std::int64_t now) {
  std::erase_if(m_entries, [now](const std::unique_ptr<CEntry> &e) { return e->untilMs <= now; });
}

CTokenCache::CEntry *CTokenCache::Find(const CTokenKey &key) {
  for (const std::unique_ptr<CEntry> &e : m_entries)
    if (e->key == key) return e.get();
  return nullptr;
}

CTokenCache::CFlight *CTokenCache::Running(const CTokenKey &key) {
  for (const std::unique_ptr<CFlight> &f : m_flights)
    if (f->state == CFlight::kRunning && f->key == key) return f.get();
  return nullptr;
}

CTokenCache::CEntry &CTokenCache::Place(const CTokenKey &key, std::int64_t now) {
  Purge(now);
  if (CEntry *found = Find(key)) return *found;
  if (m_entries.size() >= kMaxEntries) {
    auto first = std::min_element(
        m_entries.begin(), m_entries.end(),
        [](const std::unique_ptr<CEntry> &a, const std::unique_ptr<CEntry> &b) {
          return a->untilMs < b->untilMs;
        });
    m_entries.erase(first);
  }
  auto entry = std::make_unique<CEntry>();
  entry->key = key;
  m_entries.push_back(std::move(entry));
  return *m_entries.back();
}

void CTokenCache::Release(CFlight *flight) {
  if (--flight->users > 0) return;
  std::erase_if(m_flights,
                [flight](const std::unique_ptr<CFlight> &f) { return f.get() == flight; });
}

TokenLookup CTokenCache::Look(const CTokenKey &key, int waitMs, CSecretString &token,
                              std::int64_t &secondsLeft, std::string &text,
                              CCancelProbe *cancel) {
  token.clear();
  secondsLeft = 0;
  const std::int64_t deadline = SteadyMs() + waitMs;
  CLockHold hold(m_lock);
  for (;;) {
    const std::int64_t now = NowMs();
    Purge(now);
    if (const CEntry *entry = Find(key)) {
      if (!entry->token.empty()) {
        token = entry->token;
        secondsLeft = (entry->untilMs - now) / kMsPerSecond;
        return TokenLookup::kKept;
      }
      text = WaitText(SecondsUp(entry->untilMs - now), entry->waitStatus, entry->waitFields);
      return TokenLookup::kFailed;
    }
    CFlight *flight = Running(key);
    if (flight == nullptr) {
      auto made = std::make_unique<CFlight>();
      made->key = key;
      m_flights.push_back(std::move(made));
      return TokenLookup::kFetch;
    }
    ++flight->users;
    while (flight->state == CFlight::kRunning) {
      const std::int64_t left = deadline - SteadyMs();
      if (left <= 0) {
        Release(flight);
        text = kTextOAuthTimeout;
        return TokenLookup::kFailed;
      }
      if (CancelAsked(cancel)) {
        Release(flight);
        text = kTextCallCancelled;
        return TokenLookup::kFailed;
      }
      m_ended.Wait(hold, static_cast<int>(left < kCancelSliceMs ? left : kCancelSliceMs));
    }
    const int state = flight->state;
    if (state == CFlight::kFetched) token = flight->token;
    if (state == CFlight::kFailed) text = flight->text;
    Release(flight);
    if (state == CFlight::kFetched) return TokenLookup::kShared;
    if (state == CFlight::kFailed) return TokenLookup::kFailed;
    // Abandoned: looked at again, and fetched by one of those that waited.
  }
}

void CTokenCache::End(const CTokenKey &key, int state, const CSecretString *token,
                      const std::string &text) {
  CFlight *flight = Running(key);
  if (flight == nullptr) return;
  if (token != nullptr) flight->token = *token;
  flight->text = text;
  flight->state = state;
  Release(flight);
  m_ended.WakeAll();
}

void CTokenCache::Finish(const CTokenKey &key, const CSecretString *token,
                         const CFetchDetails &details, const std::string &text) {
  CLockHold hold(m_lock);
  const std::int64_t now = NowMs();
  if (token != nullptr && details.expiresIn && *details.expiresIn > kKeepMarginSeconds) {
    const std::int64_t kept = std::min(*details.expiresIn, kMaxKeptSeconds) - kKeepMarginSeconds;
    CEntry &entry = Place(key, now);
    entry.token = *token;
    entry.untilMs = now + kept * kMsPerSecond;
    entry.waitStatus = 0;
    entry.waitFields.clear();
  } else if (token == nullptr && details.waitSeconds > 0) {
    CEntry &entry = Place(key, now);
    entry.token.Wipe();
    entry.untilMs = now + details.waitSeconds * kMsPerSecond;
    entry.waitStatus = details.status;
    entry.waitFields = details.refusalFields;
  }
  End(key, token != nullptr ? CFlight::kFetched : CFlight::kFailed, token, text);
}

void CTokenCache::Abandon(const CTokenKey &key) {
  CLockHold hold(m_lock);
  End(key, CFlight::kAbandoned, nullptr, std::string());
}

void CTokenCache::Drop(const CTokenKey &key, std::string_view token) {
  CLockHold hold(m_lock);
  std::erase_if(m_entries, [&](const std::unique_ptr<CEntry> &e) {
    return !e->token.empty() && std::string_view(e->token) == token && e->key == key;
  });
}

std::size_t CTokenCache::Entries() {
  CLockHold hold(m_lock);
  Purge(NowMs());
  return m_entries.size();
}
