// HMAC-SHA-256 (RFC 2104 over FIPS 180-4 SHA-256): the keyed hash under
// which the token cache knows a client secret without keeping it.
//
// KeyedHash hashes data with key into out. It is this library's own, the
// same on every platform, and needs no process-wide state of a crypto
// library (OpenSSL's would be set up inside the host process, and outlive
// the library when it is unloaded). Neither key nor data is kept: every
// buffer that held them or their hash state is wiped before it is left.
// false only for a key longer than a SHA-256 input may be; out is then
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
