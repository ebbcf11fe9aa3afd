// The message catalogue: texts shown to the user pass through gettext with
// the text domain "default"; with no catalogue installed they stay as written.
#pragma once

#include <string>

namespace qb {

std::string Translate(const std::string& text);

}  // namespace qb
