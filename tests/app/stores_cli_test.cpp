// quillbox-cli stores on a home built here: an Outlook Express identity, an
// Outlook store, a Thunderbird profile in maildir format and Evolution's
// local folders.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/app/cli_runner.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

// A Maildir folder holding the messages named (in cur/); Thunderbird's
// maildir format makes no new/.
void MakeFolder(const std::string& dir, const std::vector<std::string>& messages,
                bool thunderbird = false) {
  for (const char* sub : {"/cur", "/new", "/tmp"})
    if (!thunderbird || sub[1] != 'n') fs::create_directories(dir + sub);
  for (const std::string& m : messages)
    fs::copy_file(test::RefDataDir() + "/mail/" + m,
                  dir + "/cur/" + fs::path(m).filename().string());
}

TEST(StoresCli, ListsEveryKindOfStoreFound) {
  test::TempDir home;
  const std::vector<std::pair<std::string, std::string>> env = {
      {"HOME", home.Path()},
      {"XDG_DATA_HOME", home / "data"},
      {"XDG_CONFIG_HOME", home / "config"},
      {"LC_ALL", "C"}};
  fs::create_directories(home / "oe");
  test::WriteFile(home / "identity.reg", test::IdentityRegistryExport(home / "oe"));
  ASSERT_EQ(test::RunCli({"import-registry", home / "identity.reg"}, env).Status, 0);
  test::WriteFile(home / "data/Quillbox/Outlook/archive.pst", "");

  const std::string profile = home / ".thunderbird/x1y2.default";
  test::WriteFile(home / ".thunderbird/profiles.ini",
                  "[Profile0]\nName=default\nIsRelative=1\nPath=x1y2.default\n");
  MakeFolder(profile + "/Mail/Local Folders/Inbox",
             {"mu/testdir2/Foo/cur/arto.eml", "mu/testdir2/Foo/cur/fraiche.eml"}, true);
  test::WriteFile(profile + "/Mail/Local Folders/Inbox.msf", "");

  const std::string evo = home / "data/evolution/mail/local";
  MakeFolder(evo, {"mu/testdir2/bar/cur/mail1", "mu/testdir2/bar/cur/mail2"});
  MakeFolder(evo + "/.Sent", {"mu/testdir2/bar/cur/mail3"});

  const test::CliResult r = test::RunCli({"stores"}, env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "outlook-express\tMain Identity\t" + home / "oe" +
                       "\t\n"
                       "outlook\tarchive.pst\t" +
                       home / "data/Quillbox/Outlook/archive.pst" +
                       "\t\n"
                       "thunderbird\tdefault\t" +
                       profile +
                       "\t\n"
                       "maildir-folder\tdefault/Local Folders/Inbox\t" +
                       profile +
                       "/Mail/Local Folders/Inbox\t2\n"
                       "evolution\tEvolution\t" +
                       evo +
                       "\t3\n"
                       "maildir-folder\tEvolution/Inbox\t" +
                       evo +
                       "\t2\n"
                       "maildir-folder\tEvolution/Sent\t" +
                       evo + "/.Sent\t1\n");
  EXPECT_EQ(test::RunCli({"stores", "extra"}, env).Status, 1);
}

}  // namespace
}  // namespace qb
