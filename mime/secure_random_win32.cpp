#include "mime/secure_random.h"

#include <windows.h>
#include <bcrypt.h>

bool ReadSecureRandom(void *out, std::size_t size, std::int32_t *error) {
  // BCryptGenRandom takes a 32-bit count; callers ask for a few bytes.
  if (size > MAXDWORD) {
    *error = ERROR_INVALID_PARAMETER;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  NTSTATUS status = BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), static_cast<ULONG>(size),
                                    BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status < 0) {
    // The status is no Windows error code; the generic failure stands in.
    *error = ERROR_GEN_FAILURE;
    SetLastError(ERROR_GEN_FAILURE);
    return false;
  }
  return true;
}
