// HMAC-SHA-256 through OpenSSL's one-shot HMAC, which cleanses the
// contexts it made before it frees them.
#include "oauth/keyed_hash.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <climits>

#include "mail/secure_zero.h"

bool KeyedHash(const unsigned char *key, std::size_t keySize, std::string_view data,
               unsigned char (&out)[kKeyedHashSize]) {
  unsigned int length = 0;
  const bool done =
      keySize <= INT_MAX &&
      HMAC(EVP_sha256(), key, static_cast<int>(keySize),
           reinterpret_cast<const unsigned char *>(data.data()), data.size(), out, &length) !=
          nullptr &&
      length == kKeyedHashSize;
  if (!done) SecureZero(out, sizeof out);
  return done;
}
