#include "mime/tick_count.h"

#include <windows.h>

std::uint32_t TickCountMs() { return GetTickCount(); }
