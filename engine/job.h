// The options a run is created with, and the statuses of its folders.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/datetime.h"

namespace qb {

class IReportRows;

inline constexpr int kRowTotalUnknown = -1;

// The wizard as a worker sees it. Every member is called on the main thread
// (the worker goes through Synchronize).
class IRunView {
 public:
  virtual ~IRunView() = default;
  virtual void AddLog(const std::string& line) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  // Maximum := count, or 1 when count is 0; position := 0.
  virtual void SetProgressMax(int count) = 0;
  virtual void SetProgressPosition(int value) = 0;
  virtual void ShowFolderRow(int folderIndex) = 0;
  // total is kRowTotalUnknown while a folder read without counting it
  // first is still being read: the view leaves its total empty.
  virtual void UpdateFolderRow(const std::string& folderName, int folderIndex, int status,
                               int extracted, int messages, int total) = 0;
  // Something the user should know of beside the log: damage the store
  // reader passed over, a history switched off, a download budget spent.
  // The command line writes it to its error stream; the window shows it
  // apart from the log lines and again at the end of the run.
  virtual void AddNotice(const std::string& text) { (void)text; }
  // How the worker's reports reach the view (see TReportQueue): by default
  // each one while the worker waits, so that the view may react to it.
  enum class TDelivery {
    Wait,      // each report at once; the worker waits for it
    Queue,     // every report, in order, in batches the worker does not wait for
    Coalesce,  // as Queue, but of status texts, positions and rows only the
               // last of a batch and none unchanged (a view that redraws on
               // its own clock)
  };
  virtual TDelivery Delivery() const { return TDelivery::Wait; }
  // After each batch of reports: a view that buffers its output shows it.
  virtual void ReportsDelivered() {}
};

// One chosen folder of a run, in the order of the wizard's folder list.
struct TJobFolder {
  std::string Name;      // display name (the status row's text)
  std::string FileName;  // Outlook Express: the .dbx file name; "" when the folder has none
  std::string Key;       // Outlook: the folder key (the record's decimal identity)
  std::string EntryID;   // Outlook: the folder's entry id
};

// What the link download reads from the wizard's extension controls: the
// "Extract ONLY Selected extensions." choice and every entry of both lists,
// ticked or not, as typed (the download applies its own rules to them).
struct TExtensionListsSnapshot {
  bool SelectedOnly = false;
  std::vector<std::string> IncludeEntries;
  std::vector<std::string> ExcludeEntries;
};

// Which worker writes: decides the first directory below the destination
// (RootDirectory, engine/naming.h).
enum class TSourceKind { OutlookExpress, Outlook, Thunderbird, Mozilla, Maildir, Eml, Mbox };

struct TExtractionJob {
  // The run over local mail files (maildir/localworker.h): Maildir, Eml or
  // Mbox, which names the run's folder below the destination and its
  // history. The other workers have a kind of their own and leave it be.
  TSourceKind SourceKind = TSourceKind::Maildir;
  std::string StoreFolder;
  std::string DestinationDir;
  std::vector<TJobFolder> Folders;
  int Layout = 6;
  bool FullFileName = true;
  bool DownloadLinks = false;
  bool SkipDuplicates = false;
  bool HarvestAddresses = false;
  bool UseDateInterval = false;
  TDateTime DateFrom = 0;
  TDateTime DateTo = 0;
  bool AllFiles = true;
  std::vector<std::string> IncludeExt;  // upper case, with a leading "."
  std::vector<std::string> ExcludeExt;  // upper case, with a leading "."
  TExtensionListsSnapshot LinkLists;

  // Length of the worker's pauses between steps of a message.
  unsigned PauseMs = 100;

  // A dry run: everything but the writing (no file, no history record, no
  // download); the summary and the report tell what a run would write.
  bool DryRun = false;
  // Where the rows of the run's report go (engine/runsummary.h); none: no
  // report, and no digests computed.
  IReportRows* Report = nullptr;

  // The wizard: target of every report and owner of the stop flag.
  IRunView* View = nullptr;
  std::atomic<std::uint8_t>* StopRequested = nullptr;
};

enum TFolderStatusCode : int {
  fsWaiting = 0,
  fsStarting = 1,
  fsProgress = 2,
  fsFinished = 3,
  fsStopped = 4,
  fsErrorOpening = 5,
  fsNotAvailable = 6,
  fsError = 7,
  fsOk = 8,
  fsNoFile = 9,
  fsSkipped = 10,
};

struct TFolderStatus {
  // The untranslated text of a status code ("" for an unknown code).
  static std::string Text(int code);
  // The text as shown: passed through the message catalogue.
  static std::string DisplayText(int code);
  // Index in the status list's image list, -1 for none.
  static int ImageIndex(int code);
};

}  // namespace qb
