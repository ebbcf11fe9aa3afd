// quillbox-cli import-registry and identities, run as a user would run them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "tests/app/cli_runner.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using test::CliResult;
using ::testing::HasSubstr;

// Runs the program with the store below configHome.
CliResult RunCli(const std::string& configHome, const std::vector<std::string>& args) {
  return test::RunCli(args, {{"XDG_CONFIG_HOME", configHome}});
}

const std::string kExport = "windows-export-utf16-identities.reg";

TEST(RegistryCli, ImportedWindowsExportListsIdentities) {
  test::TempDir config;
  test::ScopedEnv profile("UserProfile", "/home/jo/win");
  CliResult empty = RunCli(config.Path(), {"identities"});
  EXPECT_EQ(empty.Status, 0) << empty.Err;
  EXPECT_EQ(empty.Out, "");

  CliResult import =
      RunCli(config.Path(), {"import-registry", test::TestDataDir("platform") + "/" + kExport});
  ASSERT_EQ(import.Status, 0) << import.Err;
  EXPECT_EQ(import.Out, "");
  EXPECT_THAT(import.Err, HasSubstr("Imported 19 values in 10 keys"));
  EXPECT_TRUE(FileExists(config / "Quillbox/registry.reg"));

  CliResult list = RunCli(config.Path(), {"identities"});
  EXPECT_EQ(list.Status, 0) << list.Err;
  EXPECT_EQ(list.Err, "");
  EXPECT_EQ(list.Out,
            "Main Identity\t/home/jo/win/Local Settings/Application Data/Identities/"
            "{1D6A53E2-8E5C-4B9B-A0C1-2F2E1C4B7A01}/Microsoft/Outlook Express\n"
            "J\xC3\xBCrgen Wei\xC3\x9F \xE2\x80\x93 Arbeit\tD:/Mail/J\xC3\xBCrgen/Outlook Express\n"
            "Never Opened\t[Empty Profile]\n");

  // Importing the same file again changes nothing.
  const std::string before = test::ReadFile(config / "Quillbox/registry.reg");
  ASSERT_EQ(
      RunCli(config.Path(), {"import-registry", test::TestDataDir("platform") + "/" + kExport})
          .Status,
      0);
  EXPECT_EQ(test::ReadFile(config / "Quillbox/registry.reg"), before);
}

TEST(RegistryCli, DamagedImportIsReportedAndKeepsTheStore) {
  test::TempDir config;
  ASSERT_EQ(
      RunCli(config.Path(), {"import-registry", test::TestDataDir("platform") + "/" + kExport})
          .Status,
      0);
  const std::string store = config / "Quillbox/registry.reg";
  const std::string before = test::ReadFile(store);
  const std::string listed = RunCli(config.Path(), {"identities"}).Out;

  // A file that parses up to line 3, then breaks: its first key must not arrive.
  test::TempDir work;
  test::WriteFile(work / "bad.reg",
                  "Windows Registry Editor Version 5.00\n"
                  "[HKEY_CURRENT_USER\\Software\\Microsoft\\Outlook Express]\n"
                  "\"Store Root\"=\"C:\\\\Elsewhere\"\n"
                  "\"Broken\"=dword:zz\n");
  CliResult bad = RunCli(config.Path(), {"import-registry", work / "bad.reg"});
  EXPECT_EQ(bad.Status, 1);
  EXPECT_EQ(bad.Out, "");
  EXPECT_EQ(bad.Err,
            "quillbox-cli: " + work / "bad.reg" +
                ": line 4: a dword needs 1 to 8 hexadecimal digits; nothing was imported\n");
  CliResult damagedExport =
      RunCli(config.Path(), {"import-registry", test::TestDataDir("platform") +
                                                    "/utf16-export-unclosed-quote-line-48.reg"});
  EXPECT_EQ(damagedExport.Status, 1);
  EXPECT_THAT(damagedExport.Err, HasSubstr(": line 48: text without closing quote"));
  EXPECT_EQ(test::ReadFile(store), before);
  EXPECT_EQ(RunCli(config.Path(), {"identities"}).Out, listed);

  CliResult missing = RunCli(config.Path(), {"import-registry", work / "absent.reg"});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(missing.Err, "quillbox-cli: cannot read " + work / "absent.reg" + "\n");
  EXPECT_EQ(RunCli(config.Path(), {"import-registry"}).Status, 1);
  EXPECT_EQ(RunCli(config.Path(), {"identities", "extra"}).Status, 1);
  EXPECT_EQ(test::ReadFile(store), before);
}

TEST(RegistryCli, DamagedStoreFileIsWarnedAboutAndKeptAside) {
  test::TempDir config;
  const std::string store = config / "Quillbox/registry.reg";
  test::WriteFile(store, "not a registry file\n");
  CliResult list = RunCli(config.Path(), {"identities"});
  EXPECT_EQ(list.Status, 0);
  EXPECT_EQ(list.Out, "");
  EXPECT_THAT(list.Err, HasSubstr("line 1: expected \"Windows Registry Editor Version 5.00\""));

  CliResult import =
      RunCli(config.Path(), {"import-registry", test::TestDataDir("platform") + "/" + kExport});
  EXPECT_EQ(import.Status, 0) << import.Err;
  EXPECT_EQ(test::ReadFile(store + ".damaged"), "not a registry file\n");
  EXPECT_EQ(RunCli(config.Path(), {"identities"}).Err, "");
}

}  // namespace
}  // namespace qb
