// CProfileCall: what the profile store gives one call of mailvane.
//
// With "@profile" the call takes its server, port, TLS, authentication,
// credentials and token endpoint from the profile's accounts, tried in
// order, and its sender from the profile when it gives none; a caller's own
// "@server", "@port", "@user", "@pwd", "@auth", "@tls", "@tls_verify" or
// "@oauth_*" is refused, so that a profile's secret never goes to a server
// the caller names. The profile must allow the caller's login (as the
// server gives it, srv_pfield with SRV_USER; compared without the case of
// ASCII letters); a profile that does not exist and one the login may not
// use are refused with one text. Without "@profile" only the policy is
// read, and a store that requires a profile refuses the call. A store
// that cannot be read refuses the call as well: its policy is unknown.
//
// The secrets are copied from the store into the call's CSecretStrings
// only; nothing of them reaches a text.
#ifndef MAILVANE_PROC_PROFILE_CALL_H
#define MAILVANE_PROC_PROFILE_CALL_H

#include <string>

#include "mail/secret_string.h"
#include "profile/profile.h"

struct CXPData;
class CXpParams;

class CProfileCall {
 public:
  // The name of "@profile" ("" for none).
  explicit CProfileCall(const CXpParams &params);
  bool Named() const { return !m_name.empty(); }
  const std::string &Name() const { return m_name; }

  // Reads the store for the call; "", or the text that refuses the call.
  std::string Prepare(const CXpParams &params, CXPData *srvproc);

  const CProfilePolicy &Policy() const { return m_policy; }
  const CProfile &Profile() const { return m_profile; }
  int Accounts() const { return static_cast<int>(m_profile.accounts.size()); }
  const CProfileAccount &Account(int i) const {
    return m_profile.accounts[static_cast<std::size_t>(i)];
  }

  // The value the i-th account gives the option of this name (one of the
  // call's option table), or null when it is none a profile gives.
  const std::string *Option(int i, const char *name) const;

  // The line of the trace before the i-th account is tried.
  std::string TraceLine(int i) const;

 private:
  std::string m_name;
  CProfilePolicy m_policy;
  CProfile m_profile;
};

// The logins of an allow list ("public", or names separated by ";") take
// login.
bool AllowsLogin(const std::string &allow, const std::string &login);

#endif
