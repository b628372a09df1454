#include "mime/local_time.h"

int ZoneBiasMinutes(int zone_id, long bias, long standard_bias, long daylight_bias) {
  if (zone_id == kZoneInStandardTime) return static_cast<int>(bias + standard_bias);
  if (zone_id == kZoneInDaylightTime) return static_cast<int>(bias + daylight_bias);
  return static_cast<int>(bias);
}
