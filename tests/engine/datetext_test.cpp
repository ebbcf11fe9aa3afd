#include <gtest/gtest.h>

#include <string>

#include "engine/datetext.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

const TDateTime kDay = EncodeDate(2003, 9, 21);
const TDateTime kAfternoon = kDay + EncodeTime(14, 5, 9);
const TDateTime kMorning = EncodeDate(2004, 3, 4) + EncodeTime(7, 8, 9);

TDateTimeFormats German() {
  TDateTimeFormats f;
  f.ShortDate = "%d.%m.%Y";
  f.LongTime = "%H:%M:%S";
  f.DateSeparator = '.';
  return f;
}

TDateTimeFormats UnitedStates() {
  TDateTimeFormats f;
  f.ShortDate = "%m/%d/%Y";
  f.LongTime = "%l:%M:%S %p";  // hours without a leading zero
  return f;
}

class DateTextTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetDateTimeFormats(TDateTimeFormats{});
    SetTwoDigitLongTime(false);
  }
};

TEST_F(DateTextTest, CLocaleFormats) {
  for (const char* name : {"C", "C.UTF-8", "POSIX"}) {
    test::ScopedEnv all("LC_ALL", name);
    const TDateTimeFormats f = LocaleDateTimeFormats();
    EXPECT_EQ(f.ShortDate, "%m/%d/%Y") << name << ": two-digit year made four";
    EXPECT_EQ(f.LongTime, "%H:%M:%S") << name;
    EXPECT_EQ(f.DateSeparator, '/');
    EXPECT_EQ(f.TimeSeparator, ':');
  }
  // A locale that is not installed falls back to the C forms.
  test::ScopedEnv all("LC_ALL", "xx_NOWHERE.UTF-8");
  EXPECT_EQ(LocaleDateTimeFormats().ShortDate, "%m/%d/%Y");
  ReloadDateTimeFormats();
  EXPECT_EQ(DateTimeText(kAfternoon), "09/21/2003 14:05:09");
}

TEST_F(DateTextTest, DateAloneAtExactlyMidnight) {
  SetDateTimeFormats(TDateTimeFormats{});
  EXPECT_EQ(DateTimeText(kDay), "09/21/2003");
  EXPECT_EQ(DateTimeText(kAfternoon), "09/21/2003 14:05:09");
  EXPECT_EQ(DateTimeText(kDay + EncodeTime(0, 0, 0, 1)), "09/21/2003 00:00:00");
  EXPECT_EQ(DateText(kAfternoon), "09/21/2003");
  EXPECT_EQ(TimeText(kAfternoon), "14:05:09");
}

TEST_F(DateTextTest, LocaleFormsAndTheTwoDigitSwitch) {
  SetDateTimeFormats(German());
  EXPECT_EQ(DateTimeText(kAfternoon), "21.09.2003 14:05:09");
  SetDateTimeFormats(UnitedStates());
  EXPECT_EQ(DateTimeText(kMorning), "03/04/2004 7:08:09 AM");
  EXPECT_EQ(DateTimeText(kAfternoon), "09/21/2003 2:05:09 PM");
  SetTwoDigitLongTime(true);
  EXPECT_TRUE(TwoDigitLongTime());
  EXPECT_EQ(DateTimeText(kMorning), "03/04/2004 07:08:09");
  EXPECT_EQ(DateTimeText(kAfternoon), "09/21/2003 14:05:09");
  TDateTimeFormats dots = German();
  dots.TimeSeparator = '.';
  SetDateTimeFormats(dots);
  EXPECT_EQ(TimeText(kMorning), "07.08.09") << "joined by the locale's time separator";
}

TEST_F(DateTextTest, TextReadsBackInEveryForm) {
  for (const TDateTimeFormats& f : {TDateTimeFormats{}, German(), UnitedStates()}) {
    SetDateTimeFormats(f);
    for (bool two : {false, true}) {
      SetTwoDigitLongTime(two);
      for (TDateTime v :
           {kDay, kAfternoon, kMorning, EncodeDate(2000, 12, 31) + EncodeTime(0, 0, 1),
            EncodeDate(1999, 1, 1) + EncodeTime(12, 0, 0)}) {
        const auto back = ParseDateTimeText(DateTimeText(v));
        ASSERT_TRUE(back.has_value()) << DateTimeText(v);
        EXPECT_NEAR(*back, v, 1e-8) << DateTimeText(v);
      }
    }
  }
}

TEST_F(DateTextTest, ParsingRejectsWhatIsNoDate) {
  SetDateTimeFormats(TDateTimeFormats{});
  EXPECT_FALSE(ParseDateText(""));
  EXPECT_FALSE(ParseDateText("13/01/2003"));
  EXPECT_FALSE(ParseDateText("02/30/2003"));
  EXPECT_FALSE(ParseDateText("09/21/2003x"));
  EXPECT_FALSE(ParseDateTimeText("09/21/2003 24:00:00"));
  EXPECT_FALSE(ParseDateTimeText("09/21/2003 13:00:00 PM"));
  EXPECT_FALSE(ParseDateText("99999999999/1/1"));
  EXPECT_FALSE(ParseTimeText("7"));
  EXPECT_NEAR(*ParseTimeText("7 PM"), EncodeTime(19, 0, 0), 1e-9);
  EXPECT_NEAR(*ParseTimeText("12:30 AM"), EncodeTime(0, 30, 0), 1e-9);
  // Two-digit years take the current century; two numbers take this year.
  const int century = DecodeDateTime(Date()).Year / 100 * 100;
  EXPECT_EQ(DecodeDateTime(*ParseDateText("09/21/03")).Year, century + 3);
  EXPECT_EQ(DecodeDateTime(*ParseDateText("9/21")).Year, DecodeDateTime(Date()).Year);
}

TEST_F(DateTextTest, ValuesOutsideTheCalendarDoNotMisbehave) {
  SetDateTimeFormats(TDateTimeFormats{});
  EXPECT_EQ(DateTimeText(1e300), "12/30/1899");
  EXPECT_EQ(DateTimeText(-1e300), "12/30/1899");
}

TEST_F(DateTextTest, IntervalBoundIsTheDateWithTwoDigitDayAndMonth) {
  SetDateTimeFormats(TDateTimeFormats{});
  EXPECT_EQ(FormatIntervalBound(kAfternoon), "09/21/2003");
  EXPECT_EQ(FormatIntervalBound(kDay), "09/21/2003");
  SetDateTimeFormats(German());
  EXPECT_EQ(FormatIntervalBound(kAfternoon), "21.09.2003");
  // A locale date with one-digit day and month gets the leading zeros.
  TDateTimeFormats short_ = German();
  short_.ShortDate = "%e.%m.%Y";
  SetDateTimeFormats(short_);
  EXPECT_EQ(DateText(EncodeDate(2003, 9, 1)), "1.09.2003");
  EXPECT_EQ(FormatIntervalBound(EncodeDate(2003, 9, 1) + EncodeTime(8, 0, 0)), "01.09.2003");
}

TEST_F(DateTextTest, IntervalBoundThatDoesNotReadBackIsToday) {
  // A separator that never appears in the text: the groups cannot form a date.
  TDateTimeFormats odd;
  odd.ShortDate = "%d-%m-%Y";
  odd.DateSeparator = '/';
  SetDateTimeFormats(odd);
  EXPECT_EQ(FormatIntervalBound(kAfternoon), DateText(Date()));
}

}  // namespace
}  // namespace qb
