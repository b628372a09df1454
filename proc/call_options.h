// The options of a call beyond its twelve parameters: "@tls",
// "@tls_verify", "@auth", "@trace", "@timeout", "@oauth_token_url",
// "@oauth_client_id", "@oauth_scope", "@raise" and "@profile"; and those of
// a report: "@rows", "@rows_attachment", "@importance", "@sensitivity" and
// "@reply_to".
//
// They have no position (a bare value never sets one) and are read through
// one table: each row names the option, the values it takes and the text
// that refuses any other value. Keyword values compare without case; the
// empty value (or no value, or NULL) is the option's default, so a call
// without them is exactly a call of the twelve parameters. A refusal is
// reported before the server is contacted.
#ifndef MAILVANE_PROC_CALL_OPTIONS_H
#define MAILVANE_PROC_CALL_OPTIONS_H

#include <functional>
#include <string>
#include <vector>

#include "mail/auth_mechanism.h"
#include "mail/message_marks.h"
#include "mail/smtp_timeouts.h"
#include "mail/tls_settings.h"
#include "oauth/token_fetch.h"

// Where an OAuth 2.0 token is for when "@oauth_scope" is not given: SMTP
// of the largest hosted mail service that asks for such tokens.
inline constexpr char kDefaultOAuthScope[] = "https://outlook.office365.com/.default";

// The refusal of "@rows" (the mail reads it, and the offset of the fault
// follows this text).
inline constexpr char kTextRowsNotJson[] = "@rows must be a JSON array of objects (FOR JSON PATH).";

// "@timeout", in whole seconds.
inline constexpr int kMinTimeoutSeconds = 1;
inline constexpr int kMaxTimeoutSeconds = 600;

// A profile's name, in characters.
inline constexpr std::size_t kMaxProfileName = 128;

struct CCallOptions {
  TlsMode tls = TlsMode::kNone;
  bool tlsVerify = true;
  AuthMechanism auth = AuthMechanism::kChoose;
  bool trace = false;
  int timeoutSeconds = 0;  // 0: the limits of the dialogue stay their own
  std::string oauthTokenUrl;
  std::string oauthClientId;
  std::string oauthScope = kDefaultOAuthScope;
  bool raise = false;  // a failure is sent with severity 16 (proc/call_report.h)
  // A report: the rows' JSON text (checked by the mail, which takes it),
  // the CSV attachment's name, the Reply-To list, and the marks.
  std::string rows;
  std::string rowsAttachment;
  std::string replyTo;
  Importance importance = Importance::kUnset;
  Sensitivity sensitivity = Sensitivity::kNormal;
  std::string profile;  // "": the call names its own server

  bool AuthGiven() const { return auth != AuthMechanism::kChoose; }
  bool FetchesToken() const { return !oauthTokenUrl.empty(); }
  // The rows go into the body (as a table), not into an attachment.
  bool RowsInBody() const { return !rows.empty() && rowsAttachment.empty(); }
};

// Fetches the value of the option with this name into value (left empty
// when it was not passed).
using OptionReader = std::function<void(const char *name, std::string &value)>;

// Reads every option of the table into options. Null when all are valid,
// else the refusal text of the first that is not (options then partly set).
// hasUser tells whether "@user" was given: the authentication options need
// it.
const char *ReadCallOptions(const OptionReader &read, bool hasUser, CCallOptions &options);

// Appends the name of every option of the table (the names a call may
// pass beyond the twelve).
void AppendCallOptionNames(std::vector<const char *> &names);

// The TLS part of the options, as the mail takes it; keeps the trust file.
void ApplyTls(const CCallOptions &options, CTlsSettings &settings);

// With "@timeout", every wait on the server is limited to it (the EHLO
// drain keeps its own limit when that is shorter).
void ApplyTimeout(const CCallOptions &options, CSmtpTimeouts &timeouts);

// The token endpoint of the call: its URL, client and scope; the
// certificate check of "@tls_verify"; "@timeout" as the limit of the whole
// exchange, when given.
void ApplyTokenEndpoint(const CCallOptions &options, CTokenEndpoint &endpoint);

#endif
