#include "mime/local_time.h"

#include <time.h>

bool ReadLocalTime(CLocalTime &now) {
  time_t seconds = time(nullptr);
  struct tm local = {};
  if (seconds == static_cast<time_t>(-1) || localtime_r(&seconds, &local) == nullptr) return false;
  now.year = local.tm_year + 1900;
  now.month = local.tm_mon + 1;
  now.day = local.tm_mday;
  now.day_of_week = local.tm_wday;
  now.hour = local.tm_hour;
  now.minute = local.tm_min;
  now.second = local.tm_sec;
  // tm_gmtoff is seconds east of UTC; the bias runs the other way.
  now.bias_minutes = static_cast<int>(-local.tm_gmtoff / 60);
  return true;
}
