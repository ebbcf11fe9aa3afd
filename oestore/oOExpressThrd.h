// The Outlook Express extraction worker: the shared run over the chosen
// folders, with the folder's message list read from its .dbx index and each
// message read from its data blocks, parsed, recorded in the history and
// its attachments (and, when asked, the files its bodies link to) written
// below the destination.
//
// Failures stay with the message they belong to: a message whose text
// cannot be read, or whose parsing, recording, naming or download raises,
// is logged as "Error opening Messages (" + j + ") in " + file and the run
// goes on with the next one. A history file that cannot be written is
// switched off for the rest of the run.
//
// Choices the job carries beyond the wizard's own run:
//  - SkipDuplicates: a message whose key digest was in the history before
//    this run is passed over (it still counts for the progress) and
//    nothing of it is written or recorded;
//  - UseDateInterval: a message dated outside [DateFrom, DateTo] (whole
//    days; an undated message is outside) is passed over the same way;
//  - AllFiles false: an attachment is written only when its extension is
//    in the include list, and then only when it is not in the exclude list.
// None of them changes a log line, a counter rule or a status row.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/naming.h"
#include "engine/worker.h"
#include "mime/MoxMsg.h"
#include "oestore/dbxreader.h"
#include "web/linkdownload.h"

namespace qb {

class TOEExtracter : public TExtractionWorker {
 public:
  // Opens the history "Quillbox/OE/OEMailData.ini" below the application
  // data folder. linkOptions configure the download of linked files (tests
  // put their own URL list and fetcher there).
  explicit TOEExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions = {});
  ~TOEExtracter() override;

  // False when the history could not be opened or was switched off after a
  // failed write.
  bool HistoryEnabled() const { return HistoryOpen; }

  // The message key text made of a dump: the dump is built from the stored
  // bytes one for one, so the 8-bit text in the system code page is the
  // dump's own bytes.
  static std::string KeyTextOfDump(const std::string& dump) { return dump; }

  // True when date (a message's Date) lies within the whole days from..to.
  static bool InDateInterval(TDateTime date, TDateTime from, TDateTime to);

 protected:
  std::size_t LoadMessageList(const TJobFolder& folder) override;
  void ReleaseMessageList() override;
  // Pauses, builds the message key text, reads the raw text and hands both to
  // ProcessMessageText; a text that cannot be read, and any error raised
  // while the message is handled, is logged and the message skipped.
  void ProcessMessage(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                      std::size_t count) override;

  // Reads the folder file's index into list (records read before an error
  // stay in it).
  virtual void ReadFolderIndex(const TJobFolder& folder, TDbxIndexList& list);
  // The work on one message once its key text and raw text are in hand:
  // parsing, history record, naming, links, attachments. Adds to
  // MessagesWithFiles and FilesExtracted as the message warrants. Errors
  // propagate to ProcessMessage.
  virtual void ProcessMessageText(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                                  std::size_t count, const std::string& keyText,
                                  const std::string& rawText);

  // The message list read last.
  std::vector<Toe5_MessageInfo> Messages;

 private:
  void Record(const std::string& keyText, TDateTime date, int attachments);
  bool AttachmentSelected(const std::string& fileName) const;
  TLinkDownloader& Links();

  TLinkDownloadOptions linkOptions_;
  std::unique_ptr<TLinkDownloader> links_;
  // Digests of the message sections the history held when the run began.
  std::unordered_set<std::string> knownDigests_;
};

}  // namespace qb
