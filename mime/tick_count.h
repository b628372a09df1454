// A millisecond tick count since an arbitrary start (system start on
// Windows, the monotonic clock elsewhere), wrapping at 2^32 as GetTickCount
// does. It only has to differ between messages, for multipart boundaries.
#ifndef MAILVANE_MIME_TICK_COUNT_H
#define MAILVANE_MIME_TICK_COUNT_H

#include <cstdint>

std::uint32_t TickCountMs();

#endif
