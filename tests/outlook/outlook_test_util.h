// Helpers of the Outlook tests: a fake Outlook installed for one test, and
// a worker run against it with every report recorded.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/job.h"
#include "outlook/fakeoutlook.h"
#include "outlook/oOutlookThrd.h"
#include "outlook/outlooklist.h"
#include "tests/support/testsupport.h"

namespace qb::test {

// Lists the folders of whatever provider is installed.
inline TOutlookFolderList ListFolders(bool* success = nullptr) {
  TOutlookTreeFill fill;
  fill.Resume();
  fill.WaitFor();
  if (success) *success = fill.Success();
  return fill.FolderList();
}

inline std::shared_ptr<TOutlookFolderInfo> FindRecord(const TOutlookFolderList& list,
                                                      const std::string& path) {
  for (const auto& r : list)
    if (r->Path == path) return r;
  return nullptr;
}

// A run of the Outlook worker: destination and history in a fresh
// directory, no pauses, layout 0 and no full file names unless changed.
struct TOutlookRun {
  TempDir Dir;
  ScopedEnv DataHome{"XDG_DATA_HOME", Dir / "appdata"};
  RecordingView View;
  std::atomic<std::uint8_t> Stop{0};
  TExtractionJob Job;
  TLinkDownloadOptions LinkOptions;

  TOutlookRun() {
    Job.DestinationDir = Dir / "out";
    Job.Layout = 0;
    Job.FullFileName = false;
    Job.PauseMs = 0;
    Job.View = &View;
    Job.StopRequested = &Stop;
    LinkOptions.UrlListPath = Dir / "URLList.txt";
  }

  // Chooses the listed folders with these paths, in this order.
  void Choose(const TOutlookFolderList& list, const std::vector<std::string>& paths) {
    for (const std::string& p : paths) {
      auto r = FindRecord(list, p);
      if (r) Job.Folders.push_back(r->ToJobFolder());
    }
  }

  void Run() {
    TOutlookExtracter worker(Job, LinkOptions);
    worker.Resume();
    worker.WaitFor();
  }

  std::string Out() const { return Dir / "out/outlook"; }
};

}  // namespace qb::test
