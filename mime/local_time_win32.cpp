#include "mime/local_time.h"

#include <windows.h>

bool ReadLocalTime(CLocalTime &now) {
  SYSTEMTIME local = {};
  GetLocalTime(&local);
  TIME_ZONE_INFORMATION zone = {};
  DWORD zone_id = GetTimeZoneInformation(&zone);
  now.year = local.wYear;
  now.month = local.wMonth;
  now.day = local.wDay;
  now.day_of_week = local.wDayOfWeek;
  now.hour = local.wHour;
  now.minute = local.wMinute;
  now.second = local.wSecond;
  now.bias_minutes = ZoneBiasMinutes(static_cast<int>(zone_id), zone.Bias, zone.StandardBias,
                                     zone.DaylightBias);
  return true;
}
