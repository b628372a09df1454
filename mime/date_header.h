// The Date header line (RFC 5322 section 3.3) of a message, from a local
// time and its zone bias.
//
// FormatDateHeaderAt writes "Date: Tue, 5 Mar 2024 09:07:03 +0530" (no
// CR LF) NUL-terminated into buffer. With a null buffer it returns the size
// it needs; with a buffer smaller than that it writes nothing and returns 0.
// A day of the week or a month out of range is named "Sun" or "Jan".
#ifndef MAILVANE_MIME_DATE_HEADER_H
#define MAILVANE_MIME_DATE_HEADER_H

#include "mime/local_time.h"

// What GetTimeZoneInformation reports: the zone is in standard time or in
// daylight time (TIME_ZONE_ID_STANDARD, TIME_ZONE_ID_DAYLIGHT).
inline constexpr int kZoneInStandardTime = 1;
inline constexpr int kZoneInDaylightTime = 2;

// The bias in force: Bias plus StandardBias in standard time, plus
// DaylightBias in daylight time, Bias alone otherwise.
int ZoneBiasMinutes(int zone_id, long bias, long standard_bias, long daylight_bias);

int FormatDateHeaderAt(char *buffer, int size, const CLocalTime &time);

#endif
