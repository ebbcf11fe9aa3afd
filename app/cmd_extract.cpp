// quillbox-cli extract: a run over an Outlook Express store without a window.
// The log goes to stdout a line at a time, as the wizard's log shows it; the
// status text, the progress and the folder rows go to stderr.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/commands.h"
#include "engine/job.h"
#include "oestore/folderlist.h"
#include "oestore/oOExpressThrd.h"
#include "platform/paths.h"
#include "platform/thread.h"

namespace qb::cli {
namespace {

std::atomic<std::uint8_t> g_stop{0};

extern "C" void OnInterrupt(int) {
  g_stop.store(1);
}

class ConsoleView : public IRunView {
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
  // The rows as they stand at the end of the run.
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

int Extract(const std::vector<std::string>& args) {
  std::string store, dest;
  std::vector<std::string> files;
  unsigned long long pause = 100;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--store") {
      if (!value(store)) return UsageError("extract", "--store needs a directory");
    } else if (a == "--dest") {
      if (!value(dest)) return UsageError("extract", "--dest needs a directory");
    } else if (a == "--folder") {
      if (!value(v)) return UsageError("extract", "--folder needs a file name");
      files.push_back(v);
    } else if (a == "--pause") {
      if (!value(v) || !ParseNumber(v, pause) || pause > 60000)
        return UsageError("extract", "--pause needs milliseconds (0 to 60000)");
    } else {
      return UsageError("extract", "unexpected argument '" + a + "'");
    }
  }
  if (store.empty()) return UsageError("extract", "missing --store");
  if (dest.empty()) return UsageError("extract", "missing --dest");
  if (!DirectoryExists(store)) return Fail("cannot open store directory " + store);

  // The folders: those named, with their names from folders.dbx where it
  // knows them; otherwise every folder of folders.dbx that has a file.
  std::vector<Toe5_FolderInfo> known;
  bool foldersRead = true;
  try {
    known = LoadOEFolderList(store);
  } catch (const std::exception& e) {
    if (files.empty()) return Fail(e.what());
    foldersRead = false;
  }
  std::vector<TJobFolder> chosen;
  if (files.empty()) {
    chosen = OEJobFolders(known);
  } else {
    for (const std::string& file : files) {
      TJobFolder f;
      f.Name = file;
      f.FileName = file;
      if (foldersRead)
        for (const Toe5_FolderInfo& k : known)
          if (k.FileName == file) {
            f.Name = k.FolderName;
            break;
          }
      chosen.push_back(f);
    }
  }

  if (!ForceDirectories(dest)) return Fail("cannot create destination directory " + dest);

  ConsoleView view;
  TExtractionJob job;
  job.StoreFolder = store;
  job.DestinationDir = dest;
  job.Folders = chosen;
  job.PauseMs = static_cast<unsigned>(pause);
  job.View = &view;
  job.StopRequested = &g_stop;
  g_stop.store(0);
  auto* previous = std::signal(SIGINT, OnInterrupt);

  TOEExtracter worker(job);
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
  return g_stop.load() ? kStopped : kOk;
}

const Register kExtract({"extract", "--store STORE_DIR --dest DIR [--folder FILE]... [--pause MS]",
                         "extracts the attachments of the named folder files (default: every "
                         "folder of folders.dbx that has a file); log on stdout, status on stderr",
                         Extract});

}  // namespace
}  // namespace qb::cli
