// Random bytes from the platform's cryptographically secure generator:
// BCryptGenRandom (the system-preferred generator) on Windows, getrandom
// elsewhere. Never the C library's rand, whose sequence is the same in
// every process.
//
// Fills all size bytes or fails; on failure the platform's error code is
// in *error and the thread's last error.
#ifndef MAILVANE_MIME_SECURE_RANDOM_H
#define MAILVANE_MIME_SECURE_RANDOM_H

#include <cstddef>
#include <cstdint>

bool ReadSecureRandom(void *out, std::size_t size, std::int32_t *error);

#endif
