// The form in which the store keeps a secret, and back.
//
// On Windows a secret is encrypted with DPAPI for the account the process
// runs as (CryptProtectData, user scope, an entropy of the store's own,
// CRYPTPROTECT_UI_FORBIDDEN: no prompt inside a service) and kept as the
// hexadecimal text of the blob; only a process of that account on that
// machine can open it. The buffers DPAPI returns are wiped and given back
// with LocalFree. On Linux the secret is kept as it is: the store's mode
// (0600, its folder 0700) is what keeps others from it.
//
// Both fail with the platform's error code; neither ever puts the secret
// in a text.
#ifndef MAILVANE_PROFILE_SECRET_SEAL_H
#define MAILVANE_PROFILE_SECRET_SEAL_H

#include <string_view>

#include "mail/secret_string.h"

bool SealSecret(std::string_view secret, CSecretString &sealed, int &error);
bool OpenSecret(std::string_view sealed, CSecretString &secret, int &error);

#endif
