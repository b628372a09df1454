#include "mail/invalid_argument_error.h"

#include <windows.h>

std::int32_t InvalidArgumentError() { return ERROR_INVALID_PARAMETER; }
