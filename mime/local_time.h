// The local wall-clock time and the zone bias of the machine, for the Date
// header line.
//
// The bias is in minutes with UTC = local time + bias, so a zone ahead of
// UTC has a negative bias (India: -330). Windows reads GetLocalTime and
// GetTimeZoneInformation; POSIX reads localtime_r and tm_gmtoff. Reading
// fails only when the platform cannot give the time; then the caller writes
// no Date line (and no header block).
#ifndef MAILVANE_MIME_LOCAL_TIME_H
#define MAILVANE_MIME_LOCAL_TIME_H

struct CLocalTime {
  int year = 0;
  int month = 0;         // 1-12
  int day = 0;           // day of the month, 1-31
  int day_of_week = 0;   // 0 Sunday .. 6 Saturday
  int hour = 0;
  int minute = 0;
  int second = 0;
  int bias_minutes = 0;  // UTC = local time + bias
};

// The current local time and bias. False when the platform fails.
bool ReadLocalTime(CLocalTime &now);

// What GetTimeZoneInformation reports: the zone is in standard time or in
// daylight time (TIME_ZONE_ID_STANDARD, TIME_ZONE_ID_DAYLIGHT).
inline constexpr int kZoneInStandardTime = 1;
inline constexpr int kZoneInDaylightTime = 2;

// The bias in force: Bias plus StandardBias in standard time, plus
// DaylightBias in daylight time, Bias alone otherwise. Portable, so that
// the rule is tested on every build.
int ZoneBiasMinutes(int zone_id, long bias, long standard_bias, long daylight_bias);

#endif
