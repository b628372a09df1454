#include "proc/profile_admin.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "charset/ascii_case.h"
#include "charset/system_name.h"
#include "mail/recipient_entry.h"
#include "mail/smtp_mail.h"
#include "proc/call_options.h"
#include "proc/com_guard.h"
#include "proc/ods_calls.h"
#include "proc/param_refusals.h"
#include "proc/profile_policy.h"
#include "proc/profile_texts.h"
#include "proc/request_failure.h"
#include "proc/result_set.h"
#include "proc/xp_params.h"
#include "profile/profile_store.h"

namespace {

// Every refusal, as every refusal of mailvane.
constexpr int kTextLine = 252;
constexpr int kUnknownLine = 260;
constexpr char kUnknownError[] = "Unknown error.";

constexpr int kMaxPort = 65535;
constexpr std::size_t kMaxPortDigits = 5;
constexpr char kPublic[] = "public";

constexpr char kTextByNameOnly[] = "mailvane_profile takes its parameters by name.";
constexpr char kTextBadAccount[] =
    "@account must be a number from 1 to 8 (a profile holds at most 8 accounts).";
constexpr char kTextBadPort[] = "@port must be a number from 1 to 65535.";
constexpr char kTextBadAllow[] = "@allow must be 'public' or login names separated by ';'.";
constexpr char kTextNeedsAllow[] = "@allow is required for a new profile.";
constexpr char kTextNeedsServer[] = "A new profile needs @server for its first account.";
constexpr char kTextServerEmpty[] = "@server can not be empty.";
constexpr char kTextPwdNeedsUser[] = "@pwd needs @user.";
constexpr char kTextBadDelete[] = "@delete must be 'yes'.";
constexpr char kTextBeyondAscii[] =
    " holds characters beyond ASCII as varchar; pass it as nvarchar (N'...').";

// Parameters of the account, and those of the whole call.
constexpr const char *kAccountParams[] = {
    "@server", "@port", "@tls", "@tls_verify", "@auth", "@user", "@pwd", "@oauth_token_url",
    "@oauth_client_id", "@oauth_scope", "@timeout"};
constexpr const char *kOtherParams[] = {"@profile", "@account", "@from", "@allow",
                                        "@delete",  "@policy",  "@value"};

// ODS did not take a result set: "Unknown error.", as any failure without
// a text.
struct CNoResultSet {};

bool IsOneOf(const std::string &name, const char *const *names, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (SameAsciiText(name, names[i])) return true;
  return false;
}

template <std::size_t N>
bool IsOneOf(const std::string &name, const char *const (&names)[N]) {
  return IsOneOf(name, names, N);
}

class CAdminCall {
 public:
  explicit CAdminCall(CXPData *srvproc) : m_params(srvproc) {
    for (const CXpParam &p : m_params.All()) {
      if (p.name.empty()) throw CRequestFailure(kTextByNameOnly);
      if (!IsOneOf(p.name, kAccountParams) && !IsOneOf(p.name, kOtherParams))
        throw CRequestFailure("Unknown parameter " + p.name + ".");
    }
  }

  bool Given(const char *name) const { return m_params.Find(name, 0) != nullptr; }
  // The first parameter given of names, or null.
  template <std::size_t N>
  const char *FirstGiven(const char *const (&names)[N]) const {
    for (const char *name : names)
      if (Given(name)) return name;
    return nullptr;
  }

  // The value as UTF-8 text: a Unicode value converted, a varchar value
  // of ASCII only, no NUL.
  template <class Text>
  Text Value(const char *name) const {
    Text value;
    ParamText form = ParamText::kBytes;
    m_params.GetParam(name, 0, value, &form);
    if (form == ParamText::kInvalidUtf16) throw CRequestFailure(std::string(name) + kTextInvalidUtf16);
    if (value.find('\0') != Text::npos) throw CRequestFailure(std::string(name) + kTextNul);
    if (form == ParamText::kBytes)
      for (char c : value)
        if (static_cast<unsigned char>(c) > 0x7F)
          throw CRequestFailure(std::string(name) + kTextBeyondAscii);
    return value;
  }
  std::string Text(const char *name) const { return Value<std::string>(name); }
  CSecretString Secret(const char *name) const { return Value<CSecretString>(name); }

 private:
  CXpParams m_params;
};

// Digits only, from 1 to maximum; 0 for anything else.
int Number(const std::string &text, std::size_t maxDigits, int maximum) {
  if (text.empty() || text.size() > maxDigits) return 0;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n <= maximum ? n : 0;
}

int AccountNumber(const CAdminCall &call) {
  if (!call.Given("@account")) return 1;
  const int number = Number(call.Text("@account"), 1, kMaxAccounts);
  if (number == 0) throw CRequestFailure(kTextBadAccount);
  return number;
}

// The account's options through the call's own table: the same rules and
// texts.
void CheckOptions(const CAdminCall &call, bool hasUser) {
  CCallOptions options;
  auto read = [&call](const char *name, std::string &value) {
    if (SameAsciiText(name, "@profile") || IsOneOf(name, kAccountParams)) value = call.Text(name);
  };
  if (const char *refusal = ReadCallOptions(read, hasUser, options)) throw CRequestFailure(refusal);
}

CProfileAccount ReadAccount(const CAdminCall &call, int number) {
  CProfileAccount a;
  a.number = number;
  a.server = call.Text("@server");
  if (a.server.empty()) throw CRequestFailure(kTextServerEmpty);
  if (call.Given("@port")) {
    a.port = Number(call.Text("@port"), kMaxPortDigits, kMaxPort);
    if (a.port == 0) throw CRequestFailure(kTextBadPort);
  }
  a.user = call.Secret("@user");
  a.secret = call.Secret("@pwd");
  if (!a.secret.empty() && a.user.empty()) throw CRequestFailure(kTextPwdNeedsUser);
  CheckOptions(call, !a.user.empty());
  a.tls = call.Text("@tls");
  a.tlsVerify = call.Text("@tls_verify");
  a.auth = call.Text("@auth");
  a.timeout = call.Text("@timeout");
  a.oauthTokenUrl = call.Text("@oauth_token_url");
  a.oauthClientId = call.Text("@oauth_client_id");
  a.oauthScope = call.Text("@oauth_scope");
  return a;
}

// The default sender, checked as a call's "@from" is.
void CheckFrom(const std::string &from) {
  if (from.empty()) return;
  CSmtpMail mail;
  const HResult code = mail.SetFrom(from.c_str(), kUtf8CodePage, TextSource::kUtf8);
  if (code == kRefusedAddress)
    throw CRequestFailure(
        RefusedEntryText("@from", ClientText(mail.GetRefusedEntry(), TextSource::kUtf8)));
  if (code != S_OK) {
    char text[64];
    std::snprintf(text, sizeof text, "Error(@from): \t%x", static_cast<std::uint32_t>(code));
    throw CRequestFailure(text);
  }
}

// 'public', or logins separated by ";", each printable and not blank.
void CheckAllow(const std::string &allow) {
  if (SameAsciiText(allow, kPublic)) return;
  bool any = false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = allow.find(';', start);
    const std::string login = allow.substr(start, end == std::string::npos ? end : end - start);
    bool blank = true;
    for (char c : login) {
      const unsigned char byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7F) throw CRequestFailure(kTextBadAllow);
      blank = blank && c == ' ';
    }
    if (blank && end != std::string::npos) throw CRequestFailure(kTextBadAllow);
    any = any || !blank;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (!any) throw CRequestFailure(kTextBadAllow);
}

void Change(const StoreChanger &change) {
  std::string text;
  if (!UpdateProfileStore(change, text)) throw CRequestFailure(text);
}

void SetProfile(const CAdminCall &call, const std::string &name) {
  const int number = AccountNumber(call);
  const bool accountGiven = call.Given("@account") || call.FirstGiven(kAccountParams) != nullptr;
  std::optional<CProfileAccount> account;
  if (accountGiven) account = ReadAccount(call, number);
  std::optional<std::string> from, allow;
  if (call.Given("@from")) CheckFrom(*(from = call.Text("@from")));
  if (call.Given("@allow")) CheckAllow(*(allow = call.Text("@allow")));
  Change([&](CProfileStore &store, CStoreChange &change, std::string &text) {
    CProfile created;
    CProfile *profile = store.Find(name);
    if (profile == nullptr) {
      text = !allow ? kTextNeedsAllow : !account ? kTextNeedsServer : "";
      if (!text.empty()) return false;
      profile = &created;
    }
    // The name as it was given last.
    profile->name = name;
    if (from) profile->from = *from;
    if (allow) profile->allow = *allow;
    if (account) profile->SetAccount(std::move(*account));
    if (profile == &created) store.Put(std::move(created));
    change.profile = name;
    return true;
  });
}

void Delete(const CAdminCall &call, const std::string &name) {
  if (!SameAsciiText(call.Text("@delete"), "yes")) throw CRequestFailure(kTextBadDelete);
  for (const char *other : {"@from", "@allow"})
    if (call.Given(other)) throw CRequestFailure(std::string(other) + " can not be given with @delete.");
  if (const char *other = call.FirstGiven(kAccountParams))
    throw CRequestFailure(std::string(other) + " can not be given with @delete.");
  const bool one = call.Given("@account");
  const int number = AccountNumber(call);
  Change([&](CProfileStore &store, CStoreChange &change, std::string &text) {
    CProfile *profile = store.Find(name);
    if (profile == nullptr) {
      text = UnknownProfileText(name);
      return false;
    }
    change.profile = profile->name;
    if (!one) return store.Remove(name);
    if (profile->Account(number) == nullptr || profile->accounts.size() == 1) {
      text = "Profile '" + profile->name + "' has " +
             (profile->Account(number) == nullptr
                  ? "no account " + std::to_string(number) + "."
                  : "no account but " + std::to_string(number) + ": delete the profile.");
      return false;
    }
    std::erase_if(profile->accounts,
                  [number](const CProfileAccount &a) { return a.number == number; });
    return true;
  });
}

void SetPolicy(const CAdminCall &call) {
  if (const char *other = call.FirstGiven(kAccountParams))
    throw CRequestFailure(std::string(other) + " can not be given with @policy.");
  for (const char *other : {"@profile", "@account", "@from", "@allow", "@delete"})
    if (call.Given(other)) throw CRequestFailure(std::string(other) + " can not be given with @policy.");
  const std::string name = call.Text("@policy");
  const std::string value = call.Text("@value");
  CProfilePolicy checked;
  if (const char *refusal = SetPolicyValue(checked, name, value)) throw CRequestFailure(refusal);
  Change([&](CProfileStore &store, CStoreChange &change, std::string &) {
    SetPolicyValue(store.policy, name, value);
    change.policy = true;
    return true;
  });
}

std::optional<int> OptionalNumber(int value) {
  return value != 0 ? std::optional<int>(value) : std::nullopt;
}

void List(CXPData *srvproc) {
  CProfileStore store;
  std::string text;
  if (!LoadProfileStore(store, text)) throw CRequestFailure(text);
  using T = CResultSet::Type;
  CResultSet accounts(srvproc, {{"profile", T::kText},         {"account", T::kInt},
                                {"server", T::kText},          {"port", T::kInt},
                                {"tls", T::kText},             {"tls_verify", T::kText},
                                {"auth", T::kText},            {"user", T::kText},
                                {"oauth_token_url", T::kText}, {"oauth_client_id", T::kText},
                                {"oauth_scope", T::kText},     {"timeout", T::kText},
                                {"from", T::kText},            {"allow", T::kText},
                                {"secret_set", T::kText}});
  if (!accounts.Ready()) throw CNoResultSet();
  for (const CProfile &p : store.profiles)
    for (const CProfileAccount &a : p.accounts) {
      const std::string_view fields[] = {a.tls,           a.tlsVerify,     a.auth,
                                         a.user,          a.oauthTokenUrl, a.oauthClientId,
                                         a.oauthScope,    a.timeout,       p.from,
                                         p.allow,         a.secret.empty() ? "no" : "yes"};
      accounts.SetText(0, p.name);
      accounts.SetInt(1, a.number);
      accounts.SetText(2, a.server);
      accounts.SetInt(3, OptionalNumber(a.port));
      for (std::size_t i = 0; i < std::size(fields); ++i) accounts.SetText(4 + i, fields[i]);
      accounts.SendRow();
    }
  accounts.End();
  CResultSet policy(srvproc, {{"policy", T::kText}, {"value", T::kText}});
  if (!policy.Ready()) throw CNoResultSet();
  const CProfilePolicy &p = store.policy;
  const std::pair<const char *, std::string> rows[] = {
      {kPolicyRequireProfile, RequiresProfile(p) ? "yes" : "no"},
      {kPolicyAttachmentFolders, p.attachmentFolders},
      {kPolicyAllowUnc, AllowsUnc(p) ? "yes" : "no"}};
  for (const auto &[name, value] : rows) {
    policy.SetText(0, name);
    policy.SetText(1, value);
    policy.SendRow();
  }
  policy.End();
}

void Run(CXPData *srvproc) {
  CAdminCall call(srvproc);
  if (call.Given("@policy")) return SetPolicy(call);
  // The name by the rule "@profile" has in a call.
  const std::string name = call.Text("@profile");
  CCallOptions options;
  auto read = [&name](const char *option, std::string &value) {
    if (SameAsciiText(option, "@profile")) value = name;
  };
  if (const char *refusal = ReadCallOptions(read, false, options)) throw CRequestFailure(refusal);
  if (name.empty()) {
    if (const char *other = call.FirstGiven(kAccountParams))
      throw CRequestFailure(std::string(other) + " needs @profile.");
    for (const char *other : {"@account", "@from", "@allow", "@delete", "@value"})
      if (call.Given(other)) throw CRequestFailure(std::string(other) + " needs @profile.");
    return List(srvproc);
  }
  if (call.Given("@value")) throw CRequestFailure("@value needs @policy.");
  if (call.Given("@delete")) return Delete(call, name);
  SetProfile(call, name);
}

}  // namespace

bool RunProfileAdmin(CXPData *srvproc) {
  // The sender's check makes a mail, whose charset service is a COM
  // object on Windows.
  CComGuard com;
  try {
    Run(srvproc);
    ReplyDone(srvproc);
    return true;
  } catch (const CRequestFailure &refusal) {
    ReplyFailure(srvproc, kTextLine, refusal.Text().c_str());
  } catch (...) {
    ReplyFailure(srvproc, kUnknownLine, kUnknownError);
  }
  return false;
}
