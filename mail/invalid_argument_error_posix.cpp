#include "mail/invalid_argument_error.h"

#include <cerrno>

std::int32_t InvalidArgumentError() { return EINVAL; }
