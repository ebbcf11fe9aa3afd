// The extraction history: one INI file per source kind below the per-user
// application-data folder, with a section per processed message keyed by the
// MD5 digest of the message's key text.
//
//   [Program]
//   LastStarted=<date-time text>
//   [<32 hex digits>]
//   Saved=<1 when every wanted file of the message was saved, else 0>
//   Date=<date-time text>
//   Attachments=<count>
//
// Several runs may share one file (two terminals, the command line beside
// the wizard). Each flush takes an advisory lock on "<file>.lock", reloads
// the file when another run changed it since, lays this run's records over
// it and writes it: no record of either run is lost. A run that cannot get
// the lock within a bounded wait goes on without a history and says why
// (Notice, which the run passes on to its view).
//
// Records may be written in batches (SetBatch): they then reach the disk
// when a batch is full or old enough, at Commit and at closing. Each batch
// is one append (or one atomic rewrite), so a run that is killed loses at
// most its last batch and never leaves a torn file behind that a later run
// would misread: a record's "Saved" line comes first, and a cut record is
// dropped by the next run's rewrite.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/oIniFile.h"
#include "platform/datetime.h"

namespace qb {

// Paths of the history files below the application-data folder.
inline constexpr const char* kOEHistoryPath = "Quillbox/OE/OEMailData.ini";
inline constexpr const char* kOutlookHistoryPath = "Quillbox/Outlook/OLMailData.ini";

// The batch the extraction workers write: this many records or this old,
// whichever comes first.
inline constexpr int kHistoryBatchRecords = 256;
inline constexpr int kHistoryBatchMs = 1000;

// How long a run waits for another run's lock on the history, by default.
inline constexpr int kHistoryLockWaitMs = 10000;

class TExtractionHistory {
 public:
  TExtractionHistory() = default;
  ~TExtractionHistory();
  TExtractionHistory(const TExtractionHistory&) = delete;
  TExtractionHistory& operator=(const TExtractionHistory&) = delete;

  // AppDataDir() + "/" + relativePath.
  static std::string HistoryPath(const std::string& relativePath);

  // Creates the file's directory, loads the store and writes "LastStarted"
  // under "Program" (reaching the disk with the first record or at
  // closing). False when any step fails; the history then stays closed.
  // Only a lock that stays taken gives a notice.
  bool Open(const std::string& fullPath);

  // Loads only what earlier runs saved completely, for the skip test of a
  // run that writes nothing: the history stays closed, and nothing is
  // made, locked or written. False when the file is there but cannot be
  // read (a run would then go without a history and skip nothing).
  bool ReadSavedOnly(const std::string& fullPath);
  bool IsOpen() const { return store_ != nullptr; }

  // Records one message under the digest of its key text with "Saved" 0
  // and flushes (at the end of the batch). Returns the digest text (computed even when closed). A
  // flush that fails raises EInOutError to the caller.
  std::string RecordMessage(const std::string& keyText, TDateTime date, int attachments,
                            bool writeDate = true, bool writeCount = true);

  // Records one message after its files were written: "Saved" 1 when every
  // wanted file was saved (or there was none), 0 when one was not. Returns
  // the digest text. Raises nothing: a history that cannot be written is
  // switched off with a notice.
  std::string RecordOutcome(const std::string& keyText, TDateTime date, int attachments,
                            bool allSaved);

  // The skip test: true when a run before this one recorded the message
  // with every wanted file saved. Records of this run do not count.
  bool SavedBefore(const std::string& keyText) const;

  // Why the history was switched off during this run; "" when it was not.
  const std::string& Notice() const { return notice_; }

  // Writes the records of the batch now (before a stop, at the end of a
  // run). Raises nothing: a history that cannot be written is switched off
  // with a notice.
  void Commit();

  // Flushes and frees the store; errors are swallowed (a notice is given).
  void Close();

  // The longest wait for another run's lock (kHistoryLockWaitMs unless set).
  void SetLockWait(int ms) { lockWaitMs_ = ms; }

  // Records reach the disk once `records` are waiting or the oldest waits
  // `ms` milliseconds (checked at the next record). records <= 1, the
  // default: every record is flushed as it is made.
  void SetBatch(int records, int ms) {
    batchRecords_ = records;
    batchMs_ = ms;
  }

  TBiggerIniFile* Store() { return store_.get(); }

 private:
  struct TDiskState {
    bool Exists = false;
    unsigned long long Dev = 0, Ino = 0, Size = 0;
    long long MtimeNs = 0;
    bool operator==(const TDiskState&) const = default;
  };
  using TChange = std::function<void(TBiggerIniFile&)>;

  TDiskState StatFile() const;
  bool Lock();
  void Unlock();
  // Fills savedBefore_ from a loaded store.
  void LoadSaved(TBiggerIniFile& store);
  // Applies a change now and keeps it for a reload before the next flush.
  void Apply(TChange change);
  // Writes what changed under the lock, merged with the file as it is now.
  // Raises EInOutError when the file cannot be written; false when the lock
  // could not be had (the history is then switched off).
  bool Flush();
  void SwitchOff(const std::string& notice);
  // Flushes when the batch is full or old enough.
  bool BatchDue();

  int batchRecords_ = 1;
  int batchMs_ = 0;
  int batched_ = 0;
  std::chrono::steady_clock::time_point batchStart_{};

  std::unique_ptr<TBiggerIniFile> store_;
  std::string path_;
  int lockFd_ = -1;
  int lockWaitMs_ = kHistoryLockWaitMs;
  TDiskState disk_;
  std::vector<TChange> pending_;
  std::unordered_set<std::string> savedBefore_;
  std::string notice_;
};

}  // namespace qb
