#include "mime/date_header.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char *kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char *kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int kMinutesPerHour = 60;
// Room for any value of the fields, so that an odd clock can only make the
// line too long for the caller, never overrun this buffer.
constexpr int kScratchSize = 128;

}  // namespace

int FormatDateHeaderAt(char *buffer, int size, const CLocalTime &time) {
  if (buffer == nullptr) return kDateHeaderSize;
  if (size < kDateHeaderSize) return 0;
  const char *day = time.day_of_week >= 0 && time.day_of_week < 7 ? kDayNames[time.day_of_week]
                                                                  : kDayNames[0];
  const char *month = time.month >= 1 && time.month <= 12 ? kMonthNames[time.month - 1]
                                                          : kMonthNames[0];
  // A negative bias means local time is ahead of UTC: "+". Zero is "-0000".
  long bias = time.bias_minutes;
  char sign = bias < 0 ? '+' : '-';
  long magnitude = bias < 0 ? -bias : bias;
  char line[kScratchSize];
  int n = std::snprintf(line, sizeof line, "Date: %3s, %d %3s %4d %02d:%02d:%02d %c%02ld%02ld", day,
                        time.day, month, time.year, time.hour, time.minute, time.second, sign,
                        magnitude / kMinutesPerHour, magnitude % kMinutesPerHour);
  if (n < 0 || n >= size || n >= kScratchSize) return 0;
  std::memcpy(buffer, line, static_cast<std::size_t>(n) + 1);
  return kDateHeaderSize;
}

int FormatDateHeader(char *buffer, int size) {
  if (buffer == nullptr) return kDateHeaderSize;
  CLocalTime now;
  if (!ReadLocalTime(now)) return 0;
  return FormatDateHeaderAt(buffer, size, now);
}
