// What the profile store holds: the profiles an administrator set up with
// mailvane_profile, each with its accounts, and the server-wide policy.
//
// A profile is named (1 to 128 characters, compared without regard to the
// case of ASCII letters), names its default sender and who may use it, and
// holds 1 to kMaxAccounts accounts, numbered from 1, tried in the order of
// their numbers. An account is where and how a mail goes: the server, its
// port, and the options of a call that the profile fixes, kept as the texts
// the call takes ("starttls", "yes", ...): the procedure checks them by the
// rules it checks a caller's, so the store knows no option's meaning. All
// text is UTF-8. The user name and the secret (the password, or the OAuth
// client secret) live in CSecretStrings; nothing here ever puts them in a
// text.
#ifndef MAILVANE_PROFILE_PROFILE_H
#define MAILVANE_PROFILE_PROFILE_H

#include <string>
#include <string_view>
#include <vector>

#include "mail/secret_string.h"

// Accounts a profile holds at most, numbered 1 to this.
inline constexpr int kMaxAccounts = 8;

struct CProfileAccount {
  int number = 1;
  std::string server;
  int port = 0;  // 0: the call's default
  std::string tls, tlsVerify, auth, timeout;
  std::string oauthTokenUrl, oauthClientId, oauthScope;
  CSecretString user;
  CSecretString secret;
};

struct CProfile {
  std::string name;
  std::string from;   // the default sender; may be empty
  std::string allow;  // "public", or logins separated by ";"
  std::vector<CProfileAccount> accounts;  // in the order of their numbers

  // The account with this number, or null.
  CProfileAccount *Account(int number);
  // Puts account in its place by number, replacing one of the same number.
  void SetAccount(CProfileAccount account);
};

// The server-wide policy, as its values were set ("" for each: not set).
struct CProfilePolicy {
  std::string requireProfile;     // "yes" or "no"
  std::string attachmentFolders;  // folders separated by ";"
  std::string allowUnc;           // "yes" or "no"
};

struct CProfileStore {
  std::vector<CProfile> profiles;  // in the order of their names
  CProfilePolicy policy;

  // The profile of this name, or null.
  CProfile *Find(std::string_view name);
  const CProfile *Find(std::string_view name) const;
  // Adds profile or replaces the one of its name, keeping the order.
  void Put(CProfile profile);
  // Removes the profile of this name; false when there is none.
  bool Remove(std::string_view name);
};

// Profile names compare as the server compares identifiers under its usual
// collation: without regard to the case of ASCII letters.
bool SameProfileName(std::string_view a, std::string_view b);

#endif
