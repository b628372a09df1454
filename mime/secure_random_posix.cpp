#include "mime/secure_random.h"

#include <cerrno>
#include <sys/random.h>

bool ReadSecureRandom(void *out, std::size_t size, std::int32_t *error) {
  unsigned char *bytes = static_cast<unsigned char *>(out);
  std::size_t filled = 0;
  while (filled < size) {
    // Reads of up to 256 bytes are never cut short once the pool is ready;
    // a signal may still interrupt the wait for it.
    ssize_t got = ::getrandom(bytes + filled, size - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return false;
    }
    filled += static_cast<std::size_t>(got);
  }
  return true;
}
