#include "oauth/token_fetch.h"

#include "mail/secure_zero.h"
#include "oauth/https_post.h"
#include "oauth/oauth_texts.h"
#include "oauth/token_form.h"
#include "oauth/token_reply.h"

namespace {

// The text of an exchange that gave no reply to read.
std::string OutcomeText(HttpsOutcome outcome, int error) {
  switch (outcome) {
    case HttpsOutcome::kSetup:
      return FormatOAuthText(kTextOAuthSetup, error);
    case HttpsOutcome::kResolve:
      return FormatOAuthText(kTextOAuthResolve, error);
    case HttpsOutcome::kTimedOut:
      return kTextOAuthTimeout;
    case HttpsOutcome::kHandshake:
      return FormatOAuthText(kTextOAuthHandshake, error);
    case HttpsOutcome::kUntrusted:
      return FormatOAuthText(kTextOAuthUntrusted, error);
    case HttpsOutcome::kNameMismatch:
      return kTextOAuthNameMismatch;
    case HttpsOutcome::kTooLarge:
      return kTextOAuthTooLarge;
    case HttpsOutcome::kDone:
    case HttpsOutcome::kUnreachable:
      break;
  }
  return FormatOAuthText(kTextOAuthUnreachable, error);
}

// Where an exchange has completed: its URL and HTTP status are known here,
// and nothing secret is passed. A trace of the call would report them from
// this one place.
void ExchangeCompleted(const std::string & /*url*/, int /*status*/) {}

}  // namespace

bool FetchToken(const CTokenEndpoint &endpoint, std::string_view secret, CSecretString &token,
                std::string &text) {
  token.clear();
  std::string form;
  CWipeStringOnExit wipeForm(form);
  BuildTokenForm(endpoint.clientId, secret, endpoint.scope, form);

  CHttpsPost post;
  post.url = endpoint.url;
  post.verify = endpoint.verify;
  post.timeoutMs = endpoint.timeoutMs;
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
  ExchangeCompleted(endpoint.url, status);
  return ReadTokenReply(status, refusedAtLength ? std::string() : body.Bytes(), secret, token,
                        text);
}
