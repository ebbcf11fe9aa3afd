// The extraction history: one INI file per source kind below the per-user
// application-data folder, with a section per processed message keyed by the
// MD5 digest of the message's key text.
//
//   [Program]
//   LastStarted=<date-time text>
//   [<32 hex digits>]
//   Saved=0
//   Date=<date-time text>
//   Attachments=<count>
#pragma once

#include <memory>
#include <string>

#include "engine/oIniFile.h"
#include "platform/datetime.h"

namespace qb {

// Paths of the history files below the application-data folder.
inline constexpr const char* kOEHistoryPath = "Quillbox/OE/OEMailData.ini";
inline constexpr const char* kOutlookHistoryPath = "Quillbox/Outlook/OLMailData.ini";

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
  // closing). False, silently, when any step fails; the history then stays
  // closed.
  bool Open(const std::string& fullPath);
  bool IsOpen() const { return store_ != nullptr; }

  // Records one message under the digest of its key text and flushes.
  // Returns the digest text (computed even when closed). A flush that fails
  // raises EInOutError to the caller.
  std::string RecordMessage(const std::string& keyText, TDateTime date, int attachments,
                            bool writeDate = true, bool writeCount = true);

  // Flushes and frees the store; errors are swallowed.
  void Close();

  TBiggerIniFile* Store() { return store_.get(); }

 private:
  std::unique_ptr<TBiggerIniFile> store_;
};

}  // namespace qb
