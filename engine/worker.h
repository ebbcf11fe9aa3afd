// The run shared by both extraction workers: option lines, the counting
// pass, the main pass over folders and messages, the stop request and the
// reports to the wizard. A source-specific worker supplies the message list
// of a folder and the processing of one message.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/history.h"
#include "engine/job.h"
#include "engine/naming.h"
#include "engine/reportqueue.h"
#include "platform/thread.h"

namespace qb {

// Raised by LoadMessageList when a folder cannot be read; records read
// before the failure are reported in the folder's row.
class TFolderReadError : public std::runtime_error {
 public:
  TFolderReadError(const std::string& what, std::size_t recordsRead)
      : std::runtime_error(what), RecordsRead(recordsRead) {}
  std::size_t RecordsRead;
};

class TExtractionWorker : public TThread {
 public:
  explicit TExtractionWorker(const TExtractionJob& job);
  ~TExtractionWorker() override;

  const TExtractionJob& Job() const { return job_; }

  // The log lines that depend on nothing but their arguments.
  static std::string AttachmentsFromLine(int messages);
  static const std::string& SeparatorLine();

 protected:
  void Execute() override;

  // The folder's key in the failed list and in its log lines (the .dbx file
  // name for Outlook Express).
  virtual std::string FolderFileKey(const TJobFolder& folder) const { return folder.FileName; }
  // False when the folder has nothing to read (status "No File").
  virtual bool FolderHasSource(const TJobFolder& folder) const { return !folder.FileName.empty(); }
  // Reads the folder's message list into the worker and returns its length.
  // Throws TFolderReadError when the folder cannot be read.
  virtual std::size_t LoadMessageList(const TJobFolder& folder) = 0;
  // Drops the list read last.
  virtual void ReleaseMessageList() {}
  // Processes message j (0-based) of the list read last. Adds to
  // MessagesWithFiles and FilesExtracted as the message warrants.
  virtual void ProcessMessage(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                              std::size_t count) = 0;
  // The closing line of a run that was not stopped.
  virtual std::string FinishedLine() const { return "Finished extracting all folders."; }

  bool StopRequested() const;
  void Pause() const;

  // Reports, in order, to the view on the main thread; the worker does not
  // wait for them (see TReportQueue) except at the end of the run.
  void AddLog(const std::string& line);
  void SetStatusText(const std::string& text);
  void SetProgressMax(int count);
  void SetProgressPosition(int value);
  void ShowFolderRow(int folderIndex);
  void UpdateFolderRow(const std::string& folderName, int folderIndex, int status, int extracted,
                       int messages, int total);

  // Constructor steps of the source-specific worker: the history file below
  // the application-data folder (kOEHistoryPath or kOutlookHistoryPath) is
  // opened and "LastStarted" written; any failure only leaves HistoryOpen
  // false.
  void OpenHistory(const std::string& relativePath);
  // Records one processed message (does nothing while the history is
  // closed). A failed flush raises EInOutError, which ends the run.
  void RecordHistory(const std::string& keyText, TDateTime date, int attachments);

  void WriteOptionLines();
  void CountingPass();
  void MainPass();
  // The end of every run: the failed list emptied, the bar at its maximum,
  // then "Stopped by User." or FinishedLine() as status and log line.
  void FinishRun();

  // True when the folder with this key could not be opened in this run.
  bool FolderFailed(const std::string& key) const;
  void MarkFolderFailed(const std::string& key) { failed_.push_back(key); }

  // Writes one message's attachments below target, adding to FilesExtracted;
  // messageNumber and folderKey name the message in the log.
  void WriteMessageFiles(const TTargetPath& target, std::size_t messageNumber,
                         const std::string& folderKey,
                         const std::vector<TAttachmentToWrite>& files);

  TExtractionJob job_;
  // Copies of the job's lists, kept by the worker.
  std::vector<std::string> IncludeExt;
  std::vector<std::string> ExcludeExt;
  std::string DestinationDir;

  TExtractionHistory History;
  bool HistoryOpen = false;

  // Counters of the folder being processed.
  int MessagesWithFiles = 0;
  int FilesExtracted = 0;

 private:
  std::vector<std::string> failed_;
  int progressMax_ = 1;
  TReportQueue reports_;
};

}  // namespace qb
