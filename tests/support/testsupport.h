// Helpers shared by the test programs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/job.h"

namespace qb::test {

// The project's source directory.
std::string SourceDir();
// ../shared/refdata beside the project (the reference files).
std::string RefDataDir();
// tests/data/<area>.
std::string TestDataDir(const std::string& area);

// A fresh directory under $TMPDIR, removed with everything in it when the
// object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& data);
std::string ReadFile(const std::string& path);
// Every regular file below dir, as paths relative to dir, sorted.
std::vector<std::string> ListTree(const std::string& dir);

// Everything below dir, one entry after the other in name order: each
// directory, file (with its bytes) and symbolic link (with its target). The
// time a history file gives its run's start is left out: it differs from
// run to run.
std::string TreeContents(const std::string& dir);

// A copy of everything below a directory, put back in its place (and
// nothing else left there) by Restore.
class TreeSnapshot {
 public:
  explicit TreeSnapshot(std::string dir);
  void Restore() const;

 private:
  std::string dir_;
  TempDir copy_;
};

// A Windows registry export (as our key store imports it) of one Outlook
// Express identity, "Main Identity", whose store root is storeDir.
std::string IdentityRegistryExport(const std::string& storeDir);

// Limits the size of the files this process may write while it lives (a
// write past the limit fails instead of raising SIGXFSZ).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  // False when the limit could not be set.
  bool Set() const { return set_; }

 private:
  std::uint64_t old_ = 0;
  void (*oldHandler_)(int) = nullptr;
  bool set_ = false;
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();

 private:
  std::string name_;
  bool had_;
  std::string old_;
};

// Records every report a worker makes, as the wizard would show it.
class RecordingView : public IRunView {
 public:
  struct Row {
    std::string Name;
    int Status = -1, Extracted = 0, Messages = 0, Total = 0;
    bool Shown = false;
  };
  void AddLog(const std::string& line) override;
  void SetStatusText(const std::string& text) override;
  void SetProgressMax(int count) override;
  void SetProgressPosition(int value) override;
  void ShowFolderRow(int folderIndex) override;
  void UpdateFolderRow(const std::string& folderName, int folderIndex, int status, int extracted,
                       int messages, int total) override;

  std::vector<std::string> Log;
  std::vector<std::string> Statuses;
  std::vector<Row> Rows;
  // Every status code each row went through, in order.
  std::vector<std::vector<int>> RowHistory;
  int ProgressMax = 0;
  int ProgressPosition = 0;
  // Every report in the order it came, one line each.
  std::vector<std::string> Trace;
  // Called after every AddLog, e.g. to request a stop at a chosen line.
  std::function<void(const std::string&)> OnLog;
  std::function<void(const std::string&)> OnStatus;
};

}  // namespace qb::test
