#include "mail/last_error.h"

#include <cerrno>

std::int32_t GetThreadLastError() { return errno; }
void SetThreadLastError(std::int32_t error) { errno = error; }
