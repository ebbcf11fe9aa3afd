// The message catalogue: texts shown to the user pass through gettext with
// the text domain "default"; with no catalogue installed they stay as written.
//
// Catalogues are looked up only in the program's own data directory
// (ProgramDataDir() + "/locale", as <lang>/LC_MESSAGES/default.mo), never in
// the system-wide locale directory: other programs may install a "default"
// catalogue there, and its answers must not reach our windows.
#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

inline constexpr const char* kTextDomain = "default";

// Marks a text for the catalogue (xgettext's keyword) where it is stored
// untranslated and passed through Translate later, e.g. in a table.
constexpr const char* N_(const char* text) {
  return text;
}

// ProgramDataDir() + "/locale".
std::string MessageCatalogueDir();

// Looks the text domain up below dir from now on. Translate binds it to
// MessageCatalogueDir() on its first call; tests bind it elsewhere.
void BindMessageCatalogue(const std::string& dir);

// The catalogue's translation of text, as UTF-8; text itself when the
// catalogue has none (or the user's locale asks for no translation).
std::string Translate(const std::string& text);

// The language of the catalogue Translate answers from ("de", "fr"), as its
// header names it; "" when texts stay as written.
std::string CatalogueLanguage();

// Lets LANGUAGE choose the language under the C or POSIX locale too (where
// gettext ignores it): the messages category becomes C.UTF-8 then. Call
// once at start-up, after setlocale(LC_ALL, "").
void HonourLanguageVariable();

// pattern with %1 ... %9 replaced by the arguments in order, so that a
// translation may put the parts of a sentence where its language wants them:
// Substitute(Translate("%1 of %2"), {"3", "7"}). A number with no argument
// and any other '%' stay as they are. A pattern of plain ASCII (the English
// texts) takes the arguments as their bytes; any other (a translation, which
// is UTF-8) takes them as UTF-8, 8-bit texts converted as at the window's
// edge, so that the result is one valid UTF-8 text.
std::string Substitute(std::string_view pattern, std::initializer_list<std::string_view> args);
// The same with the arguments in a list.
std::string SubstituteList(std::string_view pattern, const std::vector<std::string_view>& args);

// The text of an exception for the user, in the user's language: one of
// ours thrown as msgid and arguments (platform/errors.h) is translated, any
// other what() is looked up as a msgid and stays as it is when the
// catalogue has none.
std::string UserErrorText(const std::exception& e);

}  // namespace qb
