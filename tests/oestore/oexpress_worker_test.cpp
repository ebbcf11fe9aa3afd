// TOEExtracter over synthetic stores: the log lines, status rows, progress
// and the stop request of a run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <tuple>

#include "oestore/dbxwriter.h"
#include "oestore/oOExpressThrd.h"
#include "tests/oestore/dbxtest_util.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using test::SynthMessages;

const std::string kSep(86, '-');

// Records every row update with its counts, not only the last one.
class RowView : public test::RecordingView {
 public:
  using RowUpdate = std::tuple<int, int, int, int, int>;  // row, status, extracted, msgs, total
  void UpdateFolderRow(const std::string& name, int row, int status, int extracted, int messages,
                       int total) override {
    test::RecordingView::UpdateFolderRow(name, row, status, extracted, messages, total);
    Updates.emplace_back(row, status, extracted, messages, total);
  }
  std::vector<RowUpdate> UpdatesOf(int row) const {
    std::vector<RowUpdate> out;
    for (const auto& u : Updates)
      if (std::get<0>(u) == row) out.push_back(u);
    return out;
  }
  std::vector<RowUpdate> Updates;
};

// The run as the full worker will do it, as far as the counters go: a
// message whose text carries "X-Has-Files: n" has n files.
class MarkingExtracter : public TOEExtracter {
 public:
  using TOEExtracter::TOEExtracter;
  std::vector<std::string> Keys, Texts;
  std::function<void(std::size_t j)> AfterMessage;
  // Files whose index read fails after its records were read.
  std::string BrokenFile;

 protected:
  void ReadFolderIndex(const TJobFolder& folder, TDbxIndexList& list) override {
    TOEExtracter::ReadFolderIndex(folder, list);
    if (folder.FileName == BrokenFile) throw EReadError("read error in " + folder.FileName);
  }
  // The step replaced below is the one of the run without reading ahead.
  bool CanPrepareAhead() const override { return false; }
  void ProcessMessageText(std::size_t, const TJobFolder&, std::size_t j, std::size_t,
                          const std::string& key, std::string& raw) override {
    Keys.push_back(key);
    Texts.push_back(raw);
    const auto at = raw.find("X-Has-Files: ");
    if (at != std::string::npos) {
      ++MessagesWithFiles;
      FilesExtracted += std::stoi(raw.substr(at + 13));
    }
    if (AfterMessage) AfterMessage(j);
  }
};

TDbxSynthMessage WithFiles(int i, int files) {
  TDbxSynthMessage m = test::SynthMessage(i);
  m.Text = "X-Has-Files: " + std::to_string(files) + "\r\n" + m.Text;
  return m;
}

class OEWorkerTest : public ::testing::Test {
 protected:
  TExtractionJob Job(const std::vector<TJobFolder>& folders) {
    TExtractionJob job;
    job.StoreFolder = store.Path();
    job.DestinationDir = dest.Path();
    job.Folders = folders;
    job.PauseMs = 0;
    job.View = &view;
    job.StopRequested = &stop;
    return job;
  }
  void Run(TOEExtracter& worker) {
    worker.Resume();
    worker.WaitFor();
    ASSERT_FALSE(worker.FatalException);
  }
  void WriteFolder(const std::string& file, const std::vector<TDbxSynthMessage>& msgs) {
    test::WriteFile(store / file, BuildDbxMessageFile(msgs));
  }

  test::TempDir store, dest, appData;
  // The worker's history goes below the application-data folder.
  test::ScopedEnv xdg{"XDG_DATA_HOME", appData.Path()};
  RowView view;
  std::atomic<std::uint8_t> stop{0};
};

TEST_F(OEWorkerTest, EmptyFolderList) {
  TOEExtracter worker(Job({}));
  Run(worker);
  EXPECT_EQ(view.Log, (std::vector<std::string>{
                          "Starting With Options :", "    Extract All Message Attachments", kSep,
                          "Finished extracting all folders."}));
  EXPECT_EQ(view.Statuses, (std::vector<std::string>{"Calculating the Message Count...",
                                                     "Finished extracting all folders."}));
  EXPECT_EQ(view.ProgressMax, 1);
  EXPECT_EQ(view.ProgressPosition, 1);
  EXPECT_TRUE(view.Updates.empty());
}

TEST_F(OEWorkerTest, ZeroMessageFolderAndNoFileFolder) {
  WriteFolder("Empty.dbx", {});
  auto job = Job({{"Empty", "Empty.dbx", "", ""}, {"Account", "", "", ""}});
  job.SkipDuplicates = true;
  TOEExtracter worker(job);
  Run(worker);
  EXPECT_EQ(view.Log, (std::vector<std::string>{
                          "Starting With Options :", "    Ignore Previously Extracted Attachments",
                          kSep, "Reading Messages from Empty.dbx ...", "Reading Messages from  ...",
                          "Finished extracting all folders."}));
  using U = RowView::RowUpdate;
  EXPECT_EQ(view.UpdatesOf(0), (std::vector<U>{{0, 0, 0, 0, 0}, {0, 2, 0, 0, 0}, {0, 3, 0, 0, 0}}));
  EXPECT_EQ(view.UpdatesOf(1), (std::vector<U>{{1, 9, 0, 0, 0}, {1, 2, 0, 0, 0}, {1, 3, 0, 0, 0}}));
  EXPECT_TRUE(view.Rows[0].Shown);
  EXPECT_EQ(view.Rows[0].Name, "Empty");
}

TEST_F(OEWorkerTest, EveryMessageIsReadAndReported) {
  const auto msgs = SynthMessages(3, 1200);
  WriteFolder("INBOX.DBX", msgs);  // the folder record says Inbox.dbx
  MarkingExtracter worker(Job({{"Inbox", "Inbox.dbx", "", ""}}));
  Run(worker);
  ASSERT_EQ(worker.Texts.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(worker.Texts[i], msgs[i].Text);
    EXPECT_EQ(worker.Keys[i].rfind("Flags = 0\n\n\nSize of Header = 512\n", 0), 0u);
  }
  EXPECT_EQ(view.Statuses,
            (std::vector<std::string>{
                "Calculating the Message Count...", "Calculating the total number of messages...",
                "Inbox : Processing Message 1 of 3 ...", "Inbox : Processing Message 2 of 3 ...",
                "Inbox : Processing Message 3 of 3 ...", "Finished extracting all folders."}));
  EXPECT_EQ(view.Log.back(), "Finished extracting all folders.");
  EXPECT_EQ(view.Log[3], "Reading Messages from Inbox.dbx ...");
  EXPECT_EQ(view.Log.size(), 5u);  // no "Attachments from" line: nothing had files
  using U = RowView::RowUpdate;
  EXPECT_EQ(view.UpdatesOf(0).front(), (U{0, 0, 0, 0, 3}));
  EXPECT_EQ(view.UpdatesOf(0).back(), (U{0, 3, 0, 0, 3}));
  EXPECT_EQ(view.ProgressMax, 3);
  EXPECT_EQ(view.ProgressPosition, 3);
}

TEST_F(OEWorkerTest, AttachmentsFromLinesSingularAndPlural) {
  WriteFolder("One.dbx", {test::SynthMessage(0), WithFiles(1, 2), test::SynthMessage(2)});
  WriteFolder("Two.dbx", {WithFiles(0, 1), WithFiles(1, 3)});
  MarkingExtracter worker(Job({{"One", "One.dbx", "", ""}, {"Two", "Two.dbx", "", ""}}));
  Run(worker);
  EXPECT_EQ(view.Log,
            (std::vector<std::string>{
                "Starting With Options :", "    Extract All Message Attachments", kSep,
                "Reading Messages from One.dbx ...", "Attachments from 1 Message is extracted",
                "Reading Messages from Two.dbx ...", "Attachments from 2 Messages are extracted",
                "Finished extracting all folders."}));
  using U = RowView::RowUpdate;
  EXPECT_EQ(view.UpdatesOf(0).back(), (U{0, 3, 2, 1, 3}));
  EXPECT_EQ(view.UpdatesOf(1).back(), (U{1, 3, 4, 2, 2}));
  // The row shows the counts so far before each message.
  EXPECT_EQ(view.UpdatesOf(1)[3], (U{1, 2, 1, 1, 2}));
}

TEST_F(OEWorkerTest, StopRequestInsideAFolder) {
  std::vector<TDbxSynthMessage> msgs;
  for (int i = 0; i < 5; ++i) msgs.push_back(WithFiles(i, 1));
  WriteFolder("A.dbx", msgs);
  WriteFolder("B.dbx", msgs);
  MarkingExtracter worker(Job({{"A", "A.dbx", "", ""}, {"B", "B.dbx", "", ""}}));
  view.OnStatus = [&](const std::string& s) {
    if (s == "A : Processing Message 2 of 5 ...") stop = 1;
  };
  Run(worker);
  EXPECT_EQ(worker.Texts.size(), 2u);  // the message being started still runs
  using U = RowView::RowUpdate;
  // The folder the stop came in says so; the next keeps its counted row.
  EXPECT_EQ(view.UpdatesOf(0).back(), (U{0, fsStopped, 2, 2, 5}));
  EXPECT_EQ(view.UpdatesOf(1), (std::vector<U>{{1, 0, 0, 0, 5}}));  // as counted
  EXPECT_EQ(view.Log, (std::vector<std::string>{
                          "Starting With Options :", "    Extract All Message Attachments", kSep,
                          "Reading Messages from A.dbx ...",
                          "Attachments from 2 Messages are extracted", "Stopped by User."}));
  EXPECT_EQ(view.Statuses.back(), "Stopped by User.");
  EXPECT_EQ(view.ProgressPosition, view.ProgressMax);
  EXPECT_EQ(view.ProgressMax, 5);
}

TEST_F(OEWorkerTest, FolderFailingInTheCountingPass) {
  WriteFolder("Broken.dbx", SynthMessages(3));
  WriteFolder("Good.dbx", SynthMessages(1));
  MarkingExtracter worker(Job({{"Gone", "Gone.dbx", "", ""},
                               {"Broken", "Broken.dbx", "", ""},
                               {"Good", "Good.dbx", "", ""}}));
  worker.BrokenFile = "Broken.dbx";
  Run(worker);
  using U = RowView::RowUpdate;
  // Not there at all: 0 records; read with an error: the records read
  // before it. Both show zeros in the main pass and are not read again.
  EXPECT_EQ(view.UpdatesOf(0), (std::vector<U>{{0, 5, 0, 0, 0}, {0, 5, 0, 0, 0}}));
  EXPECT_EQ(view.UpdatesOf(1), (std::vector<U>{{1, 5, 0, 0, 3}, {1, 5, 0, 0, 0}}));
  EXPECT_EQ(view.UpdatesOf(2).back(), (U{2, 3, 0, 0, 1}));
  EXPECT_FALSE(view.Rows[0].Shown);
  EXPECT_EQ(view.Log,
            (std::vector<std::string>{
                "Starting With Options :", "    Extract All Message Attachments", kSep,
                "Errror opening Gone.dbx", "Errror opening Broken.dbx",
                "Reading Messages from Good.dbx ...", "Finished extracting all folders."}));
  EXPECT_EQ(worker.Texts.size(), 1u);
}

TEST_F(OEWorkerTest, MessageTextThatCannotBeRead) {
  WriteFolder("Inbox.dbx", SynthMessages(3));
  MarkingExtracter worker(Job({{"Inbox", "Inbox.dbx", "", ""}}));
  // The mail client removes the file while the run is in the folder.
  worker.AfterMessage = [&](std::size_t j) {
    if (j == 0) ::unlink((store / "Inbox.dbx").c_str());
  };
  Run(worker);
  EXPECT_EQ(worker.Texts.size(), 1u);
  EXPECT_EQ(view.Log,
            (std::vector<std::string>{
                "Starting With Options :", "    Extract All Message Attachments", kSep,
                "Reading Messages from Inbox.dbx ...", "Error opening Messages (1) in Inbox.dbx",
                "Error opening Messages (2) in Inbox.dbx", "Finished extracting all folders."}));
  EXPECT_EQ(view.Rows[0].Status, fsFinished);
}

TEST_F(OEWorkerTest, MessageWithoutDataPositionGivesEmptyTexts) {
  auto msgs = SynthMessages(2);
  msgs[0].Text.clear();  // no data blocks: position 0
  WriteFolder("Inbox.dbx", msgs);
  MarkingExtracter worker(Job({{"Inbox", "Inbox.dbx", "", ""}}));
  Run(worker);
  ASSERT_EQ(worker.Texts.size(), 2u);
  EXPECT_EQ(worker.Texts[0], "");
  EXPECT_EQ(worker.Keys[0], "");
  EXPECT_EQ(worker.Texts[1], msgs[1].Text);
}

}  // namespace
}  // namespace qb
