#include "mail/last_error.h"

#include <windows.h>

std::int32_t GetThreadLastError() { return static_cast<std::int32_t>(GetLastError()); }
void SetThreadLastError(std::int32_t error) { SetLastError(static_cast<DWORD>(error)); }
