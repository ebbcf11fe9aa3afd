// The worker base: a stop request ends a pause at once; reading ahead on a
// second thread changes nothing the run reports, writes or records.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <utility>

#include "engine/readahead.h"
#include "engine/worker.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

// One folder of one message; its reading starts with a pause.
class PausingSource : public IMessageSource {
 public:
  explicit PausingSource(std::atomic<bool>& pausing) : pausing_(pausing) {}
  TSourceKind Kind() const override { return TSourceKind::Thunderbird; }
  std::string HistoryPath() const override { return "Quillbox/Test/History.ini"; }
  bool FolderHasSource(const TJobFolder&) const override { return true; }
  std::unique_ptr<IFolderCursor> OpenFolder(const TJobFolder&) override {
    pausing_ = true;  // the pause before the message is near
    return std::make_unique<Cursor>();
  }

 private:
  struct Cursor : IFolderCursor {
    std::size_t Count() const override { return 1; }
    void Read(std::size_t, TSourceMessage&, const std::function<void()>&) override {}
  };
  std::atomic<bool>& pausing_;
};

TEST(Worker, StopRequestEndsALongPauseAtOnce) {
  std::atomic<std::uint8_t> stop{0};
  TExtractionJob job;
  job.Folders = {{"Inbox", "Inbox", "", ""}};
  job.PauseMs = 20000;
  job.StopRequested = &stop;
  test::TempDir root;
  test::ScopedEnv data("XDG_DATA_HOME", root / "appdata");
  std::atomic<bool> pausing{false};
  TExtractionWorker worker(job, std::make_unique<PausingSource>(pausing));
  worker.Resume();
  while (!pausing) std::this_thread::sleep_for(std::chrono::milliseconds(5));
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
class SlowSource : public IMessageSource {
 public:
  explicit SlowSource(TThreadsSeen& seen) : seen_(seen) {}
  // Messages (folder, j) that cannot be read, and those that are large.
  std::set<std::pair<std::string, std::size_t>> Unreadable, Large;

  TSourceKind Kind() const override { return TSourceKind::Thunderbird; }
  std::string HistoryPath() const override { return "Quillbox/Test/History.ini"; }
  bool FolderHasSource(const TJobFolder&) const override { return true; }
  bool CanReadAhead() const override { return true; }
  std::unique_ptr<IFolderCursor> OpenFolder(const TJobFolder& f) override {
    return std::make_unique<Cursor>(*this, f.Name);
  }

 private:
  struct Cursor : IFolderCursor {
    Cursor(SlowSource& s, std::string folder) : Source(s), Folder(std::move(folder)) {}
    std::size_t Count() const override { return Folder == "A" ? 5 : 3; }
    void Read(std::size_t j, TSourceMessage& m, const std::function<void()>&) override {
      TThreadsSeen& seen = Source.seen_;
      {
        std::lock_guard<std::mutex> lock(seen.Mutex);
        seen.Read.insert(std::this_thread::get_id());
        ++seen.Reads;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (Source.Unreadable.count({Folder, j})) throw std::runtime_error("unreadable");
      m.KeyText = Folder + std::to_string(j);
      const bool large = Source.Large.count({Folder, j}) != 0;
      if (large) {
        const int held = ++seen.LargeHeld;
        if (held > seen.MostLargeHeld) seen.MostLargeHeld = held;
      }
      m.RawText = MessageText(Folder, j, large);
    }
    SlowSource& Source;
    const std::string Folder;
  };
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
        auto source = std::make_unique<SlowSource>(seen);
        source->Unreadable = c.Unreadable;
        source->Large = c.Large;
        TRunServices services;
        services.Links = std::make_unique<SlowLinks>(seen);
        TExtractionWorker worker(job, std::move(source), std::move(services));
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

// ---- The loop, the same for every source ----------------------------------

// A message of FakeSource: its subject and attached file (none when empty),
// or how it fails.
struct TFakeMessage {
  std::string Subject, File;
  enum TFailure { None, Unreadable, BadDescription, NoMemory, Foreign } Failure = None;
};

// Folders of fake messages dated 3 Jan 2009; a folder may fail to open in
// the counting pass or only in the main pass.
class FakeSource : public IMessageSource {
 public:
  std::map<std::string, std::vector<TFakeMessage>> Folders;
  std::set<std::string> FailAtCount, FailAtMain;

  TSourceKind Kind() const override { return TSourceKind::Thunderbird; }
  std::string HistoryPath() const override { return "Quillbox/Test/Loop.ini"; }
  bool CanReadAhead() const override { return true; }
  std::unique_ptr<IFolderCursor> OpenFolder(const TJobFolder& f) override {
    const bool main = !opened_.insert(f.FileName).second;
    if ((main ? FailAtMain : FailAtCount).count(f.FileName)) throw TFolderReadError("gone", 2);
    return std::make_unique<Cursor>(Folders[f.FileName]);
  }

 private:
  struct Cursor : IFolderCursor {
    explicit Cursor(const std::vector<TFakeMessage>& m) : Messages(m) {}
    std::size_t Count() const override { return Messages.size(); }
    void Read(std::size_t j, TSourceMessage& m, const std::function<void()>&) override {
      const TFakeMessage& f = Messages[j];
      if (f.Failure == TFakeMessage::Unreadable) throw std::runtime_error("unreadable");
      if (f.Failure == TFakeMessage::NoMemory) throw std::bad_alloc();
      if (f.Failure == TFakeMessage::Foreign) throw 42;
      m.KeyText = f.Subject;
      if (f.Failure == TFakeMessage::BadDescription) {
        m.Describe = [](TMessageContent&) -> bool { throw std::runtime_error("bad"); };
        return;
      }
      m.RawText = "Subject: " + f.Subject + "\r\nDate: Sat, 03 Jan 2009 10:00:00 +0000\r\n";
      if (f.File.empty()) {
        m.RawText += "\r\nText\r\n";
        return;
      }
      m.RawText +=
          "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
          "--b\r\nContent-Type: text/plain\r\n\r\nText\r\n--b\r\nContent-Type: "
          "application/octet-stream; name=\"" +
          f.File + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\nQQ==\r\n--b--\r\n";
    }
    const std::vector<TFakeMessage>& Messages;
  };
  std::set<std::string> opened_;
};

TEST(Worker, LoopOverAnySource) {
  using M = TFakeMessage;
  const std::string sep(86, '-');
  const std::vector<M> abc = {{"a", "a.txt"}, {"b", ""}, {"c", "c.bin"}};
  struct Case {
    const char* Name;
    std::map<std::string, std::vector<M>> Folders;
    std::function<void(TExtractionJob&, FakeSource&)> Setup;
    std::vector<std::string> Log;  // after the option lines
    std::vector<std::string> Files;
    std::string StopAt = "";  // the status at which the user stops the run
    bool Failures = false;
    bool SecondRunSkips = false;
  };
  const auto none = [](TExtractionJob&, FakeSource&) {};
  const std::string a = "thunderbird/2009.01.03/a/a.txt", c = "thunderbird/2009.01.03/c/c.bin";
  const std::vector<Case> cases = {
      {"every message",
       {{"A", abc}},
       none,
       {"Reading Messages from A ...", "Attachments from 2 Messages are extracted",
        "Finished extracting all folders."},
       {a, c}},
      {"messages that fail",
       {{"A", {{"a", "", M::Unreadable}, {"b", "", M::BadDescription}, {"c", "c.bin"}}}},
       none,
       {"Reading Messages from A ...", "Error opening Messages (0) in A",
        "Error opening Messages (1) in A", "Attachments from 1 Message is extracted",
        "Finished extracting all folders."},
       {c},
       "",
       true},
      {"out of memory ends the run",
       {{"A", {{"a", "a.txt"}, {"b", "", M::NoMemory}, {"c", "c.bin"}}}, {"B", abc}},
       none,
       {"Reading Messages from A ...", kOutOfMemoryLine, "Finished extracting all folders."},
       {a},
       "",
       true},
      {"folders that cannot be opened",
       {{"A", abc}, {"B", abc}, {"C", abc}},
       [](TExtractionJob&, FakeSource& s) {
         s.FailAtCount = {"A"};
         s.FailAtMain = {"B"};
       },
       {"Errror opening A", "Reading Messages from B ...", "Errror opening B",
        "Reading Messages from C ...", "Attachments from 2 Messages are extracted",
        "Finished extracting all folders."},
       {a, c},
       "",
       true},
      {"include list",
       {{"A", abc}},
       [](TExtractionJob& j, FakeSource&) {
         j.AllFiles = false;
         j.IncludeExt = {".BIN"};
       },
       {"Reading Messages from A ...", "Attachments from 2 Messages are extracted",
        "Finished extracting all folders."},
       {c}},
      {"date interval",
       {{"A", abc}},
       [](TExtractionJob& j, FakeSource&) {
         j.UseDateInterval = true;
         j.DateFrom = EncodeDate(2009, 1, 4);
         j.DateTo = EncodeDate(2009, 2, 1);
       },
       {"Reading Messages from A ...", "Finished extracting all folders."},
       {}},
      {"stop",
       {{"A", abc}, {"B", abc}},
       none,
       {"Reading Messages from A ...", "Attachments from 1 Message is extracted",
        "Stopped by User."},
       {a},
       "A : Processing Message 2 of 3 ..."},
      {"second run skips",
       {{"A", abc}},
       none,
       {"Reading Messages from A ...", "Finished extracting all folders."},
       {a, c},
       "",
       false,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> trace[2];
    for (const bool ahead : {false, true}) {
      SCOPED_TRACE(ahead ? "reading ahead" : "reading in turn");
      test::TempDir root;
      test::ScopedEnv data("XDG_DATA_HOME", root / "appdata");
      for (int run = 0; run < (c.SecondRunSkips ? 2 : 1); ++run) {
        test::RecordingView view;
        std::atomic<std::uint8_t> stop{0};
        view.OnStatus = [&](const std::string& s) {
          if (s == c.StopAt) stop = 1;
        };
        TExtractionJob job;
        job.DestinationDir = root / "out";
        job.Layout = 0;
        job.FullFileName = false;
        job.PauseMs = 0;
        job.SkipDuplicates = run == 1;
        job.View = &view;
        job.StopRequested = &stop;
        auto source = std::make_unique<FakeSource>();
        source->Folders = c.Folders;
        for (const auto& [name, messages] : c.Folders) job.Folders.push_back({name, name, "", ""});
        c.Setup(job, *source);
        TExtractionWorker worker(job, std::move(source));
        worker.SetPrepareAhead(ahead);
        worker.Resume();
        worker.WaitFor();
        ASSERT_FALSE(worker.FatalException);
        EXPECT_EQ(worker.RunHadFailures(), c.Failures);
        const auto at = std::find(view.Log.begin(), view.Log.end(), sep);
        ASSERT_NE(at, view.Log.end());
        const std::vector<std::string> log(at + 1, view.Log.end());
        if (run == (c.SecondRunSkips ? 1 : 0)) {
          EXPECT_EQ(log, c.Log);
        }
        trace[ahead].insert(trace[ahead].end(), view.Trace.begin(), view.Trace.end());
      }
      EXPECT_EQ(test::ListTree(root / "out"), c.Files);
    }
    EXPECT_EQ(trace[1], trace[0]);
  }
}

// A source's exception that is not a std::exception is no message error:
// it ends the run, with its closing lines.
TEST(Worker, ForeignExceptionIsNoMessageError) {
  auto source = std::make_unique<FakeSource>();
  source->Folders = {{"A", {{"a", "", TFakeMessage::Foreign}}}};
  TExtractionJob job;
  job.Folders = {{"A", "A", "", ""}};
  job.PauseMs = 0;
  test::TempDir root;
  test::ScopedEnv data("XDG_DATA_HOME", root / "appdata");
  TExtractionWorker worker(job, std::move(source));
  worker.Resume();
  worker.WaitFor();
  EXPECT_FALSE(worker.FatalException);
  EXPECT_TRUE(worker.RunHadFailures());
}

}  // namespace
}  // namespace qb
