#include "platform/keystore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using ::testing::HasSubstr;

TRegValue Raw(std::uint32_t type, std::string bytes) {
  TRegValue v;
  v.Type = type;
  v.Data = std::move(bytes);
  return v;
}

std::string Import(TKeyStore& store, const std::string& text) {
  try {
    store.ImportRegText(text);
    return "";
  } catch (const ERegParseError& e) {
    return e.what();
  }
}

// ---------------------------------------------------------------------------
// The store and its file

TEST(KeyStore, RoundTripKeepsTypesOrderAndBytes) {
  test::TempDir dir;
  const std::string path = dir / "cfg/Quillbox/registry.reg";
  const std::string key = "Software\\Quillbox\\TfrmOEMain";
  std::vector<std::pair<std::string, TRegValue>> written = {
      {"txtOEDir_Text", Raw(kRegSz, "c:\\Attachments\\")},
      {"say \"hi\" \\ bye", Raw(kRegSz, "a \"quoted\" \\\\server\\share")},
      {"", Raw(kRegSz, "the default value")},
      {"multi line", Raw(kRegSz, std::string("one\r\ntwo\nthree\0four", 19))},
      {"8-bit", Raw(kRegSz, "caf\xE9 \x80 \xFF")},
      {"utf-8", Raw(kRegSz, "J\xC3\xBCrgen")},
      {"zero", Raw(kRegDword, "")},
      {"max", Raw(kRegDword, "")},
      {"expand", Raw(kRegExpandSz, "%USERPROFILE%\\Mail \xC3\xA9")},
      {"blob", Raw(kRegBinary, std::string(200, '\x5A') + std::string("\0\x01\xFF", 3))},
      {"empty blob", Raw(kRegBinary, "")},
      {"multi", Raw(kRegMultiSz, std::string("a\0\0\0b\0\0\0\0\0", 10))},
      {"qword", Raw(kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08")},
  };
  written[7].second.Dword = 0xFFFFFFFF;
  {
    TKeyStore store(path);
    EXPECT_EQ(store.LoadError(), "");
    for (const auto& [name, value] : written) store.WriteValue(key, name, value);
  }
  TKeyStore again(path);
  ASSERT_EQ(again.LoadError(), "");
  std::vector<std::string> names;
  for (const auto& [name, value] : written) {
    names.push_back(name);
    auto read = again.GetValue(key, name);
    ASSERT_TRUE(read) << name;
    TRegValue expected = value;
    expected.Name = name;
    EXPECT_EQ(*read, expected) << name;
  }
  EXPECT_EQ(again.ValueNames(key), names);
  // Writing what was read gives the same file.
  EXPECT_EQ(again.ToRegText(), test::ReadFile(path));
  const std::string text = test::ReadFile(path);
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n\n", 0), 0u);
  EXPECT_THAT(text, HasSubstr("[HKEY_CURRENT_USER\\Software\\Quillbox\\TfrmOEMain]\n"));
  EXPECT_THAT(text, HasSubstr("\"txtOEDir_Text\"=\"c:\\\\Attachments\\\\\"\n"));
  EXPECT_THAT(text, HasSubstr("@=\"the default value\"\n"));
  EXPECT_THAT(text, HasSubstr("\"max\"=dword:ffffffff\n"));
  EXPECT_THAT(text, HasSubstr("\"expand\"=hex(2):25,00,55,00"));
  EXPECT_THAT(text, HasSubstr("\"qword\"=hex(b):01,02,03,04,05,06,07,08\n"));
}

TEST(KeyStore, ValuesKeepCreationOrderSubkeysSortWithoutCase) {
  TKeyStore store;
  const std::string key = "Software\\Quillbox\\Options\\ExcludeExt";
  for (const char* ext : {".VBS", ".EXE", ".BAT", ".CFM"}) store.WriteFlag(key, ext, true);
  store.WriteFlag(key, ".exe", false);  // replaced in place, name kept
  EXPECT_EQ(store.ValueNames(key), (std::vector<std::string>{".VBS", ".EXE", ".BAT", ".CFM"}));
  EXPECT_FALSE(store.ReadFlag(key, ".EXE"));
  EXPECT_TRUE(store.DeleteValue(key, ".vbs"));
  store.WriteFlag(key, ".vbs", true);  // created anew: last, with the new spelling
  EXPECT_EQ(store.ValueNames(key), (std::vector<std::string>{".EXE", ".BAT", ".CFM", ".vbs"}));

  for (const char* sub : {"beta", "_under", "Alpha", "gamma", "ALPHA"}) store.CreateKey(sub);
  // The registry sorts by upper-cased name: '_' comes after the letters.
  EXPECT_EQ(store.SubKeyNames(""),
            (std::vector<std::string>{"Alpha", "beta", "gamma", "Software", "_under"}));

  // The same order survives the file.
  TKeyStore copy;
  copy.ImportRegText(store.ToRegText());
  EXPECT_EQ(copy.ValueNames(key), store.ValueNames(key));
  EXPECT_EQ(copy.SubKeyNames(""), store.SubKeyNames(""));
  EXPECT_EQ(copy.ToRegText(), store.ToRegText());
}

TEST(KeyStore, NamesMatchWithoutCaseAndKeepFirstSpelling) {
  TKeyStore store;
  store.WriteString("Software\\Quillbox\\Options", "newValue", "y");
  EXPECT_EQ(store.ReadString("\\SOFTWARE\\quillbox\\OPTIONS\\", "NEWVALUE"), "y");
  EXPECT_TRUE(store.ValueExists("software\\\\Quillbox\\options", "newvalue"));
  EXPECT_TRUE(store.KeyExists("\\software"));
  store.WriteString("SOFTWARE\\QUILLBOX", "StartValue", "1.0");
  store.WriteString("software\\quillbox\\options", "NEWVALUE", "n");
  EXPECT_EQ(store.SubKeyNames(""), std::vector<std::string>{"Software"});
  EXPECT_EQ(store.SubKeyNames("software"), std::vector<std::string>{"Quillbox"});
  EXPECT_EQ(store.ValueNames("Software\\Quillbox\\Options"), std::vector<std::string>{"newValue"});
  EXPECT_EQ(store.ReadString("Software\\Quillbox\\Options", "newValue"), "n");
  const std::string text = store.ToRegText();
  EXPECT_THAT(text, HasSubstr("[HKEY_CURRENT_USER\\Software\\Quillbox]\n\"StartValue\"=\"1.0\""));
  EXPECT_THAT(text, HasSubstr("[HKEY_CURRENT_USER\\Software\\Quillbox\\Options]\n\"newValue\"="));
  // Only ASCII letters fold: other bytes must match exactly.
  store.WriteString("k", "\xC3\xA9t\xC3\xA9", "x");
  EXPECT_FALSE(store.ValueExists("k", "\xC3\x89T\xC3\x89"));
}

TEST(KeyStore, ReadsByTypeAndDeletes) {
  TKeyStore store;
  const std::string key = "Software\\Quillbox";
  EXPECT_EQ(store.ReadString(key, "missing"), "");
  EXPECT_FALSE(store.ReadFlag(key, "missing"));
  EXPECT_FALSE(store.ReadInteger("no\\such\\key", "x"));
  EXPECT_TRUE(store.ValueNames("no\\such\\key").empty());
  store.WriteInteger(key, "two", 2);
  store.WriteFlag(key, "off", false);
  store.WriteString(key, "text", "True");
  store.WriteValue(key, "expand", Raw(kRegExpandSz, "%HOME%"));
  store.WriteValue(key, "blob", Raw(kRegBinary, "\x01"));
  EXPECT_TRUE(store.ReadFlag(key, "two"));
  EXPECT_FALSE(store.ReadFlag(key, "off"));
  EXPECT_EQ(store.ReadInteger(key, "two"), 2u);
  EXPECT_EQ(store.ReadString(key, "expand"), "%HOME%");
  // A flag stored as text, or a text stored as a number, is a type error.
  EXPECT_THROW(store.ReadFlag(key, "text"), EKeyStoreError);
  EXPECT_THROW(store.ReadString(key, "two"), EKeyStoreError);
  EXPECT_THROW(store.ReadString(key, "blob"), EKeyStoreError);
  // A value changes type when written again with another.
  store.WriteInteger(key, "text", 1);
  EXPECT_TRUE(store.ReadFlag(key, "text"));

  EXPECT_FALSE(store.DeleteValue(key, "missing"));
  EXPECT_FALSE(store.DeleteValue("no\\such", "text"));
  EXPECT_TRUE(store.DeleteValue(key, "TEXT"));
  EXPECT_FALSE(store.ValueExists(key, "text"));

  store.WriteString(key + "\\OEFolderSelection", "Inbox.dbx", "y");
  EXPECT_TRUE(store.DeleteKey("software"));
  EXPECT_FALSE(store.KeyExists(key + "\\OEFolderSelection"));
  EXPECT_FALSE(store.DeleteKey("software"));

  EXPECT_THROW(store.WriteString(std::string(256, 'k'), "v", "x"), EKeyStoreError);
  EXPECT_THROW(store.WriteString("k", std::string(16384, 'v'), "x"), EKeyStoreError);
  EXPECT_FALSE(store.KeyExists(std::string(256, 'k')));
  EXPECT_THROW(store.CreateKey("two\nlines"), EKeyStoreError);
}

TEST(KeyStoreFile, WritesOnlyWhenChangedAndOncePerBatch) {
  test::TempDir dir;
  const std::string path = dir / "registry.reg";
  TKeyStore store(path);
  EXPECT_FALSE(FileExists(path));  // nothing written before a change
  store.WriteString("a", "v", "1");
  ASSERT_TRUE(FileExists(path));
  std::remove(path.c_str());
  store.WriteString("A", "V", "1");  // same value: no write
  EXPECT_FALSE(store.DeleteValue("a", "other"));
  EXPECT_FALSE(FileExists(path));
  {
    TKeyStore::TBatch batch(store);
    for (int i = 0; i < 100; ++i) store.WriteFlag("Options\\IncludeExt", std::to_string(i), true);
    EXPECT_FALSE(FileExists(path));
    TKeyStore::TBatch inner(store);
  }
  ASSERT_TRUE(FileExists(path));
  TKeyStore reread(path);
  EXPECT_EQ(reread.ValueNames("options\\includeext").size(), 100u);
  EXPECT_EQ(reread.ReadString("a", "v"), "1");
}

TEST(KeyStoreFile, DamagedStoreFileIsMovedAsideNotOverwritten) {
  test::TempDir dir;
  const std::string path = dir / "registry.reg";
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n\"a\"=\"b\n";
  test::WriteFile(path, damaged);
  TKeyStore store(path);
  EXPECT_THAT(store.LoadError(), HasSubstr("registry.reg: line 4: text without closing quote"));
  EXPECT_FALSE(store.KeyExists("Software"));
  EXPECT_EQ(test::ReadFile(path), damaged);  // reading leaves it alone
  store.WriteString("Software", "a", "c");
  EXPECT_EQ(test::ReadFile(path + ".damaged"), damaged);
  EXPECT_EQ(TKeyStore(path).ReadString("Software", "a"), "c");
}

TEST(KeyStoreFile, UnwritableFileKeepsTheChangeInMemory) {
  test::TempDir dir;
  test::WriteFile(dir / "blocker", "a file where the folder should be");
  TKeyStore store(dir / "blocker/Quillbox/registry.reg");
  EXPECT_THROW(store.WriteString("k", "v", "x"), EKeyStoreError);
  EXPECT_EQ(store.ReadString("k", "v"), "x");
  EXPECT_THROW(store.Save(), EKeyStoreError);
}

TEST(KeyStoreFile, PathFollowsXdgConfigHomeThenHome) {
  {
    test::ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg/x/");
    EXPECT_EQ(KeyStorePath(), "/cfg/x/Quillbox/registry.reg");
  }
  test::ScopedEnv xdg("XDG_CONFIG_HOME", "relative");
  test::ScopedEnv home("HOME", "/home/u");
  EXPECT_EQ(KeyStorePath(), "/home/u/.config/Quillbox/registry.reg");
}

TEST(KeyStore, ConcurrentWritersAndReaders) {
  test::TempDir dir;
  TKeyStore store(dir / "registry.reg");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&store, t] {
      const std::string key = "Threads\\T" + std::to_string(t);
      for (int i = 0; i < 20; ++i) {
        store.WriteInteger(key, "v" + std::to_string(i), static_cast<std::uint32_t>(i));
        store.ValueNames("Threads\\T" + std::to_string((t + 1) % 4));
        store.ToRegText();
      }
    });
  for (auto& th : threads) th.join();
  TKeyStore reread(dir / "registry.reg");
  for (int t = 0; t < 4; ++t)
    EXPECT_EQ(reread.ValueNames("Threads\\T" + std::to_string(t)).size(), 20u);
}

// ---------------------------------------------------------------------------
// Import of .reg files

TEST(RegImport, WindowsUtf16ExportMergesCurrentUserOnly) {
  TKeyStore store;
  store.WriteString("Identities", "Keep", "me");
  auto bytes =
      ReadWholeFile(test::TestDataDir("platform") + "/windows-export-utf16-identities.reg");
  ASSERT_TRUE(bytes);
  TRegImportStats stats = store.ImportRegText(*bytes);
  EXPECT_EQ(stats.Keys, 10);
  EXPECT_EQ(stats.Values, 19);
  EXPECT_EQ(stats.Ignored, 2);

  const std::string main = "Identities\\{1D6A53E2-8E5C-4B9B-A0C1-2F2E1C4B7A01}";
  auto root = store.GetValue(main + "\\Software\\Microsoft\\Outlook Express\\5.0", "Store Root");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->Type, kRegExpandSz);
  EXPECT_EQ(root->Data,
            "%UserProfile%\\Local Settings\\Application Data\\Identities\\"
            "{1D6A53E2-8E5C-4B9B-A0C1-2F2E1C4B7A01}\\Microsoft\\Outlook Express");
  EXPECT_EQ(store.ReadString("identities\\{7f3b9c10-44d2-4e61-9b8a-5c6d7e8f9012}", "USERNAME"),
            "J\xC3\xBCrgen Wei\xC3\x9F \xE2\x80\x93 Arbeit");
  EXPECT_EQ(store.GetValue(main, "Password")->Data, std::string("qkar\0\0\0\0", 8));
  EXPECT_EQ(store.ReadInteger("Identities", "Identity Ordinal"), 3u);
  EXPECT_EQ(store.ReadString("Identities", "Keep"), "me");
  EXPECT_EQ(store.ValueNames("Identities").front(), "Keep");
  // Other roots are skipped, even where the same path exists below HKCU.
  EXPECT_FALSE(store.ValueExists("Software\\Microsoft\\Outlook Express", "InstallRoot"));
  EXPECT_FALSE(store.KeyExists(".eml"));
  EXPECT_EQ(store.SubKeyNames("Identities").size(), 3u);
}

TEST(RegImport, Regedit4AnsiDeletionsAndContinuations) {
  TKeyStore store;
  store.WriteString("Old\\Sub", "x", "gone soon");
  store.WriteString("Keep", "drop", "gone soon");
  store.WriteString("Keep", "stay", "here");
  const std::string text =
      "REGEDIT4\r\n"
      "; a comment\r\n"
      "\r\n"
      "  [HKEY_CURRENT_USER\\Software\\Test]  \r\n"
      "@=\"default\"\r\n"
      "\"Caf\xE9\"=\"\xE9t\xE9\"\r\n"
      "\"Path\" = hex(2):25,48,4f,4d,45,\\\r\n"
      "    25 , 5c,  78\\\r\n"
      "  ,00,79\r\n"
      "\"Big\"=DWORD:0000002A ; answer\r\n"
      "\"Dw\"=hex(4):01,02,00,00\r\n"
      "\"Short\"=dword:1\r\n"
      "\"Odd\"=\"C:\\\\dir\\x\"\r\n"
      "\"Multi\"=hex(7):61,00,e9,00,00\r\n"
      "[-HKEY_CURRENT_USER\\Old]\r\n"
      "\"ignored\"=\"after a deleted key\"\r\n"
      "[HKEY_CURRENT_USER\\Keep]\r\n"
      "\"DROP\"=-\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
      "\"Machine\"=\"skipped\"";  // no line end at the very end
  EXPECT_EQ(Import(store, text), "");
  const std::string key = "Software\\Test";
  EXPECT_EQ(store.ValueNames(key), (std::vector<std::string>{"", "Caf\xE9", "Path", "Big", "Dw",
                                                             "Short", "Odd", "Multi"}));
  EXPECT_EQ(store.ReadString(key, ""), "default");
  EXPECT_EQ(store.ReadString(key, "caf\xE9"), "\xE9t\xE9");  // 8-bit bytes kept as they are
  EXPECT_EQ(store.GetValue(key, "Path")->Type, kRegExpandSz);
  EXPECT_EQ(store.ReadString(key, "Path"), "%HOME%\\x");  // REGEDIT4: 8-bit, ends at the zero
  EXPECT_EQ(store.ReadInteger(key, "Big"), 42u);
  EXPECT_EQ(store.ReadInteger(key, "Dw"), 0x201u);
  EXPECT_EQ(store.ReadInteger(key, "Short"), 1u);
  EXPECT_EQ(store.ReadString(key, "Odd"), "C:\\dir\\x");  // an unknown escape stays as written
  // 8-bit multi-strings become what a version 5 file holds: UTF-16LE.
  EXPECT_EQ(store.GetValue(key, "Multi")->Data, std::string("a\0\0\0\xE9\0\0\0\0\0", 10));
  EXPECT_FALSE(store.KeyExists("Old"));
  EXPECT_EQ(store.ValueNames("Keep"), std::vector<std::string>{"stay"});
  EXPECT_FALSE(store.KeyExists("Software\\Test\\Machine"));
}

TEST(RegImport, ByteOrderMarksAndEncodings) {
  const std::string body =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\E]\r\n"
      "\"n\"=\"\xC3\xA9\"\r\n\"x\"=hex(2):e9,00,00,00\r\n\"s\"=hex(1):41,00,00,00,42,00\r\n";
  std::string utf16le, utf16be;
  for (unsigned char c : std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_"
                                     "USER\\E]\r\n\"n\"=\"\xE9\"\r\n\"x\"=hex(2):e9,00,00,00\r\n"
                                     "\"s\"=hex(1):41,00,00,00,42,00\r\n")) {
    utf16le += {static_cast<char>(c), '\0'};  // Latin-1 is UTF-16's first 256 code points
    utf16be += {'\0', static_cast<char>(c)};
  }
  const std::vector<std::pair<std::string, std::string>> files = {
      {"UTF-8", body},
      {"UTF-8 with BOM", "\xEF\xBB\xBF" + body},
      {"UTF-16LE", "\xFF\xFE" + utf16le},
      {"UTF-16BE", "\xFE\xFF" + utf16be},
      {"UTF-16LE without BOM", utf16le},
  };
  for (const auto& [what, bytes] : files) {
    TKeyStore store;
    EXPECT_EQ(Import(store, bytes), "") << what;
    EXPECT_EQ(store.ReadString("E", "n"), "\xC3\xA9") << what;
    EXPECT_EQ(store.ReadString("E", "x"), "\xC3\xA9") << what;
    EXPECT_EQ(store.ReadString("E", "s"), "A") << what;
  }
}

TEST(RegImport, DamagedFileNamesTheLineAndMergesNothing) {
  const std::string head =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\New]\n"
      "\"fine\"=\"before the fault\"\n";
  struct Case {
    std::string text;
    int line;
    std::string problem;
  };
  const std::vector<Case> cases = {
      {"", 1, "the file is empty"},
      {"\n\n  \n", 3, "the file is empty"},
      {"[HKEY_CURRENT_USER\\A]\n", 1, "expected \"Windows Registry Editor Version 5.00\""},
      {"REGEDIT4\n\"a\"=\"b\"\n", 2, "value outside of a key section"},
      {head + "[HKEY_CURRENT_USER\\A\n", 5, "key name without closing ']'"},
      {head + "[HKEY_CURRENT_USER\\A] x\n", 5, "text after the key name"},
      {head + "[]\n", 5, "empty key name"},
      {head + "[HKEY_ELSEWHERE\\A]\n", 5, "unknown root key \"HKEY_ELSEWHERE\""},
      {head + "[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\n", 5, "longer than 255"},
      {head + "\"a\"=\"b\n", 5, "text without closing quote"},
      {head + "\"a=\"b\"\n", 5, "missing '=' after the value name"},
      {head + "\"a\n", 5, "value name without closing quote"},
      {head + "\"a\"=\"b\" c\n", 5, "text after the closing quote \"c\""},
      {head + "\"a\"=dword:123456789\n", 5, "a dword needs 1 to 8 hexadecimal digits"},
      {head + "\"a\"=dword:\n", 5, "a dword needs 1 to 8 hexadecimal digits"},
      {head + "\"a\"=dword:12x\n", 5, "text after the dword"},
      {head + "\"a\"=hex(4):01,02\n", 5, "a dword needs exactly 4 bytes"},
      {head + "\"a\"=hex:01,zz\n", 5, "bad hexadecimal byte \"zz\""},
      {head + "\"a\"=hex:01,,02\n", 5, "missing hexadecimal byte"},
      {head + "\"a\"=hex(2x):01\n", 5, "hex type needs 1 to 8 hexadecimal digits"},
      {head + "\"a\"=hex 01\n", 5, "missing ':' after \"hex\""},
      {head + "\"a\"=hex(2):41,00,\\\n  42,00,\\\n  4g,00\n", 7, "bad hexadecimal byte \"4g\""},
      {head + "\"a\"=hex:01,\\\n", 5, "hex data continues past the end of the file"},
      {head + "\"a\"=str(2):\"x\"\n", 5, "unknown value type \"str(2):\"x\"\""},
      {head + "\"a\"=\n", 5, "unknown value type"},
      {head + "HKEY_CURRENT_USER\\A\n", 5, "unexpected text \"HKEY_CURRENT_USER\\A\""},
      {head + "\"" + std::string(16384, 'v') + "\"=\"x\"\n", 5, "value name longer than 16383"},
  };
  test::TempDir dir;
  const std::string path = dir / "registry.reg";
  TKeyStore store(path);
  store.WriteString("Existing", "value", "kept");
  const std::string before = test::ReadFile(path);
  for (const Case& c : cases) {
    try {
      store.ImportRegText(c.text);
      ADD_FAILURE() << "accepted: " << c.text.substr(0, 200);
    } catch (const ERegParseError& e) {
      EXPECT_EQ(e.Line(), c.line) << c.text.substr(0, 200);
      EXPECT_THAT(e.Problem(), HasSubstr(c.problem)) << c.text.substr(0, 200);
      EXPECT_EQ(std::string(e.what()), "line " + std::to_string(c.line) + ": " + e.Problem());
    }
  }
  EXPECT_FALSE(store.KeyExists("New"));
  EXPECT_EQ(store.SubKeyNames(""), std::vector<std::string>{"Existing"});
  EXPECT_EQ(test::ReadFile(path), before);
}

TEST(RegImport, DamagedUtf16ExportCountsLinesOfTheDecodedText) {
  TKeyStore store;
  auto bytes =
      ReadWholeFile(test::TestDataDir("platform") + "/utf16-export-unclosed-quote-line-48.reg");
  ASSERT_TRUE(bytes);
  EXPECT_EQ(Import(store, *bytes), "line 48: text without closing quote");
  EXPECT_TRUE(store.SubKeyNames("").empty());
}

TEST(RegImport, DepthAndSizeAreBounded) {
  std::string deep = "[HKEY_CURRENT_USER";
  for (int i = 0; i < 600; ++i) deep += "\\k";
  TKeyStore store;
  EXPECT_EQ(Import(store, "REGEDIT4\n" + deep + "]\n"),
            "line 2: key name longer than 255 characters or deeper than 512 levels");
  std::string key;
  for (int i = 0; i < 500; ++i) key += "\\k";
  EXPECT_EQ(Import(store, "REGEDIT4\n[HKEY_CURRENT_USER" + key + "]\n\"v\"=\"deep\"\n"), "");
  TKeyStore copy;
  EXPECT_EQ(Import(copy, store.ToRegText()), "");
  EXPECT_EQ(copy.ReadString(key, "v"), "deep");

  std::string huge(kMaxRegFileSize + 1, ';');
  huge.replace(0, 9, "REGEDIT4\n");
  EXPECT_EQ(Import(store, huge), "line 1: the file is larger than 64 MB");
}

}  // namespace
}  // namespace qb
