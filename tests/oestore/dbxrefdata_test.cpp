// The reader on real Outlook Express files that nobody here wrote
// (../shared/refdata/dbx, described in its SOURCES.md), checked against the
// counts given there and against what undbx extracts from the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "oestore/dbxreader.h"
#include "oestore/folderlist.h"
#include "tests/oestore/dbxtest_util.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

std::string DbxRef() {
  return test::RefDataDir() + "/dbx";
}

// "dir/file" split into the store directory and the file name.
std::pair<std::string, std::string> Split(const std::string& rel) {
  const auto slash = rel.rfind('/');
  return {DbxRef() + "/" + rel.substr(0, slash), rel.substr(slash + 1)};
}

std::vector<Toe5_MessageInfo> Messages(const std::string& rel) {
  const auto [dir, file] = Split(rel);
  TDbxIndexList list;
  LoadDbxIndex(dir, file, &list);
  return MessageRecords(list);
}

TEST(DbxRefData, MessageCountsAreThoseOfTheSources) {
  const std::pair<const char*, std::size_t> counts[] = {
      {"mail-transport-dbx/test.dbx", 1},   {"mail-transport-dbx/test1.dbx", 1},
      {"dbxoutlookexpress/Inbox.dbx", 1},   {"dbxoutlookexpress/Outbox.dbx", 0},
      {"dbxoutlookexpress/Offline.dbx", 0}, {"dbxconvert/test.dbx", 2},
      {"iped/test_OutlookDBX.dbx", 28},
  };
  for (const auto& [rel, n] : counts) {
    EXPECT_EQ(Messages(rel).size(), n) << rel;
    EXPECT_EQ(LastDbxFileHeader().Count, static_cast<std::int32_t>(n)) << rel;
  }
}

TEST(DbxRefData, SoundFilesSkipNothing) {
  std::vector<std::string> reports;
  for (const char* rel : {"mail-transport-dbx/test.dbx", "mail-transport-dbx/test1.dbx",
                          "dbxoutlookexpress/Inbox.dbx", "dbxoutlookexpress/Outbox.dbx",
                          "dbxoutlookexpress/Offline.dbx", "dbxconvert/test.dbx",
                          "iped/test_OutlookDBX.dbx", "dbxoutlookexpress/Folders.dbx"}) {
    const auto [dir, file] = Split(rel);
    TDbxFile dbx(dir, file);
    TDbxIndexList list;
    dbx.LoadIndex(&list);
    for (const Toe5_MessageInfo& m : MessageRecords(list)) {
      std::string text;
      dbx.LoadMessageText(m.MessageDataPos, text);
    }
    if (dbx.Skipped().Any()) reports.push_back(std::string(rel) + ": " + dbx.Skipped().Text());
  }
  EXPECT_EQ(reports, std::vector<std::string>{});
}

TEST(DbxRefData, FoldersAreTheRecordsWithId3Or6) {
  const std::vector<Toe5_FolderInfo> expected = {
      {0, 0, "Outlook Express", ""},  {1, 0, "Local Folders", ""}, {4, 1, "Inbox", "Inbox.dbx"},
      {5, 1, "Outbox", "Outbox.dbx"}, {9, 0, "Hotmail", ""},
  };
  // "folders.dbx" opens Folders.dbx and reads folder records.
  EXPECT_EQ(LoadOEFolderList(DbxRef() + "/dbxoutlookexpress"), expected);
  // The folders that a run is offered: those with a file.
  const auto job = OEJobFolders(expected);
  ASSERT_EQ(job.size(), 2u);
  EXPECT_EQ(job[0].Name, "Inbox");
  EXPECT_EQ(job[1].FileName, "Outbox.dbx");
  // Under its real name the file is read as a message file: all 8 objects.
  EXPECT_EQ(Messages("dbxoutlookexpress/Folders.dbx").size(), 8u);
}

TEST(DbxRefData, RecordFieldsOfKnownMessages) {
  const auto two = Messages("dbxconvert/test.dbx");
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].Subject, "Subject #1");
  EXPECT_EQ(two[1].Subject, "Subject #2");
  EXPECT_EQ(two[0].Sender, "Romanito");
  EXPECT_EQ(two[0].ObjectPos, 11044);
  EXPECT_EQ(two[0].MessageDataPos, 0xEAD4);
  const auto iped = Messages("iped/test_OutlookDBX.dbx");
  ASSERT_EQ(iped.size(), 28u);
  std::vector<int> numbers;
  for (const auto& m : iped) numbers.push_back(m.MessageNumber);
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers.front(), 2);
  EXPECT_EQ(numbers.back(), 29);
}

TEST(DbxRefData, RawTextsAreThoseUndbxExtracts) {
  // SHA-256 of undbx's output, recorded by make_undbx_sha256.sh.
  std::ifstream in(test::TestDataDir("oestore") + "/undbx_sha256.txt");
  ASSERT_TRUE(in) << "undbx_sha256.txt missing";
  std::map<std::string, std::vector<std::string>> theirs;
  std::string rel, sha;
  while (in >> rel >> sha) theirs[rel].push_back(sha);
  ASSERT_EQ(theirs.size(), 5u);
  std::size_t total = 0;
  for (auto& [file, shas] : theirs) {
    const auto [dir, name] = Split(file);
    std::vector<std::string> ours;
    TDbxFile once(dir, name);  // the same texts through one open file
    for (const auto& m : Messages(file)) {
      std::string text, again;
      LoadDbxMessageText(dir, name, m.MessageDataPos, text);
      once.LoadMessageText(m.MessageDataPos, again, m.MessageSize);
      EXPECT_EQ(again, text) << file << " " << m.MessageNumber;
      ours.push_back(test::Sha256Hex(text));
    }
    std::sort(ours.begin(), ours.end());
    std::sort(shas.begin(), shas.end());
    EXPECT_EQ(ours, shas) << file;
    total += ours.size();
  }
  EXPECT_EQ(total, 33u);
}

TEST(DbxRefData, DumpOfAFirstDataBlock) {
  const auto m = Messages("dbxconvert/test.dbx").at(0);
  std::string text;
  DumpDbxObject(DbxRef() + "/dbxconvert", "test.dbx", m.MessageDataPos, text);
  const std::string head =
      "Flags = 0\n\n\nSize of Header = 512\n"
      "E4 EC 00 00 46 72 6F 6D 3A 20 22 52 6F 6D 61 6E \n"
      " \xE4  \xEC        F  r";
  EXPECT_EQ(text.substr(0, head.size()), head);
}

TEST(DbxRefData, DumpOfAMessageObject) {
  std::string text;
  DumpDbxObject(DbxRef() + "/dbxconvert", "test.dbx", 11044, text);
  const std::string head =
      "Flags = 17\n\n80: 00000002 ==> Message Number\n81: 00010009 ==> Message Status\n"
      "02: 00000000 ==> Sent Date\n84: 0000EAD4 ==> Message Position\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_NE(text.find("\n06: 00000013\n08: 0000001B ==> Subject\n"), std::string::npos);
  EXPECT_NE(text.find("\nSize of Header = 452\n"), std::string::npos);
}

}  // namespace
}  // namespace qb
