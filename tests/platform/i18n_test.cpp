#include "platform/i18n.h"

#include <gtest/gtest.h>
#include <libintl.h>
#include <locale.h>

#include <cstdint>
#include <map>
#include <string>

#include "platform/paths.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

// A compiled catalogue (GNU .mo, little-endian, no hash table) of the
// given pairs; the header entry declares UTF-8.
std::string MakeMo(std::map<std::string, std::string> pairs) {
  pairs[""] = "Content-Type: text/plain; charset=UTF-8\nLanguage: de\n";
  const uint32_t n = static_cast<uint32_t>(pairs.size());
  std::string head, tables, strings;
  auto u32 = [](std::string& to, uint32_t v) {
    for (int i = 0; i < 4; ++i) to += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const uint32_t origTable = 28, transTable = origTable + 8 * n, data = transTable + 8 * n;
  std::string orig, trans;
  for (const auto& [id, str] : pairs) {  // std::map: sorted by msgid, as lookups need
    u32(orig, static_cast<uint32_t>(id.size()));
    u32(orig, data + static_cast<uint32_t>(strings.size()));
    strings += id + '\0';
  }
  for (const auto& [id, str] : pairs) {
    u32(trans, static_cast<uint32_t>(str.size()));
    u32(trans, data + static_cast<uint32_t>(strings.size()));
    strings += str + '\0';
  }
  for (uint32_t v : {0x950412deu, 0u, n, origTable, transTable, 0u, 0u}) u32(head, v);
  return head + orig + trans + strings;
}

class LocaleGuard {
 public:
  explicit LocaleGuard(const char* locale) : old_(setlocale(LC_ALL, nullptr)) {
    setlocale(LC_ALL, locale);
  }
  ~LocaleGuard() { setlocale(LC_ALL, old_.c_str()); }

 private:
  std::string old_;
};

TEST(I18n, CataloguesComeOnlyFromTheProgramsOwnDirectory) {
  test::ScopedEnv language("LANGUAGE", "de");
  LocaleGuard locale("C.UTF-8");

  // The first lookup binds the text domain to the program's data directory,
  // which holds no catalogue here: every text stays as written.
  EXPECT_EQ(Translate("Finished"), "Finished");
  EXPECT_EQ(std::string(::bindtextdomain(kTextDomain, nullptr)), MessageCatalogueDir());
  EXPECT_EQ(MessageCatalogueDir(), ProgramDataDir() + "/locale");

  test::TempDir dir;
  ForceDirectories(dir / "de/LC_MESSAGES");
  test::WriteFile(dir / "de/LC_MESSAGES/default.mo", MakeMo({{"Finished", "Fertig"},
                                                             {"Skipped",
                                                              "\xC3\x9C"
                                                              "bersprungen"}}));
  BindMessageCatalogue(dir.Path());
  EXPECT_EQ(Translate("Finished"), "Fertig");
  EXPECT_EQ(Translate("Skipped"),
            "\xC3\x9C"
            "bersprungen");
  EXPECT_EQ(Translate("Waiting"), "Waiting");  // not in the catalogue
  EXPECT_EQ(CatalogueLanguage(), "de");
  EXPECT_EQ(Translate(""), "");  // not the catalogue's header
  {
    LocaleGuard plain("C");  // the C locale asks for no translation
    EXPECT_EQ(Translate("Finished"), "Finished");
  }
}

TEST(I18n, SubstitutePutsTheArgumentsWhereThePatternSays) {
  struct Case {
    const char* Pattern;
    std::initializer_list<std::string_view> Args;
    const char* Expected;
  };
  const Case cases[] = {
      {"%1 : Nachricht %2 von %3", {"Inbox", "2", "7"}, "Inbox : Nachricht 2 von 7"},
      {"%2 before %1", {"a", "b"}, "b before a"},
      {"%1%1", {"x"}, "xx"},
      {"no %3 argument", {"a"}, "no %3 argument"},
      {"100% and %", {}, "100% and %"},
      {"%1", {"%2"}, "%2"},  // an argument is not read again
      // 8-bit bytes as they are beside English, as UTF-8 beside a translation
      {"%1 : Processing", {"Entw\xFCrfe"}, "Entw\xFCrfe : Processing"},
      {"%1 : verarbeitet, gez\xC3\xA4hlt",
       {"Entw\xFCrfe"},
       "Entw\xC3\xBCrfe : verarbeitet, gez\xC3\xA4hlt"},
  };
  for (const Case& c : cases) EXPECT_EQ(Substitute(c.Pattern, c.Args), c.Expected) << c.Pattern;
}

TEST(I18n, LanguageCountsUnderTheCLocale) {
  test::ScopedEnv language("LANGUAGE", "de");
  LocaleGuard locale("C");
  HonourLanguageVariable();
  EXPECT_STREQ(setlocale(LC_MESSAGES, nullptr), "C.UTF-8");
}

}  // namespace
}  // namespace qb
