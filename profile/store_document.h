// The store as a JSON document: what the Linux store's file holds, and
// what each registry value of the Windows store holds (one profile, or the
// policy alone).
//
//   {"mailvane_profiles":1,
//    "policy":{"require_profile":"yes","attachment_folders":"","allow_unc":""},
//    "profiles":[{"name":"alerts","from":"...","allow":"public",
//                 "accounts":[{"account":1,"server":"smtp.example.com","port":587,
//                              "tls":"starttls","tls_verify":"","auth":"","timeout":"",
//                              "oauth_token_url":"","oauth_client_id":"","oauth_scope":"",
//                              "user":"...","secret":"..."}]}]}
//
// "secret" is the account's secret in its sealed form (secret_seal.h): as
// it is on Linux, where the file's mode keeps it, and DPAPI's on Windows.
// Members with no value ("" or port 0) are left out.
//
// The document is read in place, in the caller's wiped buffer, by
// RapidJSON with a wiping allocator, and written into a wiped buffer: no
// copy of a secret is left in freed memory. A document that is not exactly
// such a store (a member of another name or type, an account number out of
// 1..kMaxAccounts or given twice, a port out of 1..65535, two profiles of
// one name, text that is not UTF-8) is refused as a whole.
#ifndef MAILVANE_PROFILE_STORE_DOCUMENT_H
#define MAILVANE_PROFILE_STORE_DOCUMENT_H

#include "mail/secret_string.h"
#include "profile/profile.h"

enum class DocumentRead {
  kOk,
  kMalformed,       // no store of profiles
  kSecretUnsealed,  // a secret that cannot be opened (error set)
};

// Reads text (consumed: parsed in place) into store. With policyOnly the
// profiles are checked but not kept (no secret is opened).
DocumentRead ReadStoreDocument(CSecretString &text, bool policyOnly, CProfileStore &store,
                               int &error);

// Writes store into text; with policy false, the policy is left out. False
// with error set when a secret cannot be sealed.
bool WriteStoreDocument(const CProfileStore &store, bool policy, CSecretString &text,
                        int &error);

#endif
