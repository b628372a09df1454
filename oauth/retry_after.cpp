#include "oauth/retry_after.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"Mon", "Tue", "Wed", "Thu",
                                                       "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, 7> kLongDayNames = {
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
constexpr std::array<std::string_view, 12> kMonthNames = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;
// Fewer digits than this cannot overflow a count of seconds; more are more
// than any wait.
constexpr std::size_t kMaxDelayDigits = 18;
// RFC 9110 section 5.6.7: a two-digit year more than 50 years ahead is the
// last such year in the past.
constexpr int kTwoDigitYearWindow = 50;
constexpr int kSecondsPerYearApprox = 31556952;  // 365.2425 days

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A cursor over the value, each step true when the text fits.
class CCursor {
 public:
  explicit CCursor(std::string_view text) : m_text(text) {}

  bool Literal(std::string_view literal) {
    if (m_text.substr(0, literal.size()) != literal) return false;
    m_text.remove_prefix(literal.size());
    return true;
  }
  // Exactly count digits.
  bool Digits(std::size_t count, std::int64_t &value) {
    if (m_text.size() < count) return false;
    value = 0;
    for (std::size_t n = 0; n < count; ++n) {
      if (!IsDigit(m_text[n])) return false;
      value = value * 10 + (m_text[n] - '0');
    }
    m_text.remove_prefix(count);
    return true;
  }
  // One name of the list, by its index.
  template <std::size_t N>
  bool Name(const std::array<std::string_view, N> &names, int &index) {
    for (std::size_t i = 0; i < N; ++i) {
      if (Literal(names[i])) {
        index = static_cast<int>(i);
        return true;
      }
    }
    return false;
  }
  bool AtEnd() const { return m_text.empty(); }

 private:
  std::string_view m_text;
};

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar
// (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct CDate {
  std::int64_t year = 0, day = 0, hour = 0, minute = 0, second = 0;
  int month = 0;
};

bool TimeOfDay(CCursor &c, CDate &d) {
  return c.Digits(2, d.hour) && c.Literal(":") && c.Digits(2, d.minute) && c.Literal(":") &&
         c.Digits(2, d.second);
}

// The three forms: "Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94
// 08:49:37 GMT", "Sun Nov  6 08:49:37 1994".
bool ParseDate(std::string_view text, std::int64_t nowUnix, CDate &d) {
  int name = 0;
  {
    CCursor c(text);
    if (c.Name(kDayNames, name) && c.Literal(", ") && c.Digits(2, d.day) && c.Literal(" ") &&
        c.Name(kMonthNames, d.month) && c.Literal(" ") && c.Digits(4, d.year) &&
        c.Literal(" ") && TimeOfDay(c, d) && c.Literal(" GMT") && c.AtEnd())
      return true;
  }
  {
    CCursor c(text);
    if (c.Name(kLongDayNames, name) && c.Literal(", ") && c.Digits(2, d.day) && c.Literal("-") &&
        c.Name(kMonthNames, d.month) && c.Literal("-") && c.Digits(2, d.year) &&
        c.Literal(" ") && TimeOfDay(c, d) && c.Literal(" GMT") && c.AtEnd()) {
      const std::int64_t thisYear = 1970 + nowUnix / kSecondsPerYearApprox;
      d.year += thisYear - thisYear % 100;
      if (d.year > thisYear + kTwoDigitYearWindow) d.year -= 100;
      return true;
    }
  }
  CCursor c(text);
  return c.Name(kDayNames, name) && c.Literal(" ") && c.Name(kMonthNames, d.month) &&
         c.Literal(" ") && (c.Literal(" ") ? c.Digits(1, d.day) : c.Digits(2, d.day)) &&
         c.Literal(" ") && TimeOfDay(c, d) && c.Literal(" ") && c.Digits(4, d.year) && c.AtEnd();
}

bool Valid(const CDate &d) {
  // A leap second (60) is allowed by the grammar's range.
  return d.day >= 1 && d.day <= 31 && d.hour <= 23 && d.minute <= 59 && d.second <= 60;
}

std::string_view Trimmed(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  return value;
}

std::int64_t Bounded(std::int64_t seconds) {
  if (seconds < 0) return 0;
  return seconds > kMaxRetryAfterSeconds ? kMaxRetryAfterSeconds : seconds;
}

}  // namespace

std::optional<std::int64_t> RetryAfterSeconds(std::string_view value, std::int64_t nowUnix) {
  value = Trimmed(value);
  std::size_t digits = 0;
  while (digits < value.size() && IsDigit(value[digits])) ++digits;
  if (digits > 0 && digits == value.size()) {
    if (digits > kMaxDelayDigits) return kMaxRetryAfterSeconds;
    std::int64_t seconds = 0;
    CCursor(value).Digits(digits, seconds);
    return Bounded(seconds);
  }
  CDate d;
  if (!ParseDate(value, nowUnix, d) || !Valid(d)) return std::nullopt;
  const std::int64_t at = DaysFromCivil(d.year, d.month + 1, static_cast<int>(d.day)) *
                              kSecondsPerDay +
                          d.hour * 3600 + d.minute * 60 + d.second;
  return Bounded(at - nowUnix);
}
