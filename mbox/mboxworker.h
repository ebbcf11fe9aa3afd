// The Netscape, Mozilla and Thunderbird extraction worker: the shared run
// (engine/worker.h) over the chosen mailbox files, each read as a stream one
// message at a time (mbox/mboxreader.h) and parsed as the Outlook Express
// worker parses its messages.
//
// Its lines and rows are those of the Outlook Express worker with the
// mailbox file's name where that worker names the .dbx file. Files go below
// "thunderbird/" or "mozilla/" in the destination; the history is
// "Quillbox/Thunderbird/TBMailData.ini" or "Quillbox/Mozilla/NSMailData.ini"
// below the application-data folder, keyed by MboxMessageKey.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "engine/worker.h"
#include "mbox/mboxreader.h"
#include "mbox/profiles.h"
#include "web/linkdownload.h"

namespace qb {

inline constexpr const char* kThunderbirdHistoryPath = "Quillbox/Thunderbird/TBMailData.ini";
inline constexpr const char* kMozillaHistoryPath = "Quillbox/Mozilla/NSMailData.ini";

// The record of one mailbox in the folder tree.
struct TNetscapeFolderInfo {
  int Kind = 1;      // 0 Netscape/Mozilla, 1 Thunderbird
  std::string Path;  // full path of the mailbox file

  // The run's folder: displayName (the file name when empty) and the path.
  TJobFolder ToJobFolder(const std::string& displayName = "") const;
};

class TMboxExtracter : public TExtractionWorker {
 public:
  // job.Folders hold the mailboxes (TNetscapeFolderInfo::ToJobFolder).
  TMboxExtracter(const TExtractionJob& job, TMailFamily family,
                 TLinkDownloadOptions linkOptions = {});
  ~TMboxExtracter() override;

 protected:
  // The mailbox file's name.
  std::string FolderFileKey(const TJobFolder& folder) const override;
  std::size_t LoadMessageList(const TJobFolder& folder) override;
  void ReleaseMessageList() override;
  void ProcessMessage(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                      std::size_t count) override;
  // The reader is the reading thread's alone while it runs.
  bool CanPrepareAhead() const override { return true; }
  void PrepareMessage(const TJobFolder& folder, std::size_t j, TPreparedMessage& item) override;

 private:
  // Reads message j (the messages are asked for in order); false when it
  // cannot be read or is too large to be read whole.
  bool ReadMessage(std::size_t j, TMboxMessage& m);

  std::unique_ptr<TMboxReader> reader_;
  std::size_t next_ = 0;  // the number of the message the reader hands out next
};

}  // namespace qb
