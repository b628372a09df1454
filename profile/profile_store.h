// The profile store: where the profiles and the policy are kept between
// calls, for the account the process runs as.
//
// Windows: the registry of that account (HKEY_CURRENT_USER, opened with
// RegOpenCurrentUser, \Software\mailvane\Profiles): one key per profile,
// holding one value with the profile's document (store_document.h), its
// secrets sealed with DPAPI (secret_seal.h); the policy one value beside
// them. A profile is replaced by writing a new key, of a higher number,
// before the old one is removed: a reader takes the highest key of a name,
// and a key without its value (a write cut short) is none.
// Linux: one file, $XDG_CONFIG_HOME/mailvane/profiles.json (else
// ~/.config/...), its folder 0700 and the file 0600; a folder or a file
// that another user owns, a folder others may write or a file others may
// read or write is refused with a text, never used. A change is written to
// a temporary file beside it, flushed to the disk, and renamed over it.
//
// Changes are serialised across threads (a lock of the process) and across
// processes (a lock file with flock on Linux, a named mutex on Windows), so
// a change reads the store as the last one left it. No reader ever sees
// half of a change, whatever crash cuts a write short. A store that cannot
// be read as a store fails the call with a text and is never overwritten.
// Every wait for the lock is bounded. Failures are texts of
// store_texts.h; no text holds a secret.
#ifndef MAILVANE_PROFILE_PROFILE_STORE_H
#define MAILVANE_PROFILE_PROFILE_STORE_H

#include <functional>
#include <string>

#include "profile/profile.h"

// The longest wait for another writer of the store.
inline constexpr int kStoreLockWaitMs = 10 * 1000;

// The whole store, the secrets opened; an empty one when there is none.
// False with the reason in text.
bool LoadProfileStore(CProfileStore &store, std::string &text);

// The policy alone (no secret is opened): what a call without a profile
// reads.
bool LoadProfilePolicy(CProfilePolicy &policy, std::string &text);

// What a change did: to the policy, or to the profile of this name (put or
// removed).
struct CStoreChange {
  bool policy = false;
  std::string profile;
};

// Changes the store as it is and says what it changed; false with a text
// refuses the change (nothing is written).
using StoreChanger =
    std::function<bool(CProfileStore &store, CStoreChange &change, std::string &text)>;

// Runs change on the store under its lock and writes what it changed.
// False with the reason in text: the store could not be read or written,
// or change refused.
bool UpdateProfileStore(const StoreChanger &change, std::string &text);

#endif
