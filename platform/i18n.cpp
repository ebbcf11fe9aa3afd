#include "platform/i18n.h"

#include <libintl.h>

#include <mutex>

#include "platform/paths.h"

namespace qb {

namespace {
std::once_flag g_bound;

void Bind(const std::string& dir) {
  ::bindtextdomain(kTextDomain, dir.c_str());
  // Translations reach the window and the file names as UTF-8, whatever the
  // character set of the user's locale.
  ::bind_textdomain_codeset(kTextDomain, "UTF-8");
}

void BindOnce() {
  std::call_once(g_bound, [] { Bind(MessageCatalogueDir()); });
}
}  // namespace

std::string MessageCatalogueDir() {
  return ProgramDataDir() + "/locale";
}

void BindMessageCatalogue(const std::string& dir) {
  std::call_once(g_bound, [] {});  // an explicit binding is not replaced later
  Bind(dir);
}

std::string Translate(const std::string& text) {
  if (text.empty()) return text;  // gettext("") returns the catalogue header
  BindOnce();
  return ::dgettext(kTextDomain, text.c_str());
}

}  // namespace qb
