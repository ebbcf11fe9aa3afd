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
// (Notice, and the process-wide notice handler).
#pragma once

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

// How long a run waits for another run's lock on the history, by default.
inline constexpr int kHistoryLockWaitMs = 10000;

// Receives, on the thread that found it, every notice of a history switched
// off during a run (the command line writes them to stderr). Empty: none.
void SetHistoryNoticeHandler(std::function<void(const std::string& notice)> handler);

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
  bool IsOpen() const { return store_ != nullptr; }

  // Records one message under the digest of its key text with "Saved" 0
  // and flushes. Returns the digest text (computed even when closed). A
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

  // Flushes and frees the store; errors are swallowed (a notice is given).
  void Close();

  // The longest wait for another run's lock (kHistoryLockWaitMs unless set).
  void SetLockWait(int ms) { lockWaitMs_ = ms; }

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
  // Applies a change now and keeps it for a reload before the next flush.
  void Apply(TChange change);
  // Writes what changed under the lock, merged with the file as it is now.
  // Raises EInOutError when the file cannot be written; false when the lock
  // could not be had (the history is then switched off).
  bool Flush();
  void SwitchOff(const std::string& notice);

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
