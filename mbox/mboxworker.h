// The Netscape, Mozilla and Thunderbird source: the chosen mailbox files,
// each read as a stream one message at a time (mbox/mboxreader.h).
//
// Its lines and rows are those of the Outlook Express source with the
// mailbox file's name where that source names the .dbx file. Files go below
// "thunderbird/" or "mozilla/" in the destination; the history is
// "Quillbox/Thunderbird/TBMailData.ini" or "Quillbox/Mozilla/NSMailData.ini"
// below the application-data folder, keyed by MboxMessageKey.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/source.h"
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

// The mailbox files of a run: each folder is one mailbox, read as a stream
// one message at a time. A mailbox is read whole once per pass: the count
// found when it is first opened is kept, with the file's size and time, for
// the next opening in the run while the file has not changed.
class TMboxSource : public IMessageSource {
 public:
  explicit TMboxSource(TMailFamily family) : family_(family) {}

  // Makes the progress of each mailbox go by bytes read instead of
  // messages (IFolderCursor::ByteSize); the mailboxes are then read without
  // counting them first (kCountUnknown).
  void SetProgressByBytes(bool on) { byBytes_ = on; }

  TSourceKind Kind() const override;
  std::string HistoryPath() const override;
  std::unique_ptr<IFolderCursor> OpenFolder(const TJobFolder& folder) override;
  // A folder's reader is its cursor's alone.
  bool CanReadAhead() const override { return true; }
  // The mailbox file's name.
  std::string FolderFileKey(const TJobFolder& folder) const override;

 private:
  struct TScan {
    std::string Path;
    std::int64_t Size = -1, MTimeNs = -1;
    std::size_t Count = 0;
  };
  TMailFamily family_;
  bool byBytes_ = false;
  std::vector<TScan> scans_;
};

// The run over mailbox files (job.Folders hold the mailboxes,
// TNetscapeFolderInfo::ToJobFolder).
class TMboxExtracter : public TExtractionWorker {
 public:
  TMboxExtracter(const TExtractionJob& job, TMailFamily family,
                 TLinkDownloadOptions linkOptions = {});
};

}  // namespace qb
