// The texts of the profile store's failures. Each names the store (the
// file, or the registry key) so that an administrator finds it; none holds
// a secret.
#ifndef MAILVANE_PROFILE_STORE_TEXTS_H
#define MAILVANE_PROFILE_STORE_TEXTS_H

#include <string>

inline std::string StoreCannotRead(const std::string &where, int error) {
  return "Cannot read the profile store " + where + "(" + std::to_string(error) + ")";
}

inline std::string StoreCannotWrite(const std::string &where, int error) {
  return "Cannot write the profile store " + where + "(" + std::to_string(error) + ")";
}

inline std::string StoreMalformed(const std::string &where) {
  return "The profile store " + where + " holds no profiles that can be read; it is left as it is";
}

inline std::string StoreCannotOpenSecret(const std::string &where, int error) {
  return "Cannot open a secret of the profile store " + where + "(" + std::to_string(error) + ")";
}

inline std::string StoreCannotSealSecret(int error) {
  return "Cannot protect the secret for the profile store(" + std::to_string(error) + ")";
}

inline std::string StoreOpenToOthers(const std::string &where) {
  return "The profile store " + where +
         " can be read or written by others; it is not used (make the file 0600, its folder 0700)";
}

inline std::string StoreOfAnotherUser(const std::string &where) {
  return "The profile store " + where + " belongs to another user; it is not used";
}

inline constexpr char kTextStoreBusy[] = "The profile store is busy: another change did not end";
inline constexpr char kTextStoreNowhere[] =
    "Cannot find the profile store: neither XDG_CONFIG_HOME nor HOME names a folder";
inline constexpr char kTextStoreTooLarge[] = "The profile store is too large";

#endif
