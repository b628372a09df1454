#include "mail/error_codes.h"

#include "mail/last_error.h"

HResult HResultFromError(std::int32_t e) {
  if (e <= 0) return e;
  return static_cast<HResult>(0x80070000u | (static_cast<std::uint32_t>(e) & 0xFFFFu));
}

HResult HResultFromLastError() { return HResultFromError(GetThreadLastError()); }

HResult HResultOfFailure() {
  HResult code = HResultFromLastError();
  return code != S_OK ? code : E_FAIL;
}
