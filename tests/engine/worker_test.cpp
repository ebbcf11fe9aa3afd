// The worker base: a stop request ends a pause at once; reading ahead on a
// second thread changes nothing the run reports, writes or records.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "engine/worker.h"
#include "mime/MoxMsg.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

// One folder of one message, whose processing is a pause.
class PausingWorker : public TExtractionWorker {
 public:
  using TExtractionWorker::TExtractionWorker;
  std::atomic<bool> Pausing{false};

 protected:
  bool FolderHasSource(const TJobFolder&) const override { return true; }
  std::size_t LoadMessageList(const TJobFolder&) override { return 1; }
  void ProcessMessage(std::size_t, const TJobFolder&, std::size_t, std::size_t) override {
    Pausing = true;
    Pause();
  }
};

TEST(Worker, StopRequestEndsALongPauseAtOnce) {
  std::atomic<std::uint8_t> stop{0};
  TExtractionJob job;
  job.Folders = {{"Inbox", "Inbox", "", ""}};
  job.PauseMs = 20000;
  job.StopRequested = &stop;
  PausingWorker worker(job);
  worker.Resume();
  while (!worker.Pausing) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto start = std::chrono::steady_clock::now();
  worker.RequestStop();
  worker.WaitFor();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(stop.load(), 1);  // the wizard's flag says so too
}

// ---- Reading ahead -----------------------------------------------------------

// The threads the steps of a run ran on.
struct TThreadsSeen {
  std::mutex Mutex;
  std::set<std::thread::id> Read, Write;
  std::size_t Reads = 0;
  // Large messages read and not yet written, and the most there were.
  std::atomic<int> LargeHeld{0}, MostLargeHeld{0};
};

// Message j of a folder: a link in the body unless j is a multiple of 3, an
// attached file when j is odd; a body larger than what is read ahead when
// large.
std::string MessageText(const std::string& folder, std::size_t j, bool large = false) {
  const std::string n = std::to_string(j);
  std::string m = "From: ann@example.com\r\nSubject: " + folder + " " + n +
                  "\r\nDate: Sat, 03 Jan 2009 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
                  "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                  "--b\r\nContent-Type: text/plain\r\n\r\n";
  if (large) {
    std::string body;
    for (const std::string line(78, 'x'); body.size() <= kReadAheadBytes;) body += line + "\r\n";
    m += body;
  }
  if (j % 3 != 0) m += "see http://example.invalid/" + folder + n + ".png\r\n";
  if (j % 2 == 1)
    m += "--b\r\nContent-Type: application/octet-stream; name=\"f" + n +
         ".txt\"\r\nContent-Disposition: attachment\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "QQ==\r\n";
  return m + "--b--\r\n";
}

// Downloads that take their time: one "file" per link, none written.
class SlowLinks : public ILinkDownloads {
 public:
  explicit SlowLinks(TThreadsSeen& seen) : seen_(seen) {}
  std::size_t CountLinks(const std::string& text) override {
    std::size_t n = 0;
    for (std::size_t at = text.find("http://"); at != std::string::npos;
         at = text.find("http://", at + 1))
      ++n;
    return n;
  }
  TResult Download(const TTargetPath&, const std::vector<std::string>& bodies,
                   const TRun&) override {
    TResult r;
    for (const std::string& text : bodies) {
      {
        std::lock_guard<std::mutex> lock(seen_.Mutex);
        seen_.Write.insert(std::this_thread::get_id());
      }
      const bool large = text.size() > kReadAheadBytes;
      std::this_thread::sleep_for(std::chrono::milliseconds(large ? 10 : 3));
      if (large) --seen_.LargeHeld;  // the last step of its message
      r.Written += static_cast<int>(CountLinks(text));
    }
    return r;
  }

 private:
  TThreadsSeen& seen_;
};

// Folders "A" (5 messages) and "B" (3) of MessageText, slow to read.
class SlowSource : public TExtractionWorker {
 public:
  SlowSource(const TExtractionJob& job, TThreadsSeen& seen) : TExtractionWorker(job), seen_(seen) {
    SetUpSource(TSourceKind::Thunderbird, std::make_unique<SlowLinks>(seen),
                "Quillbox/Test/History.ini");
  }
  // Messages (folder, j) that cannot be read, and those that are large.
  std::set<std::pair<std::string, std::size_t>> Unreadable, Large;

 protected:
  bool FolderHasSource(const TJobFolder&) const override { return true; }
  std::size_t LoadMessageList(const TJobFolder& f) override { return f.Name == "A" ? 5 : 3; }
  bool CanPrepareAhead() const override { return true; }
  void PrepareMessage(const TJobFolder& f, std::size_t j, TPreparedMessage& item) override {
    {
      std::lock_guard<std::mutex> lock(seen_.Mutex);
      seen_.Read.insert(std::this_thread::get_id());
      ++seen_.Reads;
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (Unreadable.count({f.Name, j})) {
      item.ReadFailed = true;
      return;
    }
    item.KeyText = f.Name + std::to_string(j);
    const bool large = Large.count({f.Name, j}) != 0;
    if (large) {
      const int held = ++seen_.LargeHeld;
      if (held > seen_.MostLargeHeld) seen_.MostLargeHeld = held;
    }
    item.RawText = MessageText(f.Name, j, large);
  }
  // The run without reading ahead, as a source without it does it.
  void ProcessMessage(std::size_t, const TJobFolder& f, std::size_t j, std::size_t count) override {
    TPreparedMessage item;
    PrepareMessage(f, j, item);
    if (item.ReadFailed) {
      MessageError(f, j);
      return;
    }
    try {
      TMoxMsg msg;
      ExtractMessage(f, j, count, item.KeyText, [&](TMessageContent& content) {
        return DecodeRawMessage(std::move(item.RawText), msg, content);
      });
    } catch (...) {
      MessageError(f, j);
    }
  }

 private:
  TThreadsSeen& seen_;
};

TEST(Worker, ReadingAheadKeepsEveryReportFileAndRecordInItsPlace) {
  struct Case {
    const char* Name;
    std::set<std::pair<std::string, std::size_t>> Unreadable;
    std::string StopAt;   // the status line at which the user stops the run
    bool SecondRunSkips;  // a second run with the skip choice follows
    std::set<std::pair<std::string, std::size_t>> Large;
  };
  const std::vector<Case> cases = {
      {"whole run", {}, "", false, {}},
      {"unreadable message", {{"A", 2}, {"B", 0}}, "", false, {}},
      {"stop inside a folder", {}, "A : Processing Message 3 of 5 ...", false, {}},
      {"second run skips", {}, "", true, {}},
      {"large messages", {}, "", false, {{"A", 1}, {"A", 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    struct TOutcome {
      std::vector<std::string> Log, Trace;
      std::string Tree;
      std::size_t Reads = 0;
    } outcome[2];
    for (const bool ahead : {false, true}) {
      test::TempDir root;
      test::ScopedEnv data("XDG_DATA_HOME", root / "appdata");
      test::RecordingView view;
      std::atomic<std::uint8_t> stop{0};
      view.OnStatus = [&](const std::string& s) {
        if (s == c.StopAt) stop = 1;
      };
      TExtractionJob job;
      job.DestinationDir = root / "out";
      job.Folders = {{"A", "A", "", ""}, {"B", "B", "", ""}};
      job.PauseMs = 0;
      job.DownloadLinks = true;
      job.View = &view;
      job.StopRequested = &stop;
      TThreadsSeen seen;
      for (int run = 0; run < (c.SecondRunSkips ? 2 : 1); ++run) {
        job.SkipDuplicates = run == 1;
        SlowSource worker(job, seen);
        worker.Unreadable = c.Unreadable;
        worker.Large = c.Large;
        worker.SetPrepareAhead(ahead);
        worker.Resume();
        worker.WaitFor();
        ASSERT_FALSE(worker.FatalException);
      }
      outcome[ahead] = {view.Log, view.Trace, test::TreeContents(root.Path()), seen.Reads};
      ASSERT_EQ(seen.Write.size(), 1u);
      // Never two large messages in memory at once.
      EXPECT_LE(seen.MostLargeHeld, 1);
      if (ahead) {
        // Read on a thread of its own, never on the worker thread.
        for (const std::thread::id& t : seen.Read) EXPECT_EQ(seen.Write.count(t), 0u);
      } else {
        EXPECT_EQ(seen.Read, seen.Write);
      }
    }
    EXPECT_EQ(outcome[1].Trace, outcome[0].Trace);
    EXPECT_EQ(outcome[1].Tree, outcome[0].Tree);
    const std::vector<std::string>& log = outcome[1].Log;
    ASSERT_GE(log.size(), 6u);
    if (!c.Unreadable.empty()) {
      EXPECT_EQ(log[4], "Error opening Messages (2) in A");
      EXPECT_EQ(log[7], "Error opening Messages (0) in B");
    }
    if (!c.StopAt.empty()) {
      EXPECT_EQ(log.back(), "Stopped by User.");
      // Message 3 (j = 2) was the last one taken; reading ahead never went
      // on into the next folder.
      EXPECT_EQ(outcome[0].Reads, 3u);
      EXPECT_LE(outcome[1].Reads, 5u);
    }
    if (c.SecondRunSkips) {
      // Everything was passed over the second time: no file line at all.
      EXPECT_EQ(std::count(log.begin(), log.end(), "Attachments from 4 Messages are extracted"), 1);
    }
  }
}

}  // namespace
}  // namespace qb
