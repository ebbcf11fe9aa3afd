// Date-time text in the user's locale.
#pragma once

#include <string>

#include "platform/datetime.h"

namespace qb {

// A bound of the received-date interval as the run's option line writes it.
std::string FormatIntervalBound(TDateTime value);

}  // namespace qb
