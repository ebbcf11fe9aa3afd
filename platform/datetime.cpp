#include "platform/datetime.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace qb {

namespace {

constexpr std::int64_t kUnixEpochDays = 25569;  // 1970-01-01 as a day number
constexpr double kMsPerDay = 86400000.0;

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days from 0001-01-01 (proleptic Gregorian) to the given date.
std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;  // days since 1970-01-01
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

TDateTime EncodeDate(int year, int month, int day) {
  if (!IsValidDate(year, month, day))
    throw std::invalid_argument("Invalid argument to date encode");
  return static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochDays);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999)
    throw std::invalid_argument("Invalid argument to time encode");
  return ((hour * 3600.0 + minute * 60.0 + second) * 1000.0 + millisecond) / kMsPerDay;
}

std::optional<TDateTime> TryEncodeDateTime(const TDateParts& p) {
  try {
    TDateTime d = EncodeDate(p.Year, p.Month, p.Day);
    TDateTime t = EncodeTime(p.Hour, p.Minute, p.Second, p.MilliSecond);
    return d >= 0 ? d + t : d - t;
  } catch (const std::invalid_argument&) {
    return std::nullopt;
  }
}

TDateParts DecodeDateTime(TDateTime value) {
  TDateParts p;
  // Whole milliseconds, rounded, as the platform's decoding does; the time of
  // a negative value counts from its day's start going back.
  double ms_total = std::round(std::fabs(value) * kMsPerDay);
  std::int64_t ms = static_cast<std::int64_t>(ms_total);
  std::int64_t day = ms / 86400000;
  std::int64_t ms_of_day = ms % 86400000;
  if (value < 0) day = -day;
  CivilFromDays(day - kUnixEpochDays, p.Year, p.Month, p.Day);
  p.Hour = static_cast<int>(ms_of_day / 3600000);
  p.Minute = static_cast<int>(ms_of_day / 60000 % 60);
  p.Second = static_cast<int>(ms_of_day / 1000 % 60);
  p.MilliSecond = static_cast<int>(ms_of_day % 1000);
  return p;
}

TDateTime UnixToDateTime(std::int64_t seconds) {
  return static_cast<double>(seconds) / 86400.0 + kUnixEpochDays;
}

std::int64_t DateTimeToUnix(TDateTime value) {
  return static_cast<std::int64_t>(std::llround((value - kUnixEpochDays) * 86400.0));
}

TDateTime UnixToLocalDateTime(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return UnixToDateTime(seconds);
  return UnixToDateTime(seconds + tm.tm_gmtoff);
}

TDateTime Now() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  localtime_r(&ts.tv_sec, &tm);
  double secs = static_cast<double>(ts.tv_sec + tm.tm_gmtoff) + ts.tv_nsec / 1e9;
  // Keep millisecond precision like the platform's clock.
  return std::floor(secs * 1000.0) / kMsPerDay + kUnixEpochDays;
}

TDateTime Date() {
  return std::floor(Now());
}

std::string FormatIsoDateTime(TDateTime value) {
  TDateParts p = DecodeDateTime(value);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour,
                p.Minute, p.Second);
  return buf;
}

}  // namespace qb
