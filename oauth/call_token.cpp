#include "oauth/call_token.h"

#include <cstdint>

namespace {

void TraceSource(CTraceSink *trace, const std::string &url, const std::string &what) {
  if (trace != nullptr) trace->Trace("token endpoint " + ShownTokenUrl(url) + ": " + what);
}

}  // namespace

bool CCallToken::Obtain(const CTokenEndpoint &endpoint, std::string_view secret,
                        std::string &text, CTraceSink *trace, CCancelProbe *cancel) {
  m_kept = false;
  if (!m_keyed) m_keyed = m_cache.MakeKey(endpoint, secret, m_key);
  if (!m_keyed) return FetchToken(endpoint, secret, m_token, text, trace, nullptr, cancel);
  std::int64_t left = 0;
  switch (m_cache.Look(m_key, endpoint.timeoutMs, m_token, left, text, cancel)) {
    case TokenLookup::kKept:
      m_kept = true;
      TraceSource(trace, endpoint.url, "kept token, " + std::to_string(left) + " s left");
      return true;
    case TokenLookup::kShared:
      TraceSource(trace, endpoint.url, "token of a request already running");
      return true;
    case TokenLookup::kFailed:
      return false;
    case TokenLookup::kFetch:
      break;
  }
  CFetchTicket ticket(m_cache, m_key);
  CFetchDetails details;
  const bool fetched = FetchToken(endpoint, secret, m_token, text, trace, &details, cancel);
  ticket.Finish(fetched ? &m_token : nullptr, details, text);
  return fetched;
}

void CCallToken::Refused() {
  if (m_keyed) m_cache.Drop(m_key, m_token);
}
