#include "proc/call_options.h"

#include "charset/ascii_case.h"

namespace {

constexpr int kMsPerSecond = 1000;
// More digits than any valid "@timeout" has; longer texts are refused
// before they are converted, so nothing overflows.
constexpr std::size_t kMaxTimeoutDigits = 3;
// Token endpoints are short; a longer text is a mistake, not a URL.
constexpr std::size_t kMaxUrlLength = 2048;
constexpr char kHttpsPrefix[] = "https://";

constexpr char kTextBadTls[] = "@tls must be 'starttls', 'implicit' or empty.";
constexpr char kTextBadTlsVerify[] = "@tls_verify must be 'yes' or 'no'.";
constexpr char kTextBadAuth[] = "@auth must be 'plain', 'login', 'xoauth2', 'oauthbearer' or empty.";
constexpr char kTextBadTrace[] = "@trace must be 'yes' or 'no'.";
constexpr char kTextBadRaise[] = "@raise must be 'yes' or 'no'.";
constexpr char kTextBadTimeout[] = "@timeout must be a whole number of seconds from 1 to 600.";
constexpr char kTextBadTokenUrl[] = "@oauth_token_url must be an https URL.";
constexpr char kTextBadClientId[] = "@oauth_client_id must be printable text.";
constexpr char kTextBadScope[] = "@oauth_scope must be printable text.";
constexpr char kTextAuthNeedsUser[] = "@auth needs @user.";
constexpr char kTextTokenNeedsUser[] = "@oauth_token_url needs @user.";
constexpr char kTextTokenNeedsClient[] = "@oauth_token_url needs @oauth_client_id.";
constexpr char kTextBadProfile[] = "@profile must be 1 to 128 printable characters.";
constexpr char kTextClientNeedsUrl[] = "@oauth_client_id and @oauth_scope need @oauth_token_url.";
constexpr char kTextBadRowsAttachment[] =
    "@rows_attachment must be a file name (no path, at most 260 characters).";
constexpr char kTextBadImportance[] = "@importance must be 'low', 'normal' or 'high'.";
constexpr char kTextBadSensitivity[] =
    "@sensitivity must be 'normal', 'personal', 'private' or 'confidential'.";
constexpr char kTextBadReplyTo[] = "@reply_to can not contain a NUL character.";
// An attachment's name holds what a path does (MAX_PATH).
constexpr std::size_t kMaxFileName = 260;

bool Printable(const std::string &value, bool blanks) {
  for (char c : value) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || (!blanks && byte == ' ')) return false;
  }
  return true;
}

// A URL is ASCII (RFC 3986 section 2): a host beyond it is written in its
// punycode form.
bool Ascii(const std::string &value) {
  for (char c : value)
    if (static_cast<unsigned char>(c) > 0x7F) return false;
  return true;
}

// The keyword values of one option: the value each stands for. The empty
// text is always the default and is not listed.
struct CKeyword {
  const char *text;
  int value;
};

// Finds value among keywords; false when it is none of them.
template <std::size_t N>
bool MatchKeyword(const std::string &value, const CKeyword (&keywords)[N], int &out) {
  for (const CKeyword &k : keywords)
    if (SameAsciiText(value, k.text)) {
      out = k.value;
      return true;
    }
  return false;
}

const CKeyword kYesNo[] = {{"yes", 1}, {"no", 0}};

bool ReadTls(const std::string &value, CCallOptions &o) {
  static constexpr CKeyword kModes[] = {{"starttls", static_cast<int>(TlsMode::kStartTls)},
                                        {"implicit", static_cast<int>(TlsMode::kImplicit)}};
  int mode = static_cast<int>(TlsMode::kNone);
  if (!value.empty() && !MatchKeyword(value, kModes, mode)) return false;
  o.tls = static_cast<TlsMode>(mode);
  return true;
}

bool ReadTlsVerify(const std::string &value, CCallOptions &o) {
  int yes = 1;
  if (!value.empty() && !MatchKeyword(value, kYesNo, yes)) return false;
  o.tlsVerify = yes != 0;
  return true;
}

bool ReadAuth(const std::string &value, CCallOptions &o) {
  static constexpr CKeyword kMechanisms[] = {
      {"plain", static_cast<int>(AuthMechanism::kPlain)},
      {"login", static_cast<int>(AuthMechanism::kLogin)},
      {"xoauth2", static_cast<int>(AuthMechanism::kXOAuth2)},
      {"oauthbearer", static_cast<int>(AuthMechanism::kOAuthBearer)}};
  int mechanism = static_cast<int>(AuthMechanism::kChoose);
  if (!value.empty() && !MatchKeyword(value, kMechanisms, mechanism)) return false;
  o.auth = static_cast<AuthMechanism>(mechanism);
  return true;
}

// 'yes' or 'no'; the empty value is no.
bool ReadYesNo(const std::string &value, bool &out) {
  int yes = 0;
  if (!value.empty() && !MatchKeyword(value, kYesNo, yes)) return false;
  out = yes != 0;
  return true;
}

bool ReadTrace(const std::string &value, CCallOptions &o) { return ReadYesNo(value, o.trace); }

bool ReadRaise(const std::string &value, CCallOptions &o) { return ReadYesNo(value, o.raise); }

bool ReadTimeout(const std::string &value, CCallOptions &o) {
  if (value.empty()) {
    o.timeoutSeconds = 0;
    return true;
  }
  if (value.size() > kMaxTimeoutDigits) return false;
  int seconds = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    seconds = seconds * 10 + (c - '0');
  }
  if (seconds < kMinTimeoutSeconds || seconds > kMaxTimeoutSeconds) return false;
  o.timeoutSeconds = seconds;
  return true;
}

bool ReadTokenUrl(const std::string &value, CCallOptions &o) {
  if (!value.empty()) {
    const std::size_t prefix = sizeof kHttpsPrefix - 1;
    // A host must follow the scheme.
    if (value.size() <= prefix || value.size() > kMaxUrlLength ||
        !SameAsciiText(value.substr(0, prefix), kHttpsPrefix) || value[prefix] == '/' ||
        !Printable(value, false) || !Ascii(value))
      return false;
  }
  o.oauthTokenUrl = value;
  return true;
}

bool ReadClientId(const std::string &value, CCallOptions &o) {
  if (!Printable(value, true)) return false;
  o.oauthClientId = value;
  return true;
}

bool ReadScope(const std::string &value, CCallOptions &o) {
  if (!Printable(value, true)) return false;
  o.oauthScope = value.empty() ? kDefaultOAuthScope : value;
  return true;
}

// The rows are checked as JSON by the mail, where a NUL is a fault at its
// offset; here only what would cut the other texts short.
bool ReadRows(const std::string &value, CCallOptions &o) {
  o.rows = value;
  return true;
}

// The name is shown, never opened: no path, nothing that is no text.
bool ReadRowsAttachment(const std::string &value, CCallOptions &o) {
  if (value.size() > kMaxFileName) return false;
  for (char c : value) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\' || c == ':') return false;
  }
  o.rowsAttachment = value;
  return true;
}

bool ReadImportance(const std::string &value, CCallOptions &o) {
  static constexpr CKeyword kLevels[] = {{"low", static_cast<int>(Importance::kLow)},
                                         {"normal", static_cast<int>(Importance::kNormal)},
                                         {"high", static_cast<int>(Importance::kHigh)}};
  int level = static_cast<int>(Importance::kUnset);
  if (!value.empty() && !MatchKeyword(value, kLevels, level)) return false;
  o.importance = static_cast<Importance>(level);
  return true;
}

bool ReadSensitivity(const std::string &value, CCallOptions &o) {
  static constexpr CKeyword kLevels[] = {
      {"normal", static_cast<int>(Sensitivity::kNormal)},
      {"personal", static_cast<int>(Sensitivity::kPersonal)},
      {"private", static_cast<int>(Sensitivity::kPrivate)},
      {"confidential", static_cast<int>(Sensitivity::kConfidential)}};
  int level = static_cast<int>(Sensitivity::kNormal);
  if (!value.empty() && !MatchKeyword(value, kLevels, level)) return false;
  o.sensitivity = static_cast<Sensitivity>(level);
  return true;
}

// A recipient list: the mail parses it, and refuses what it refuses in
// the other lists.
bool ReadReplyTo(const std::string &value, CCallOptions &o) {
  if (value.find('\0') != std::string::npos) return false;
  o.replyTo = value;
  return true;
}

// Characters, not bytes: a UTF-8 continuation byte adds none.
bool ReadProfile(const std::string &value, CCallOptions &o) {
  std::size_t characters = 0;
  for (char c : value)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
  if (characters > kMaxProfileName || !Printable(value, true)) return false;
  o.profile = value;
  return true;
}

struct COptionRow {
  const char *name;
  bool (*read)(const std::string &value, CCallOptions &options);
  const char *refusal;
};

constexpr COptionRow kOptions[] = {
    {"@tls", ReadTls, kTextBadTls},
    {"@tls_verify", ReadTlsVerify, kTextBadTlsVerify},
    {"@auth", ReadAuth, kTextBadAuth},
    {"@trace", ReadTrace, kTextBadTrace},
    {"@timeout", ReadTimeout, kTextBadTimeout},
    {"@oauth_token_url", ReadTokenUrl, kTextBadTokenUrl},
    {"@oauth_client_id", ReadClientId, kTextBadClientId},
    {"@oauth_scope", ReadScope, kTextBadScope},
    {"@raise", ReadRaise, kTextBadRaise},
    {"@rows", ReadRows, kTextRowsNotJson},
    {"@rows_attachment", ReadRowsAttachment, kTextBadRowsAttachment},
    {"@importance", ReadImportance, kTextBadImportance},
    {"@sensitivity", ReadSensitivity, kTextBadSensitivity},
    {"@reply_to", ReadReplyTo, kTextBadReplyTo},
    {"@profile", ReadProfile, kTextBadProfile},
};

}  // namespace

const char *ReadCallOptions(const OptionReader &read, bool hasUser, CCallOptions &options) {
  bool clientOrScope = false;
  for (const COptionRow &row : kOptions) {
    std::string value;
    read(row.name, value);
    if (!row.read(value, options)) return row.refusal;
    if (row.read == ReadClientId || row.read == ReadScope) clientOrScope |= !value.empty();
  }
  if (options.FetchesToken()) {
    if (!hasUser) return kTextTokenNeedsUser;
    if (options.oauthClientId.empty()) return kTextTokenNeedsClient;
  } else if (clientOrScope) {
    return kTextClientNeedsUrl;
  }
  if (options.AuthGiven() && !hasUser) return kTextAuthNeedsUser;
  return nullptr;
}

void AppendCallOptionNames(std::vector<const char *> &names) {
  for (const COptionRow &row : kOptions) names.push_back(row.name);
}

void ApplyTls(const CCallOptions &options, CTlsSettings &settings) {
  settings.mode = options.tls;
  settings.verify = options.tlsVerify;
}

void ApplyTimeout(const CCallOptions &options, CSmtpTimeouts &timeouts) {
  if (options.timeoutSeconds == 0) return;
  const int ms = options.timeoutSeconds * kMsPerSecond;
  timeouts.connectMs = ms;
  // The drain only waits for the late lines of an EHLO reply and ends
  // when they have come: a longer limit would only make a broken server
  // cost more.
  if (ms < timeouts.ehloDrainMs) timeouts.ehloDrainMs = ms;
  timeouts.replyMs = ms;
  timeouts.dataReplyMs = ms;
  timeouts.writeMs = ms;
  timeouts.endOfDataMs = ms;
}

void ApplyTokenEndpoint(const CCallOptions &options, CTokenEndpoint &endpoint) {
  endpoint.url = options.oauthTokenUrl;
  endpoint.clientId = options.oauthClientId;
  endpoint.scope = options.oauthScope;
  endpoint.verify = options.tlsVerify;
  if (options.timeoutSeconds != 0) endpoint.timeoutMs = options.timeoutSeconds * kMsPerSecond;
}
