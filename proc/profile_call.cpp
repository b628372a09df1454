#include "proc/profile_call.h"

#include "charset/ascii_case.h"
#include "charset/system_name.h"
#include "charset/utf8.h"
#include "proc/call_options.h"
#include "proc/ods_calls.h"
#include "proc/profile_policy.h"
#include "proc/profile_texts.h"
#include "proc/request_driver.h"
#include "proc/xp_params.h"
#include "profile/profile_store.h"

namespace {

constexpr char kProfileParam[] = "@profile";
constexpr char kPublic[] = "public";

// What a profile fixes: the caller may not give it.
constexpr const char *kCallerMayNotGive[] = {
    "@server", "@port",           "@user",           "@pwd",        "@auth",
    "@tls",    "@tls_verify",     "@oauth_token_url", "@oauth_client_id", "@oauth_scope"};

std::string Trimmed(const std::string &text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool AllowsLogin(const std::string &allow, const std::string &login) {
  if (SameAsciiText(Trimmed(allow), kPublic)) return true;
  if (login.empty()) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = allow.find(';', start);
    if (SameAsciiText(Trimmed(allow.substr(start, end == std::string::npos ? end : end - start)),
                      login))
      return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

CProfileCall::CProfileCall(const CXpParams &params) {
  params.GetParam(kProfileParam, 0, m_name);
}

std::string CProfileCall::Prepare(const CXpParams &params, CXPData *srvproc) {
  std::string text;
  if (!Named()) {
    if (!LoadProfilePolicy(m_policy, text)) return text;
    return RequiresProfile(m_policy) ? kTextProfileRequired : std::string();
  }
  for (const char *name : kCallerMayNotGive)
    if (params.Find(name, 0) != nullptr) return GivenWithProfileText(name);
  // The name by the option table's rule, before it is looked up.
  CCallOptions options;
  auto read = [this](const char *name, std::string &value) {
    if (SameAsciiText(name, kProfileParam)) value = m_name;
  };
  if (const char *refusal = ReadCallOptions(read, false, options)) return refusal;
  CProfileStore store;
  if (!LoadProfileStore(store, text)) return text;
  m_policy = store.policy;
  // The login as the server gives it, in its code page; the store holds
  // UTF-8.
  std::string login;
  const std::string given = ClientLogin(srvproc);
  if (!Utf8FromThreadCodePage(given.data(), given.size(), login)) login.clear();
  CProfile *profile = store.Find(m_name);
  if (profile == nullptr || !AllowsLogin(profile->allow, login))
    return UnknownProfileText(ClientText(m_name, TextSource::kUtf8));
  m_profile = std::move(*profile);
  return std::string();
}

const std::string *CProfileCall::Option(int i, const char *name) const {
  const CProfileAccount &a = Account(i);
  const struct {
    const char *name;
    const std::string *value;
  } options[] = {{"@tls", &a.tls},
                 {"@tls_verify", &a.tlsVerify},
                 {"@auth", &a.auth},
                 {"@timeout", &a.timeout},
                 {"@oauth_token_url", &a.oauthTokenUrl},
                 {"@oauth_client_id", &a.oauthClientId},
                 {"@oauth_scope", &a.oauthScope}};
  for (const auto &option : options)
    if (SameAsciiText(name, option.name)) return option.value;
  return nullptr;
}

std::string CProfileCall::TraceLine(int i) const {
  const CProfileAccount &a = Account(i);
  return AccountTraceLine(a.number, a.server, a.port != 0 ? a.port : ParsePort(""));
}
