#include "platform/i18n.h"

#include <libintl.h>
#include <locale.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <mutex>

#include "platform/codepage.h"
#include "platform/errors.h"
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

std::string CatalogueLanguage() {
  BindOnce();
  // The header is the translation of the empty text.
  const std::string header = ::dgettext(kTextDomain, "");
  const std::string key = "\nLanguage: ";
  const size_t at = ("\n" + header).find(key);
  if (at == std::string::npos) return "";
  const size_t from = at + key.size() - 1;
  const size_t end = header.find('\n', from);
  return header.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

void HonourLanguageVariable() {
  const char* language = std::getenv("LANGUAGE");
  if (!language || !*language) return;
  const char* messages = ::setlocale(LC_MESSAGES, nullptr);
  if (messages && (std::strcmp(messages, "C") == 0 || std::strcmp(messages, "POSIX") == 0))
    ::setlocale(LC_MESSAGES, "C.UTF-8");
}

std::string Substitute(std::string_view pattern, std::initializer_list<std::string_view> args) {
  return SubstituteList(pattern, std::vector<std::string_view>(args));
}

std::string SubstituteList(std::string_view pattern, const std::vector<std::string_view>& args) {
  const bool ascii = std::all_of(pattern.begin(), pattern.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  std::string out;
  out.reserve(pattern.size() + 16);
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const size_t n = static_cast<size_t>(pattern[i + 1] - '1');
      if (n < args.size()) {
        const std::string_view arg = args[n];
        if (ascii)
          out += arg;
        else
          out += ToUtf8Edge(arg);
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string UserErrorText(const std::exception& e) {
  if (const auto* ours = dynamic_cast<const EQuillboxError*>(&e)) return ours->UserText();
  const std::string what = e.what();
  // The empty msgid is the catalogue's header.
  return what.empty() ? what : Translate(what);
}

}  // namespace qb
