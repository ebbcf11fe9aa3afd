#include "platform/datetime.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

TEST(DateTime, DayNumbersMatchThePlatform) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
  EXPECT_EQ(EncodeDate(2000, 2, 29), 36585.0);
  EXPECT_THROW(EncodeDate(2001, 2, 29), std::invalid_argument);
}

TEST(DateTime, RoundTripAndIsoText) {
  TDateTime t = EncodeDate(2003, 7, 14) + EncodeTime(23, 59, 58);
  TDateParts p = DecodeDateTime(t);
  EXPECT_EQ(p.Year, 2003);
  EXPECT_EQ(p.Month, 7);
  EXPECT_EQ(p.Day, 14);
  EXPECT_EQ(p.Hour, 23);
  EXPECT_EQ(p.Second, 58);
  EXPECT_EQ(FormatIsoDateTime(t), "2003-07-14 23:59:58");
  EXPECT_EQ(DateTimeToUnix(UnixToDateTime(1058227198)), 1058227198);
}

}  // namespace
}  // namespace qb
