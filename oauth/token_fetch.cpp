#include "oauth/token_fetch.h"

#include <chrono>
#include <cstdio>

#include "mail/secure_zero.h"
#include "oauth/https_post.h"
#include "oauth/oauth_texts.h"
#include "oauth/retry_after.h"
#include "oauth/token_form.h"
#include "oauth/token_reply.h"

namespace {

// The text of an exchange that gave no reply to read.
std::string OutcomeText(HttpsOutcome outcome, int error) {
  switch (outcome) {
    case HttpsOutcome::kSetup:
      return FormatText(kTextOAuthSetup, error);
    case HttpsOutcome::kResolve:
      return FormatText(kTextOAuthResolve, error);
    case HttpsOutcome::kTimedOut:
      return kTextOAuthTimeout;
    case HttpsOutcome::kHandshake:
      return FormatText(kTextOAuthHandshake, error);
    case HttpsOutcome::kUntrusted:
      return FormatText(kTextOAuthUntrusted, error);
    case HttpsOutcome::kNameMismatch:
      return kTextOAuthNameMismatch;
    case HttpsOutcome::kTooLarge:
      return kTextOAuthTooLarge;
    case HttpsOutcome::kCancelled:
      return kTextCallCancelled;
    case HttpsOutcome::kDone:
    case HttpsOutcome::kUnreachable:
      break;
  }
  return FormatText(kTextOAuthUnreachable, error);
}

constexpr char kSchemeEnd[] = "://";
constexpr char kHiddenUserInfo[] = "<credentials hidden>@";

// Where an exchange has completed: its URL and HTTP status are known here,
// and nothing secret is passed.
void ExchangeCompleted(const std::string &url, int status, CTraceSink *trace) {
  if (trace == nullptr) return;
  trace->Trace("token endpoint " + ShownTokenUrl(url) + ": HTTP " + std::to_string(status));
}

std::int64_t UnixSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A refusal that asks for a wait: its text names the wait, and the details
// carry it to the cache. The error fields are those the refusal text shows
// after its head, by the same rules.
void AskedWait(int status, const std::string &retryAfter, std::string &text,
               CFetchDetails &details) {
  if (status != kStatusTooManyRequests && status != kStatusUnavailable) return;
  const std::optional<std::int64_t> seconds = RetryAfterSeconds(retryAfter, UnixSeconds());
  const std::string head = FormatText(kTextOAuthRefused, status);
  if (!seconds || *seconds <= 0 || text.compare(0, head.size(), head) != 0) return;
  details.waitSeconds = *seconds;
  details.status = status;
  details.refusalFields = text.substr(head.size());
  text = WaitText(details.waitSeconds, status, details.refusalFields);
}

}  // namespace

std::string WaitText(std::int64_t seconds, int status, const std::string &fields) {
  char head[kTextSize];
  std::snprintf(head, sizeof head, kTextOAuthWait, static_cast<int>(seconds), status);
  return head + fields;
}

std::string ShownTokenUrl(const std::string &url) {
  // The authority runs from the scheme to the first "/", "?" or "#"; its
  // user information ends at its last "@" (RFC 3986 section 3.2).
  std::size_t start = url.find(kSchemeEnd);
  if (start == std::string::npos) return url;
  start += sizeof kSchemeEnd - 1;
  std::size_t end = url.find_first_of("/?#", start);
  if (end == std::string::npos) end = url.size();
  std::size_t at = url.rfind('@', end - 1);
  if (at == std::string::npos || at < start) return url;
  return url.substr(0, start) + kHiddenUserInfo + url.substr(at + 1);
}

bool FetchToken(const CTokenEndpoint &endpoint, std::string_view secret, CSecretString &token,
                std::string &text, CTraceSink *trace, CFetchDetails *details,
                CCancelProbe *cancel) {
  CFetchDetails ignored;
  CFetchDetails &told = details != nullptr ? *details : ignored;
  told = CFetchDetails();
  token.clear();
  std::string form;
  CWipeStringOnExit wipeForm(form);
  BuildTokenForm(endpoint.clientId, secret, endpoint.scope, form);

  CHttpsPost post;
  post.url = endpoint.url;
  post.verify = endpoint.verify;
  post.timeoutMs = endpoint.timeoutMs;
  post.cancel = cancel;
  std::string retryAfter;
  post.retryAfter = &retryAfter;
  int status = 0;
  int error = 0;
  CReplyBody body;
  HttpsOutcome outcome = PostForm(post, form, &status, body, &error);
  // An error page too large to read says enough by its status.
  bool refusedAtLength = outcome == HttpsOutcome::kTooLarge && status != 0 && status != kStatusOk;
  if (outcome != HttpsOutcome::kDone && !refusedAtLength) {
    text = OutcomeText(outcome, error);
    return false;
  }
  ExchangeCompleted(endpoint.url, status, trace);
  // The body is read where it was received; what came of a page too large
  // is not read at all.
  if (refusedAtLength) body.Bytes().Wipe();
  if (ReadTokenReply(status, body.Bytes(), secret, token, text, &told.expiresIn)) return true;
  AskedWait(status, retryAfter, text, told);
  return false;
}
