#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/datetext.h"
#include "engine/history.h"
#include "engine/naming.h"
#include "engine/oCalcMD5.h"
#include "engine/worker.h"
#include "platform/paths.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

ino_t Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class History : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDateTimeFormats(TDateTimeFormats{});
    SetTwoDigitLongTime(false);
  }
  void TearDown() override { SetDateTimeFormats(TDateTimeFormats{}); }

  std::string OePath() const { return TExtractionHistory::HistoryPath(kOEHistoryPath); }
  // The "LastStarted" line as the file holds it.
  static std::string LastStartedLine(const std::string& text) {
    const std::size_t at = text.find("LastStarted=");
    return at == std::string::npos ? "" : text.substr(at, text.find("\r\n", at) - at);
  }

  test::TempDir appData_;
  test::ScopedEnv env_{"XDG_DATA_HOME", appData_.Path()};
};

const TDateTime kD1 = EncodeDate(2003, 9, 21) + EncodeTime(10, 30, 0);
const TDateTime kD2 = EncodeDate(2004, 1, 2);
const TDateTime kD3 = EncodeDate(2004, 2, 29) + EncodeTime(23, 59, 59);

TEST_F(History, FirstRunCreatesTheFolderAndTheFirstRecordWritesTheFile) {
  TExtractionHistory h;
  ASSERT_TRUE(h.Open(OePath()));
  EXPECT_TRUE(DirectoryExists(appData_ / "Quillbox/OE"));
  EXPECT_FALSE(FileExists(OePath())) << "LastStarted waits for the first record";
  const std::string digest = h.RecordMessage("key", kD1, 2);
  EXPECT_EQ(digest, MD5Text("key"));
  const std::string text = test::ReadFile(OePath());
  EXPECT_EQ(text, "[Program]\r\n" + LastStartedLine(text) + "\r\n\r\n[" + digest +
                      "]\r\nSaved=0\r\nDate=09/21/2003 10:30:00\r\nAttachments=2\r\n\r\n");
  // LastStarted holds a date-time text of now that reads back.
  TBigIniFile check(OePath());
  EXPECT_NEAR(check.ReadDateTime("Program", "LastStarted", 0), Now(), 1.0 / 24);
}

TEST_F(History, ThreeMessagesOneRepeatedOneRecountedGiveExactlyTheseBytes) {
  const std::string a = MD5Text("alice"), b = MD5Text("bob"), c = MD5Text("carol");
  {
    TExtractionHistory h;
    ASSERT_TRUE(h.Open(OePath()));
    h.RecordMessage("alice", kD1, 2);
    h.RecordMessage("bob", kD2, 0);
    const std::string afterTwo = test::ReadFile(OePath());
    const ino_t inode = Inode(OePath());
    h.RecordMessage("alice", kD1, 2);  // the same values again: no write
    EXPECT_EQ(test::ReadFile(OePath()), afterTwo);
    EXPECT_EQ(Inode(OePath()), inode);
    h.RecordMessage("carol", kD3, 1);
    h.RecordMessage("bob", kD2, 5);  // a new count replaces the line in place
    h.Close();
    EXPECT_FALSE(h.IsOpen());
  }
  const std::string text = test::ReadFile(OePath());
  const std::string expected = "[Program]\r\n" + LastStartedLine(text) +
                               "\r\n\r\n"
                               "[" +
                               a +
                               "]\r\nSaved=0\r\nDate=09/21/2003 10:30:00\r\nAttachments=2\r\n\r\n"
                               "[" +
                               b +
                               "]\r\nSaved=0\r\nDate=01/02/2004\r\nAttachments=5\r\n\r\n"
                               "[" +
                               c +
                               "]\r\nSaved=0\r\nDate=02/29/2004 23:59:59\r\nAttachments=1\r\n\r\n";
  EXPECT_EQ(text, expected);
}

TEST_F(History, ARunWithoutMessagesStillUpdatesLastStartedAtClosing) {
  test::WriteFile(OePath(), "[Program]\r\nLastStarted=01/01/2000\r\n\r\n");
  {
    TExtractionHistory h;
    ASSERT_TRUE(h.Open(OePath()));
  }
  const std::string text = test::ReadFile(OePath());
  EXPECT_NE(LastStartedLine(text), "LastStarted=01/01/2000");
  EXPECT_EQ(text, "[Program]\r\n" + LastStartedLine(text) + "\r\n\r\n");
}

TEST_F(History, LaterRunsAppendNewMessagesToTheFile) {
  {
    TExtractionHistory h;
    ASSERT_TRUE(h.Open(OePath()));
    for (int i = 0; i < 20; ++i) h.RecordMessage("m" + std::to_string(i), kD1, i);
  }
  TExtractionHistory h;
  ASSERT_TRUE(h.Open(OePath()));
  h.RecordMessage("new0", kD2, 1);  // LastStarted changed: one whole rewrite
  const ino_t inode = Inode(OePath());
  for (int i = 1; i < 10; ++i) h.RecordMessage("new" + std::to_string(i), kD2, 1);
  EXPECT_EQ(Inode(OePath()), inode);
  EXPECT_EQ(test::ReadFile(OePath()), h.Store()->FileText());
  EXPECT_EQ(h.Store()->Sections().Count(), 31);
}

TEST_F(History, EmptyKeyTextStillGetsARecord) {
  TExtractionHistory h;
  ASSERT_TRUE(h.Open(OePath()));
  EXPECT_EQ(h.RecordMessage("", kD1, 0), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(h.Store()->ReadString("D41D8CD98F00B204E9800998ECF8427E", "Attachments", ""), "0");
}

TEST_F(History, OpeningFailuresLeaveItClosedAndRecordingDoesNothing) {
  test::WriteFile(appData_ / "Quillbox", "a file where the folder should be");
  TExtractionHistory h;
  EXPECT_FALSE(h.Open(OePath()));
  EXPECT_FALSE(h.IsOpen());
  EXPECT_EQ(h.RecordMessage("k", kD1, 1), MD5Text("k")) << "the digest is computed anyway";

  // A history file that cannot be read.
  ForceDirectories(appData_ / "Other/OEMailData.ini");
  EXPECT_FALSE(h.Open(appData_ / "Other/OEMailData.ini"));
  // A path longer than the store keeps.
  EXPECT_FALSE(h.Open(appData_.Path() + "/" + std::string(300, 'p') + "/x.ini"));
}

TEST_F(History, AFlushThatFailsRaisesToTheCaller) {
  TExtractionHistory h;
  ASSERT_TRUE(h.Open(OePath()));
  h.RecordMessage("first", kD1, 1);
  const std::string before = test::ReadFile(OePath());
  {
    test::FileSizeLimit limit(before.size() + 10);
    EXPECT_THROW(h.RecordMessage("second", kD2, 1), EInOutError);
  }
  EXPECT_EQ(test::ReadFile(OePath()), before);
}

// A worker that only opens and records, as the source workers do.
class HistoryWorker : public TExtractionWorker {
 public:
  explicit HistoryWorker(const TExtractionJob& job) : TExtractionWorker(job) {
    OpenHistory(kOutlookHistoryPath);
  }
  bool Open() const { return HistoryOpen; }
  void Record(const std::string& key) { RecordHistory(key, kD2, 1); }

 protected:
  std::size_t LoadMessageList(const TJobFolder&) override { return 0; }
  void ProcessMessage(std::size_t, const TJobFolder&, std::size_t, std::size_t) override {}
};

TEST_F(History, WorkerOpensItsHistoryAndClosesItOnDestruction) {
  const std::string path = TExtractionHistory::HistoryPath(kOutlookHistoryPath);
  {
    HistoryWorker w{TExtractionJob{}};
    EXPECT_TRUE(w.Open());
    w.Record("x");
    w.Record("y");
  }
  TBigIniFile check(path);
  EXPECT_TRUE(check.SectionExists(MD5Text("x")));
  EXPECT_TRUE(check.SectionExists(MD5Text("y")));
  EXPECT_TRUE(check.ValueExists("Program", "LastStarted"));
}

TEST_F(History, WorkerWithoutAHistoryFolderRunsWithoutHistory) {
  test::WriteFile(appData_ / "Quillbox", "not a folder");
  HistoryWorker w{TExtractionJob{}};
  EXPECT_FALSE(w.Open());
  w.Record("x");  // does nothing, raises nothing
}

}  // namespace
}  // namespace qb

namespace qb {
namespace {

TEST_F(History, OnlyMessagesWhoseFilesWereAllSavedAreSkippedLater) {
  {
    TExtractionHistory h;
    ASSERT_TRUE(h.Open(OePath()));
    h.RecordOutcome("saved", kD1, 2, true);
    h.RecordOutcome("failed", kD1, 2, false);
    h.RecordMessage("old style", kD1, 1);  // records made before the files were written
    EXPECT_FALSE(h.SavedBefore("saved")) << "this run's records do not count";
  }
  const std::string text = test::ReadFile(OePath());
  EXPECT_NE(text.find("[" + MD5Text("saved") +
                      "]\r\nSaved=1\r\nDate=09/21/2003 10:30:00\r\n"
                      "Attachments=2\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("[" + MD5Text("failed") + "]\r\nSaved=0\r\n"), std::string::npos);
  struct Case {
    const char* Key;
    bool Skipped;
  } cases[] = {{"saved", true}, {"failed", false}, {"old style", false}, {"never seen", false}};
  {
    TExtractionHistory h;
    ASSERT_TRUE(h.Open(OePath()));
    for (const Case& c : cases) EXPECT_EQ(h.SavedBefore(c.Key), c.Skipped) << c.Key;
    // The rerun recovers the failed message's files; the run after skips it.
    h.RecordOutcome("failed", kD1, 2, true);
  }
  TExtractionHistory h;
  ASSERT_TRUE(h.Open(OePath()));
  EXPECT_TRUE(h.SavedBefore("failed"));
}

TEST_F(History, TwoRunsOnOneFileKeepEveryRecord) {
  constexpr int kEach = 50;
  {
    // Both runs open the file before either writes, then take turns.
    TExtractionHistory a, b;
    ASSERT_TRUE(a.Open(OePath()));
    ASSERT_TRUE(b.Open(OePath()));
    for (int i = 0; i < kEach; ++i) {
      a.RecordOutcome("a" + std::to_string(i), kD1, i, true);
      b.RecordOutcome("b" + std::to_string(i), kD1, i, i % 2 == 0);
    }
  }
  TBigIniFile check(OePath());
  TStringList sections;
  check.ReadSections(sections);
  EXPECT_EQ(sections.size(), 2u * kEach + 1);
  for (int i = 0; i < kEach; ++i) {
    EXPECT_EQ(check.ReadString(MD5Text("a" + std::to_string(i)), "Saved", ""), "1") << i;
    EXPECT_EQ(check.ReadString(MD5Text("b" + std::to_string(i)), "Saved", ""), i % 2 ? "0" : "1")
        << i;
  }
}

TEST_F(History, BatchedRecordsReachTheDiskWhenTheBatchIsFullAtCommitAndAtClosing) {
  {
    TExtractionHistory h;
    ASSERT_TRUE(h.Open(OePath()));
    h.SetBatch(3, 60 * 1000);
    h.RecordOutcome("a", kD1, 1, true);
    h.RecordOutcome("b", kD1, 1, true);
    EXPECT_FALSE(FileExists(OePath())) << "two of three: nothing written yet";
    h.RecordOutcome("c", kD1, 1, true);
    EXPECT_EQ(test::ReadFile(OePath()), h.Store()->FileText()) << "the third fills the batch";
    h.RecordMessage("d", kD1, 1);
    h.Commit();  // before a stop, at the end of a run
    EXPECT_EQ(test::ReadFile(OePath()), h.Store()->FileText());
    h.RecordOutcome("e", kD1, 1, true);
    h.SetBatch(100, 0);  // a batch this old is due at the next record
    h.RecordOutcome("f", kD1, 1, true);
    EXPECT_EQ(test::ReadFile(OePath()), h.Store()->FileText());
    h.RecordOutcome("g", kD1, 1, true);
  }
  TBigIniFile check(OePath());
  EXPECT_EQ(check.Sections().Count(), 8) << "closing wrote the last batch";
}

TEST_F(History, ARecordCutByAKilledRunIsDroppedAndTheFileStaysWhole) {
  {
    TExtractionHistory h;
    ASSERT_TRUE(h.Open(OePath()));
    h.RecordOutcome("kept", kD1, 1, true);
  }
  const std::string whole = test::ReadFile(OePath());
  const std::string torn = "[" + MD5Text("torn") + "]\r\nSaved=1\r\nDate=09/2";
  // Cut anywhere in the record, its name included; text that is no record
  // of ours is left as it is.
  for (std::size_t cut : {std::size_t{1}, std::size_t{20}, std::size_t{34}, torn.size()}) {
    test::WriteFile(OePath(), whole + torn.substr(0, cut));
    TExtractionHistory h;
    ASSERT_TRUE(h.Open(OePath()));
    EXPECT_EQ(test::ReadFile(OePath()), whole) << cut;
    EXPECT_TRUE(h.SavedBefore("kept"));
    EXPECT_FALSE(h.SavedBefore("torn"));
    h.RecordOutcome("next", kD1, 1, true);
    EXPECT_EQ(test::ReadFile(OePath()), h.Store()->FileText());
  }
  test::WriteFile(OePath(), whole + "; a note");
  TExtractionHistory h;
  ASSERT_TRUE(h.Open(OePath()));
  EXPECT_EQ(test::ReadFile(OePath()), whole + "; a note");
}

TEST_F(History, ALockThatStaysTakenSwitchesTheHistoryOffWithANotice) {
  TExtractionHistory running;
  ASSERT_TRUE(running.Open(OePath()));
  running.RecordOutcome("before", kD1, 1, true);

  // Another program holds the lock and does not let go.
  const int fd = ::open((OePath() + ".lock").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  running.SetLockWait(50);
  running.RecordOutcome("during", kD1, 1, true);  // raises nothing
  EXPECT_FALSE(running.IsOpen());
  running.RecordOutcome("after", kD1, 1, true);  // does nothing

  TExtractionHistory late;
  late.SetLockWait(50);
  EXPECT_FALSE(late.Open(OePath()));
  ::close(fd);

  EXPECT_EQ(running.Notice(),
            "the history " + OePath() + " stayed locked by another run; this run keeps no history");
  EXPECT_EQ(late.Notice(),
            "the history " + OePath() + " is locked by another run; this run keeps no history");
  TBigIniFile check(OePath());
  EXPECT_TRUE(check.SectionExists(MD5Text("before")));
  EXPECT_FALSE(check.SectionExists(MD5Text("during")));
}

}  // namespace
}  // namespace qb

namespace qb {
namespace {

// How a worker puts the pieces together: the files first, then the record
// saying whether they were all saved; the skip test of the next run.
TEST_F(History, AFailedRunThenARerunWithSkipRecoversEveryFile) {
  test::TempDir dest;
  TNamingOptions o;
  o.DestinationDir = dest.Path();
  o.Layout = 6;
  o.FullFileName = true;
  const TTargetPath t = BuildTargetPath("", "", kD1, o);
  bool diskFull = true;
  const auto file = [&](const std::string& name) {
    return TAttachmentToWrite{name, [&diskFull, name](const std::string& path) {
                                return !diskFull && SaveBytesToFile(path, name);
                              }};
  };
  const std::vector<std::pair<std::string, std::vector<TAttachmentToWrite>>> messages = {
      {"m1", {file("a.txt"), file("b.txt")}}, {"m2", {file("c.txt")}}};
  const auto run = [&] {
    TExtractionHistory h;
    EXPECT_TRUE(h.Open(OePath()));
    for (const auto& [key, files] : messages) {
      if (h.SavedBefore(key)) continue;
      int failed = 0;
      TWriteReport report;
      report.Failed = [&] { ++failed; };
      WriteAttachments(t, {}, files, report);
      h.RecordOutcome(key, kD1, static_cast<int>(files.size()), failed == 0);
    }
  };
  run();
  EXPECT_EQ(test::ListTree(dest.Path()), std::vector<std::string>{});
  diskFull = false;
  run();
  EXPECT_EQ(test::ListTree(dest.Path()),
            (std::vector<std::string>{"outlookExpress/2003.09.21 - a.txt",
                                      "outlookExpress/2003.09.21 - b.txt",
                                      "outlookExpress/2003.09.21 - c.txt"}));
  TExtractionHistory h;
  ASSERT_TRUE(h.Open(OePath()));
  EXPECT_TRUE(h.SavedBefore("m1"));
  EXPECT_TRUE(h.SavedBefore("m2"));
}

}  // namespace
}  // namespace qb
