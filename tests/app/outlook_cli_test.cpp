// quillbox-cli outlook-folders and extract --source outlook, run as a user
// would run them, on the reference .pst files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "tests/app/cli_runner.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using test::CliResult;
using ::testing::HasSubstr;
using ::testing::Not;

// A user with an empty key store and application-data folder of their own.
struct User {
  test::TempDir Home;
  std::string Config() const { return Home / "config"; }
  std::string Data() const { return Home / "data"; }

  CliResult Run(const std::vector<std::string>& args) const {
    return test::RunCli(args, {{"XDG_CONFIG_HOME", Config()}, {"XDG_DATA_HOME", Data()}});
  }
};

std::string Pst(const std::string& name) {
  return test::RefDataDir() + "/pst/" + name;
}

std::vector<std::vector<std::string>> Records(const std::string& out) {
  std::vector<std::vector<std::string>> records;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    std::vector<std::string> fields;
    std::string line = out.substr(start, end - start);
    size_t f = 0;
    for (size_t tab; (tab = line.find('\t', f)) != std::string::npos; f = tab + 1)
      fields.push_back(line.substr(f, tab - f));
    fields.push_back(line.substr(f));
    records.push_back(fields);
    start = end + 1;
  }
  return records;
}

TEST(OutlookCli, FoldersListsMailFoldersWithTheirKeys) {
  User user;
  CliResult r = user.Run({"outlook-folders", "--pst", Pst("aspose_Outlook.pst")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const auto records = Records(r.Out);
  ASSERT_EQ(records.size(), 11u) << r.Out;
  std::map<std::string, std::vector<std::string>> byPath;
  for (const auto& rec : records) {
    ASSERT_EQ(rec.size(), 5u);
    EXPECT_FALSE(rec[4].empty());
    byPath[rec[3]] = rec;
  }
  EXPECT_EQ(records[0][1], "");
  EXPECT_EQ(records[0][2], "Outlook");
  EXPECT_EQ(byPath.at("OutlookInboxSubInbox")[1], byPath.at("OutlookInbox")[0]);
  EXPECT_EQ(byPath.at("OutlookInbox")[1], records[0][0]);
  for (const char* other : {"Calendar", "Contacts", "Journal", "Notes", "Tasks"})
    EXPECT_EQ(byPath.count(std::string("Outlook") + other), 0u) << other;
}

TEST(OutlookCli, FoldersFindsConfiguredStores) {
  User user;
  CliResult none = user.Run({"outlook-folders"});
  EXPECT_EQ(none.Status, 1);
  EXPECT_THAT(none.Err, HasSubstr("Outlook is not available"));

  ASSERT_TRUE(ForceDirectories(user.Data() + "/Quillbox/Outlook"));
  std::filesystem::copy_file(Pst("sample1.pst"), user.Data() + "/Quillbox/Outlook/mine.pst");
  ASSERT_TRUE(ForceDirectories(user.Config() + "/Quillbox"));
  test::WriteFile(user.Config() + "/Quillbox/registry.reg",
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Quillbox\\Outlook\\Stores]\r\n"
                  "\"work\"=\"" +
                      Pst("enron-sample.pst") + "\"\r\n");
  CliResult r = user.Run({"outlook-folders", "--pst", Pst("sample2-32bit.pst")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  std::vector<std::string> stores;
  for (const auto& rec : Records(r.Out))
    if (rec[1].empty()) stores.push_back(rec[2]);
  EXPECT_EQ(stores, (std::vector<std::string>{"Personal Folders", "sample1", "sample2"}));
}

TEST(OutlookCli, FoldersRejectsBadArguments) {
  User user;
  EXPECT_EQ(user.Run({"outlook-folders", "--pst"}).Status, 1);
  EXPECT_EQ(user.Run({"outlook-folders", "--bogus"}).Status, 1);
  CliResult missing = user.Run({"outlook-folders", "--pst", user.Home / "missing.pst"});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_THAT(missing.Err, HasSubstr("missing.pst"));
  CliResult notPst = user.Run({"outlook-folders", "--pst", test::RefDataDir() + "/pst/SOURCES.md"});
  EXPECT_EQ(notPst.Status, 1);
  EXPECT_THAT(notPst.Err, HasSubstr("not a personal folders"));
}

// extract --source outlook is reached through the extract command.
bool OutlookExtractAvailable(const CliResult& r) {
  return r.Err.find("unexpected argument '--source'") == std::string::npos;
}

TEST(OutlookCli, ExtractWritesTheAttachments) {
  User user;
  const std::string dest = user.Home / "out";
  CliResult r = user.Run({"extract", "--source", "outlook", "--pst", Pst("sample1.pst"), "--dest",
                          dest, "--pause-ms", "0"});
  if (!OutlookExtractAvailable(r)) GTEST_SKIP() << "extract has no --source outlook yet";
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_THAT(r.Out, HasSubstr("Reading Messages from Sample1 ...\n"));
  EXPECT_THAT(r.Out, HasSubstr("Attachments from 1 Message is extracted\n"));
  EXPECT_THAT(
      r.Out,
      HasSubstr("Finished extracting all folders, Closing Outlook Connection, Please wait..\n"));
  const auto files = test::ListTree(dest + "/outlook");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_THAT(files[0], HasSubstr(" - leah_thumper.jpg"));
  EXPECT_EQ(files[0].find('/'), std::string::npos);

  CliResult nested =
      user.Run({"extract", "--source", "outlook", "--pst", Pst("sample1.pst"), "--dest",
                user.Home / "nested", "--layout", "0", "--no-full-file-name"});
  ASSERT_EQ(nested.Status, 0) << nested.Err;
  const auto deep = test::ListTree(user.Home / "nested/outlook");
  ASSERT_EQ(deep.size(), 1u);
  EXPECT_THAT(deep[0], HasSubstr("/Here is a sample message/leah_thumper.jpg"));

  CliResult one =
      user.Run({"extract", "--source", "outlook", "--pst", Pst("aspose_Outlook.pst"), "--folder",
                "OutlookSent Items", "--dest", user.Home / "two", "--pause-ms", "0"});
  ASSERT_EQ(one.Status, 0) << one.Err;
  EXPECT_THAT(one.Out, HasSubstr("Reading Messages from Sent Items ...\n"));
  EXPECT_THAT(one.Out, Not(HasSubstr("Reading Messages from Inbox")));
  EXPECT_THAT(one.Err, HasSubstr("folder\tSent Items\t6\t"));

  // Attached messages are saved as .eml files, which the shipped exclude
  // list leaves out.
  EXPECT_EQ(test::ListTree(user.Home / "two/outlook").size(), 15u);
  CliResult all =
      user.Run({"extract", "--source", "outlook", "--pst", Pst("aspose_Outlook.pst"), "--folder",
                "OutlookSent Items", "--dest", user.Home / "three", "--exclude", ""});
  ASSERT_EQ(all.Status, 0) << all.Err;
  EXPECT_EQ(test::ListTree(user.Home / "three/outlook").size(), 17u);

  CliResult unknown = user.Run({"extract", "--source", "outlook", "--pst", Pst("sample1.pst"),
                                "--folder", "NoSuchPath", "--dest", dest});
  EXPECT_EQ(unknown.Status, 1);
  EXPECT_THAT(unknown.Err, HasSubstr("NoSuchPath"));
}

}  // namespace
}  // namespace qb
