// The calling thread's last platform error: GetLastError on Windows, errno
// elsewhere. Each failing platform call leaves its own code here; the mail's
// operations turn it into their result (error_codes.h).
#ifndef MAILVANE_MAIL_LAST_ERROR_H
#define MAILVANE_MAIL_LAST_ERROR_H

#include <cstdint>

std::int32_t GetThreadLastError();
void SetThreadLastError(std::int32_t error);

#endif
