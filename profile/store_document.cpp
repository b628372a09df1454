#include "profile/store_document.h"

#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <string>
#include <string_view>
#include <vector>

#include "mail/wiping_json_allocator.h"
#include "profile/secret_seal.h"

namespace {

// The document's mark and the one version of its layout.
constexpr char kFormatKey[] = "mailvane_profiles";
constexpr unsigned kFormatVersion = 1;
constexpr unsigned kMaxPort = 65535;

constexpr unsigned kParseFlags =
    rapidjson::kParseInsituFlag | rapidjson::kParseValidateEncodingFlag;
// As in the token reply: the UTF-8 check reads up to three bytes past a
// lead byte without looking for the end, so as many NULs follow the text.
constexpr std::size_t kUtf8Overrun = 3;

// Where in the document the parser is.
enum class Where { kTop, kPolicy, kProfiles, kProfile, kAccounts, kAccount };

class CStoreReader : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, CStoreReader> {
 public:
  CStoreReader(CProfileStore &store, bool policyOnly) : m_store(store), m_policyOnly(policyOnly) {}

  bool formatSeen = false;
  int sealError = 0;

  bool Default() { return false; }
  bool Key(const char *text, rapidjson::SizeType length, bool) {
    m_key.assign(text, length);
    return true;
  }
  bool StartObject() {
    if (m_where.empty()) return Enter(Where::kTop);
    switch (m_where.back()) {
      case Where::kTop:
        return m_key == "policy" && Enter(Where::kPolicy);
      case Where::kProfiles:
        m_profiles.emplace_back();
        return Enter(Where::kProfile);
      case Where::kAccounts:
        m_profiles.back().accounts.emplace_back();
        m_profiles.back().accounts.back().number = 0;
        return Enter(Where::kAccount);
      default:
        return false;
    }
  }
  bool StartArray() {
    if (m_where.empty()) return false;
    if (m_where.back() == Where::kTop && m_key == "profiles") return Enter(Where::kProfiles);
    if (m_where.back() == Where::kProfile && m_key == "accounts") return Enter(Where::kAccounts);
    return false;
  }
  bool EndObject(rapidjson::SizeType) {
    const Where left = m_where.back();
    m_where.pop_back();
    if (left == Where::kAccount) return AccountComplete();
    if (left == Where::kProfile) return ProfileComplete();
    return true;
  }
  bool EndArray(rapidjson::SizeType) {
    m_where.pop_back();
    return true;
  }
  bool Uint(unsigned value) {
    if (m_where.size() == 1 && m_key == kFormatKey) return formatSeen = value == kFormatVersion;
    if (m_where.empty() || m_where.back() != Where::kAccount) return false;
    CProfileAccount &a = m_profiles.back().accounts.back();
    if (m_key == "account" && value >= 1 && value <= kMaxAccounts) {
      a.number = static_cast<int>(value);
      return true;
    }
    if (m_key == "port" && value >= 1 && value <= kMaxPort) {
      a.port = static_cast<int>(value);
      return true;
    }
    return false;
  }
  bool String(const char *text, rapidjson::SizeType length, bool) {
    if (m_where.empty()) return false;
    const std::string_view value(text, length);
    if (m_where.back() == Where::kAccount) return AccountString(value);
    std::string *field = nullptr;
    if (m_where.back() == Where::kPolicy) {
      CProfilePolicy &p = m_store.policy;
      field = m_key == "require_profile"      ? &p.requireProfile
              : m_key == "attachment_folders" ? &p.attachmentFolders
              : m_key == "allow_unc"          ? &p.allowUnc
                                              : nullptr;
    } else if (m_where.back() == Where::kProfile) {
      CProfile &p = m_profiles.back();
      field = m_key == "name" ? &p.name : m_key == "from" ? &p.from : m_key == "allow" ? &p.allow
                                                                                      : nullptr;
    }
    if (field == nullptr) return false;
    field->assign(value);
    return true;
  }

  // The profiles read, into the store.
  bool Finish() {
    if (!formatSeen) return false;
    for (std::size_t i = 0; i < m_profiles.size(); ++i)
      for (std::size_t j = 0; j < i; ++j)
        if (SameProfileName(m_profiles[i].name, m_profiles[j].name)) return false;
    if (!m_policyOnly)
      for (CProfile &p : m_profiles) m_store.Put(std::move(p));
    return true;
  }

 private:
  bool Enter(Where where) {
    m_where.push_back(where);
    return true;
  }

  bool AccountString(std::string_view value) {
    CProfileAccount &a = m_profiles.back().accounts.back();
    if (m_key == "user") {
      a.user.assign(value.data(), value.size());
      return true;
    }
    if (m_key == "secret") {
      // The sealed form is opened only where the secret is used.
      if (m_policyOnly) return true;
      if (OpenSecret(value, a.secret, sealError)) return true;
      if (sealError == 0) sealError = -1;
      return false;
    }
    std::string *field = m_key == "server"            ? &a.server
                         : m_key == "tls"             ? &a.tls
                         : m_key == "tls_verify"      ? &a.tlsVerify
                         : m_key == "auth"            ? &a.auth
                         : m_key == "timeout"         ? &a.timeout
                         : m_key == "oauth_token_url" ? &a.oauthTokenUrl
                         : m_key == "oauth_client_id" ? &a.oauthClientId
                         : m_key == "oauth_scope"     ? &a.oauthScope
                                                      : nullptr;
    if (field == nullptr) return false;
    field->assign(value);
    return true;
  }

  // An account has its number, given once, and a server.
  bool AccountComplete() {
    std::vector<CProfileAccount> &accounts = m_profiles.back().accounts;
    CProfileAccount &a = accounts.back();
    if (a.number == 0 || a.server.empty()) return false;
    for (std::size_t i = 0; i + 1 < accounts.size(); ++i)
      if (accounts[i].number == a.number) return false;
    return true;
  }

  // A profile has a name and at least one account; its accounts go in the
  // order of their numbers.
  bool ProfileComplete() {
    CProfile &p = m_profiles.back();
    if (p.name.empty() || p.accounts.empty()) return false;
    std::vector<CProfileAccount> accounts;
    accounts.swap(p.accounts);
    for (CProfileAccount &a : accounts) p.SetAccount(std::move(a));
    return true;
  }

  CProfileStore &m_store;
  bool m_policyOnly;
  std::vector<Where> m_where;
  std::string m_key;
  std::vector<CProfile> m_profiles;
};

using CWipedBuffer = rapidjson::GenericStringBuffer<rapidjson::UTF8<>, CWipingJsonAllocator>;
using CStoreWriter = rapidjson::Writer<CWipedBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>,
                                       CWipingJsonAllocator, rapidjson::kWriteValidateEncodingFlag>;

// key and its text, left out when the text is empty. False when the text
// is not UTF-8.
bool Member(CStoreWriter &w, const char *key, std::string_view value) {
  if (value.empty()) return true;
  return w.Key(key) && w.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}

bool WriteAccount(CStoreWriter &w, const CProfileAccount &a, int &error) {
  if (!w.StartObject() || !w.Key("account") || !w.Uint(static_cast<unsigned>(a.number)))
    return false;
  if (!Member(w, "server", a.server)) return false;
  if (a.port != 0 && !(w.Key("port") && w.Uint(static_cast<unsigned>(a.port)))) return false;
  if (!Member(w, "tls", a.tls) || !Member(w, "tls_verify", a.tlsVerify) ||
      !Member(w, "auth", a.auth) || !Member(w, "timeout", a.timeout) ||
      !Member(w, "oauth_token_url", a.oauthTokenUrl) ||
      !Member(w, "oauth_client_id", a.oauthClientId) || !Member(w, "oauth_scope", a.oauthScope) ||
      !Member(w, "user", a.user))
    return false;
  if (!a.secret.empty()) {
    CSecretString sealed;
    if (!SealSecret(a.secret, sealed, error)) return false;
    if (!Member(w, "secret", sealed)) return false;
  }
  return w.EndObject();
}

bool WriteDocument(CStoreWriter &w, const CProfileStore &store, bool policy, int &error) {
  if (!w.StartObject() || !w.Key(kFormatKey) || !w.Uint(kFormatVersion)) return false;
  if (policy) {
    const CProfilePolicy &p = store.policy;
    if (!w.Key("policy") || !w.StartObject() || !Member(w, "require_profile", p.requireProfile) ||
        !Member(w, "attachment_folders", p.attachmentFolders) ||
        !Member(w, "allow_unc", p.allowUnc) || !w.EndObject())
      return false;
  }
  if (!w.Key("profiles") || !w.StartArray()) return false;
  for (const CProfile &p : store.profiles) {
    if (!w.StartObject() || !Member(w, "name", p.name) || !Member(w, "from", p.from) ||
        !Member(w, "allow", p.allow) || !w.Key("accounts") || !w.StartArray())
      return false;
    for (const CProfileAccount &a : p.accounts)
      if (!WriteAccount(w, a, error)) return false;
    if (!w.EndArray() || !w.EndObject()) return false;
  }
  return w.EndArray() && w.EndObject();
}

}  // namespace

DocumentRead ReadStoreDocument(CSecretString &text, bool policyOnly, CProfileStore &store,
                               int &error) {
  error = 0;
  store = CProfileStore();
  // In place, the parser takes a NUL for the end: a text with one is no
  // document.
  if (text.find('\0') != CSecretString::npos) return DocumentRead::kMalformed;
  text.append(kUtf8Overrun, '\0');
  CStoreReader handler(store, policyOnly);
  CWipingJsonAllocator allocator;
  rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, CWipingJsonAllocator> reader(
      &allocator);
  rapidjson::InsituStringStream stream(text.data());
  const bool parsed = !reader.Parse<kParseFlags>(stream, handler).IsError();
  if (handler.sealError != 0) {
    error = handler.sealError;
    store = CProfileStore();
    return DocumentRead::kSecretUnsealed;
  }
  if (!parsed || !handler.Finish()) {
    store = CProfileStore();
    return DocumentRead::kMalformed;
  }
  return DocumentRead::kOk;
}

bool WriteStoreDocument(const CProfileStore &store, bool policy, CSecretString &text, int &error) {
  error = 0;
  CWipedBuffer buffer;
  CStoreWriter writer(buffer);
  if (!WriteDocument(writer, store, policy, error)) {
    // Text that is not UTF-8 never reaches the store (the procedure takes
    // only ASCII varchar and converts nvarchar).
    if (error == 0) error = -1;
    return false;
  }
  text.assign(buffer.GetString(), buffer.GetSize());
  return true;
}
