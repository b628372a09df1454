// The platform's error code for an argument refused as invalid:
// ERROR_INVALID_PARAMETER (87) on Windows, EINVAL elsewhere. An operation
// that refuses caller input leaves it as the thread's last error
// (last_error.h), as a failing platform call would.
#ifndef MAILVANE_MAIL_INVALID_ARGUMENT_ERROR_H
#define MAILVANE_MAIL_INVALID_ARGUMENT_ERROR_H

#include <cstdint>

std::int32_t InvalidArgumentError();

#endif
