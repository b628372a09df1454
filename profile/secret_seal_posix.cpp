#include "profile/secret_seal.h"

// The file's mode keeps the secret: it is stored as it is.
bool SealSecret(std::string_view secret, CSecretString &sealed, int &error) {
  error = 0;
  sealed.assign(secret.data(), secret.size());
  return true;
}

bool OpenSecret(std::string_view sealed, CSecretString &secret, int &error) {
  error = 0;
  secret.assign(sealed.data(), sealed.size());
  return true;
}
