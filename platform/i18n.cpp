#include "platform/i18n.h"

#include <libintl.h>

namespace qb {

std::string Translate(const std::string& text) {
  if (text.empty()) return text;  // gettext("") returns the catalogue header
  return ::dgettext("default", text.c_str());
}

}  // namespace qb
