// Date-time values as the mail stores and the history keep them: days since
// 1899-12-30 as a double, the fraction being the time of day. 0 means "no date".
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace qb {

using TDateTime = double;

struct TDateParts {
  int Year = 0, Month = 0, Day = 0;
  int Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

bool IsValidDate(int year, int month, int day);
// Throws std::invalid_argument for an impossible date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond = 0);
std::optional<TDateTime> TryEncodeDateTime(const TDateParts& p);
TDateParts DecodeDateTime(TDateTime value);

// The current local date and time.
TDateTime Now();
TDateTime Date();  // today, midnight

// Seconds since the Unix epoch, taken as UTC, to a TDateTime and back.
TDateTime UnixToDateTime(std::int64_t seconds);
std::int64_t DateTimeToUnix(TDateTime value);

// Local time of a Unix time (the way the platform shows file and mail times).
TDateTime UnixToLocalDateTime(std::int64_t seconds);

// "yyyy-mm-dd hh:nn:ss", a fixed form for machine-read output.
std::string FormatIsoDateTime(TDateTime value);

}  // namespace qb
