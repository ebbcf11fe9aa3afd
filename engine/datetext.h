// Date-time text in the user's locale.
//
// The short date is the locale's numeric date (LC_TIME) with a four-digit
// year, "MM/DD/YYYY" in the C locale; the date-time text is the short date,
// a blank and the long time, or the date alone at exactly midnight. The
// long time is the locale's until SetTwoDigitLongTime(true), which the
// small progress window does: from then on it is hh, mm and ss with two
// digits each, joined by the locale's time separator.
#pragma once

#include <optional>
#include <string>

#include "platform/datetime.h"

namespace qb {

// Patterns use %d %m %Y %y %e %H %I %M %S %p and %% (strftime's meaning);
// any other character is copied.
struct TDateTimeFormats {
  std::string ShortDate = "%m/%d/%Y";
  std::string LongTime = "%H:%M:%S";
  char DateSeparator = '/';
  char TimeSeparator = ':';
  std::string AMString = "AM";
  std::string PMString = "PM";
};

// The formats of the locale named by the environment (LC_ALL, LC_TIME,
// LANG); the C locale's when that locale is not installed.
TDateTimeFormats LocaleDateTimeFormats();

// The program-wide formats in use (taken from the locale on first use).
TDateTimeFormats CurrentDateTimeFormats();
void SetDateTimeFormats(const TDateTimeFormats& formats);
// Takes the formats from the locale again.
void ReloadDateTimeFormats();

// The progress window's switch to two-digit hours, minutes and seconds.
void SetTwoDigitLongTime(bool on);
bool TwoDigitLongTime();

// The long time pattern in effect (after the switch).
std::string EffectiveLongTimeFormat();

std::string FormatDateTimePattern(const std::string& pattern, TDateTime value,
                                  const TDateTimeFormats& formats);

std::string DateText(TDateTime value);
std::string TimeText(TDateTime value);
// Short date, a blank, long time; the date alone at exactly midnight.
std::string DateTimeText(TDateTime value);

// Read back in the current formats; nullopt when the text does not convert.
std::optional<TDateTime> ParseDateText(const std::string& text);
std::optional<TDateTime> ParseTimeText(const std::string& text);
std::optional<TDateTime> ParseDateTimeText(const std::string& text);

// A bound of the received-date interval as the run's option line writes
// it: the date part of its date-time text with two-digit day and month.
std::string FormatIntervalBound(TDateTime value);

}  // namespace qb
