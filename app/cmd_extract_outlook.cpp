// quillbox-cli extract --source outlook: a run over Outlook's stores (the
// configured .pst files and those given with --pst) without a window. The
// options and the output are those of the Outlook Express run: the log on
// stdout a line at a time, the status text, the progress and the folder
// rows on stderr.
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/commands.h"
#include "engine/job.h"
#include "outlook/automation.h"
#include "outlook/oOutlookThrd.h"
#include "outlook/outlooklist.h"
#include "outlook/pstprovider.h"
#include "platform/paths.h"

namespace qb::cli {

int ExtractOutlook(const std::vector<std::string>& args);

namespace {

std::atomic<std::uint8_t> g_outlookStop{0};

extern "C" void OnOutlookInterrupt(int) {
  g_outlookStop.store(1);
}

class OutlookConsoleView : public IRunView {
 public:
  void AddLog(const std::string& line) override { OutRecord({line}); }
  void SetStatusText(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  void SetProgressMax(int count) override {
    max_ = count == 0 ? 1 : count;
    Progress(0);
  }
  void SetProgressPosition(int value) override { Progress(value); }
  void ShowFolderRow(int) override {}
  void UpdateFolderRow(const std::string& folderName, int folderIndex, int status, int extracted,
                       int messages, int total) override {
    if (folderIndex < 0) return;
    if (rows_.size() <= static_cast<size_t>(folderIndex)) rows_.resize(folderIndex + 1);
    rows_[folderIndex] = {folderName, std::to_string(total), std::to_string(messages),
                          std::to_string(extracted), TFolderStatus::DisplayText(status)};
  }
  void PrintRows() const {
    for (const auto& r : rows_) {
      std::string line = "folder";
      for (const auto& f : r) line += "\t" + f;
      std::fprintf(stderr, "%s\n", line.c_str());
    }
  }

 private:
  void Progress(int value) { std::fprintf(stderr, "progress %d/%d\n", value, max_); }
  int max_ = 1;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace

// The arguments after "--source outlook" has been taken out:
// --dest DIR [--pst FILE]... [--folder PATH_KEY]... [--pause MS].
int ExtractOutlook(const std::vector<std::string>& args) {
  std::string dest;
  std::vector<std::string> pst, paths;
  unsigned long long pause = 100;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--dest") {
      if (!value(dest)) return UsageError("extract", "--dest needs a directory");
    } else if (a == "--pst") {
      if (!value(v)) return UsageError("extract", "--pst needs a file");
      pst.push_back(v);
    } else if (a == "--folder") {
      if (!value(v)) return UsageError("extract", "--folder needs a path key");
      paths.push_back(v);
    } else if (a == "--pause") {
      if (!value(v) || !ParseNumber(v, pause) || pause > 60000)
        return UsageError("extract", "--pause needs milliseconds (0 to 60000)");
    } else {
      return UsageError("extract", "unexpected argument '" + a + "'");
    }
  }
  if (dest.empty()) return UsageError("extract", "missing --dest");
  for (const std::string& file : pst)
    if (std::string problem = PstStoreProblem(file); !problem.empty()) return Fail(problem);

  ole::TScopedOutlookProvider provider(ole::PstApplicationFactory(pst));
  TOutlookTreeFill fill;
  fill.Resume();
  fill.WaitFor();
  if (!fill.Success())
    return Fail("Outlook is not available: no personal folders file is configured or given");

  // The folders: those named by path key, in the order given; otherwise
  // every mail folder that is not a store, in tree order.
  std::vector<TJobFolder> chosen;
  if (paths.empty()) {
    for (const auto& record : fill.FolderList())
      if (record->ParentId) chosen.push_back(record->ToJobFolder());
  } else {
    for (const std::string& path : paths) {
      bool found = false;
      for (const auto& record : fill.FolderList())
        if (record->Path == path) {
          chosen.push_back(record->ToJobFolder());
          found = true;
          break;
        }
      if (!found) return Fail("no Outlook mail folder has the path key '" + path + "'");
    }
  }

  if (!ForceDirectories(dest)) return Fail("cannot create destination directory " + dest);

  OutlookConsoleView view;
  TExtractionJob job;
  job.DestinationDir = dest;
  job.Folders = chosen;
  job.PauseMs = static_cast<unsigned>(pause);
  job.View = &view;
  job.StopRequested = &g_outlookStop;
  g_outlookStop.store(0);
  auto* previous = std::signal(SIGINT, OnOutlookInterrupt);

  TOutlookExtracter worker(job);
  worker.Resume();
  worker.WaitFor();
  std::signal(SIGINT, previous);
  std::fflush(stdout);
  view.PrintRows();
  if (worker.FatalException) {
    try {
      std::rethrow_exception(worker.FatalException);
    } catch (const std::exception& e) {
      return Fail(std::string("the run ended early: ") + e.what());
    } catch (...) {
      return Fail("the run ended early");
    }
  }
  return g_outlookStop.load() ? kStopped : kOk;
}

}  // namespace qb::cli
