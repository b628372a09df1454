// HMAC-SHA-256 (RFC 2104 over FIPS 180-4 SHA-256): the keyed hash under
// which the token cache knows a client secret without keeping it.
//
// KeyedHash hashes data with key into out. It is the platform's own
// implementation: OpenSSL's HMAC on Linux, BCrypt's SHA-256 provider
// opened with BCRYPT_ALG_HANDLE_HMAC_FLAG on Windows. Neither key nor data
// is kept: the hash state that held them is wiped before it is released
// (OpenSSL cleanses its contexts; on Windows the hash object is ours and
// wiped here). false when the platform could not compute it; out is then
// zeroed.
#ifndef MAILVANE_OAUTH_KEYED_HASH_H
#define MAILVANE_OAUTH_KEYED_HASH_H

#include <cstddef>
#include <string_view>

// The size of a SHA-256 digest, and so of the keyed hash.
inline constexpr std::size_t kKeyedHashSize = 32;

bool KeyedHash(const unsigned char *key, std::size_t keySize, std::string_view data,
               unsigned char (&out)[kKeyedHashSize]);

#endif
