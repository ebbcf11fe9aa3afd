// quillbox-cli folders / messages / raw / dump / extract: the output
// contract (TAB-separated records, stored bytes unchanged) and exit codes.
#include <gtest/gtest.h>

#include "oestore/dbxreader.h"
#include "oestore/dbxwriter.h"
#include "platform/paths.h"
#include "tests/app/cli_runner.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using test::CliResult;
using test::RunCli;

std::string Ref(const std::string& sub) {
  return test::RefDataDir() + "/dbx/" + sub;
}

TEST(DbxCli, FoldersOfTheRealFoldersFile) {
  const CliResult r = RunCli({"folders", Ref("dbxoutlookexpress")});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out,
            "0\t0\tOutlook Express\t\n"
            "1\t0\tLocal Folders\t\n"
            "4\t1\tInbox\tInbox.dbx\n"
            "5\t1\tOutbox\tOutbox.dbx\n"
            "9\t0\tHotmail\t\n");
  EXPECT_EQ(r.Err, "");
}

TEST(DbxCli, MessagesInIndexOrder) {
  const CliResult r = RunCli({"messages", Ref("dbxconvert"), "test.dbx"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "2\t60116\t11044\tSubject #1\n3\t61700\t13016\tSubject #2\n");
}

TEST(DbxCli, StoredBytesAreWrittenUnchanged) {
  // Windows-1252 subjects pass as stored, not converted.
  const CliResult r = RunCli({"messages", Ref("iped"), "test_OutlookDBX.dbx"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  TDbxIndexList list;
  LoadDbxIndex(Ref("iped"), "test_OutlookDBX.dbx", &list);
  std::string expected;
  bool eightBit = false;
  for (const auto& m : MessageRecords(list)) {
    expected += std::to_string(m.MessageNumber) + "\t" + std::to_string(m.MessageDataPos) + "\t" +
                std::to_string(m.ObjectPos) + "\t" + m.Subject + "\n";
    for (char c : m.Subject) eightBit |= static_cast<unsigned char>(c) >= 0x80;
  }
  EXPECT_TRUE(eightBit);
  EXPECT_EQ(r.Out, expected);
}

TEST(DbxCli, RawAndDumpAtAPosition) {
  std::string text, dump;
  LoadDbxMessageText(Ref("dbxconvert"), "test.dbx", 61700, text);
  DumpDbxObject(Ref("dbxconvert"), "test.dbx", 61700, dump);
  ASSERT_GT(text.size(), 18000u);
  CliResult r = RunCli({"raw", Ref("dbxconvert"), "test.dbx", "61700"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, text);
  r = RunCli({"raw", Ref("dbxconvert"), "test.dbx", "0xF104"});  // the same, in hex
  EXPECT_EQ(r.Out, text);
  r = RunCli({"dump", Ref("dbxconvert"), "test.dbx", "61700"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, dump);
  // A position that is no block or object: nothing, and no error.
  r = RunCli({"raw", Ref("dbxconvert"), "test.dbx", "61701"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "");
}

TEST(DbxCli, UsageErrorsAndUnreadableStores) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"folders"},
           {"folders", "a", "b"},
           {"messages", Ref("dbxconvert")},
           {"raw", Ref("dbxconvert"), "test.dbx", "abc"},
           {"raw", Ref("dbxconvert"), "test.dbx", "-1"},
           {"dump", Ref("dbxconvert"), "test.dbx", "4294967296"},
           {"folders", "/nonexistent/store"},
           {"messages", Ref("dbxconvert"), "Missing.dbx"},
           {"raw", Ref("dbxconvert"), "Missing.dbx", "100"},
       }) {
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.Status, 1) << args[0] << " " << args.size();
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err, "");
  }
}

TEST(DbxCli, ExtractRunLogOnStdout) {
  test::TempDir dir;
  test::ScopedEnv xdg("XDG_DATA_HOME", dir / "appdata");
  TDbxSynthMessage m;
  m.Subject = "Hello";
  m.Text = "Subject: Hello\r\n\r\nbody\r\n";
  WriteDbxStore(dir / "store", {{1, 0, "Local Folders", "", true, {}},
                                {4, 1, "Inbox", "Inbox.dbx", false, {m, m}},
                                {5, 1, "Outbox", "Outbox.dbx", false, {}}});
  const std::string sep(86, '-');
  CliResult r =
      RunCli({"extract", "--store", dir / "store", "--dest", dir / "out", "--pause", "0"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "Starting With Options :\n    Extract All Message Attachments\n" + sep +
                       "\nReading Messages from Inbox.dbx ...\n"
                       "Reading Messages from Outbox.dbx ...\n"
                       "Finished extracting all folders.\n");
  EXPECT_NE(r.Err.find("Inbox : Processing Message 2 of 2 ...\n"), std::string::npos);
  EXPECT_NE(r.Err.find("folder\tInbox\t2\t0\t0\tFinished\n"), std::string::npos);
  EXPECT_TRUE(DirectoryExists(dir / "out"));

  // Named folders, one of them missing.
  r = RunCli({"extract", "--store", dir / "store", "--dest", dir / "out", "--pause", "0",
              "--folder", "inbox.dbx", "--folder", "Gone.dbx"});
  EXPECT_EQ(r.Status, 3) << r.Err;  // finished, but a folder could not be opened
  EXPECT_EQ(r.Out, "Starting With Options :\n    Extract All Message Attachments\n" + sep +
                       "\nErrror opening Gone.dbx\n"
                       "Reading Messages from inbox.dbx ...\n"
                       "Finished extracting all folders.\n");
  EXPECT_NE(r.Err.find("folder\tGone.dbx\t0\t0\t0\tError Opening Mailbox\n"), std::string::npos);
}

TEST(DbxCli, ExtractUsageErrors) {
  test::TempDir dir;
  test::ScopedEnv xdg("XDG_DATA_HOME", dir / "appdata");
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"extract"},
           {"extract", "--store", dir.Path()},
           {"extract", "--dest", dir / "out"},
           {"extract", "--store", dir.Path(), "--dest", dir / "out", "--bogus"},
           {"extract", "--store", dir.Path(), "--dest", dir / "out", "--pause", "x"},
           {"extract", "--store", dir / "missing", "--dest", dir / "out"},
           {"extract", "--store", dir.Path(), "--dest", dir / "out"},  // no folders.dbx
       }) {
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.Status, 1) << args.size();
    EXPECT_EQ(r.Out, "");
  }
}

}  // namespace
}  // namespace qb
