#include "engine/datetext.h"

#include <cstdio>

namespace qb {

std::string FormatIntervalBound(TDateTime value) {
  TDateParts p = DecodeDateTime(value);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", p.Month, p.Day, p.Year);
  return buf;
}

}  // namespace qb
