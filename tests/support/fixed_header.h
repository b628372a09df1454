// A fixed clock and Message-ID for tests whose header bytes must be the
// same on every machine: Tuesday 5 March 2024, 09:07:03 local time, and a
// Message-ID of a fixed left side and host. CFixedHeader<Base> fixes both on
// a CMailHeader or a CSmtpMail; m_idError makes the Message-ID fail with
// that platform error instead.
#ifndef MAILVANE_TESTS_SUPPORT_FIXED_HEADER_H
#define MAILVANE_TESTS_SUPPORT_FIXED_HEADER_H

#include <cstdint>
#include <string>

#include "mime/local_time.h"

inline constexpr char kFixedIdLeft[] = "18e0f.4d2.1.00000000075bcd15";
inline constexpr char kFixedIdHost[] = "host.example";
// India's bias: the Date line ends in +0530.
inline constexpr int kFixedBiasMinutes = -330;

inline CLocalTime FixedLocalTime(int biasMinutes = kFixedBiasMinutes) {
  CLocalTime t;
  t.year = 2024;
  t.month = 3;
  t.day = 5;
  t.day_of_week = 2;
  t.hour = 9;
  t.minute = 7;
  t.second = 3;
  t.bias_minutes = biasMinutes;
  return t;
}

template <class Base>
class CFixedHeader : public Base {
 public:
  std::int32_t m_idError = 0;

 protected:
  bool ReadClock(CLocalTime &now) const override {
    now = FixedLocalTime();
    return true;
  }
  bool MessageIdLeft(std::string &left, std::int32_t *error) const override {
    *error = m_idError;
    left = kFixedIdLeft;
    return m_idError == 0;
  }
  std::string MessageIdHost() const override { return kFixedIdHost; }
};

#endif
