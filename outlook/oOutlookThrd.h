// The Outlook source: extracts the attachments of the chosen Outlook folders
// through the object model (outlook/automation.h), in the shared run of
// engine/worker.h.
//
// What differs from the Outlook Express source: it connects to Outlook
// first (and ends silently when it cannot), reads a folder's items by its
// entry id, names the folder by its name after "Reading Messages from " and
// by its key (TJobFolder::Key, the record identity of the listing) in its
// failure lines, numbers items from 1 in those lines and in the progress,
// leaves the final " ..." out of its download and extraction status lines,
// has Outlook save each attachment, and closes with
// "Finished extracting all folders, Closing Outlook Connection, Please wait..".
//
// A folder that GetFolderFromID cannot find is a failed folder, like one
// whose items cannot be counted ("Errror opening " + folder key, status
// "Error Opening Mailbox", skipped in the extraction pass). An error while
// handling one message is caught there: "Error opening Messages (" + item
// number + ") in " + folder key, and the run goes on with the next message.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "engine/source.h"
#include "engine/worker.h"
#include "outlook/automation.h"
#include "platform/i18n.h"
#include "web/linkdownload.h"

namespace qb {

class TOutlookSource : public IMessageSource {
 public:
  static constexpr const char* kFinishedLine =
      N_("Finished extracting all folders, Closing Outlook Connection, Please wait..");

  ~TOutlookSource() override;

  TSourceKind Kind() const override { return TSourceKind::Outlook; }
  std::string HistoryPath() const override;
  bool Connect() override;
  void Disconnect() override;
  bool FolderHasSource(const TJobFolder&) const override { return true; }
  // Finds the folder by its entry id and counts its items. Throws
  // TFolderReadError when either fails. Message j is item j + 1.
  std::unique_ptr<IFolderCursor> OpenFolder(const TJobFolder& folder) override;
  std::string FolderFileKey(const TJobFolder& folder) const override { return folder.Key; }
  std::string ReadingName(const TJobFolder& folder) const override { return folder.Name; }
  std::size_t MessageNumber(std::size_t j) const override { return j + 1; }
  std::string StatusLineEnd() const override { return ""; }
  std::string FinishedLine() const override { return kFinishedLine; }

 private:
  std::shared_ptr<ole::IOlApplication> app_;
  std::shared_ptr<ole::IOlNameSpace> ns_;
};

// The run over Outlook folders (job.Folders carry each folder's name, key
// and entry id, TOutlookFolderInfo::ToJobFolder). linkOptions configure the
// download of linked files (tests put their own fetcher there).
class TOutlookExtracter : public TExtractionWorker {
 public:
  static constexpr const char* kFinishedLine = TOutlookSource::kFinishedLine;
  explicit TOutlookExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions = {});
};

}  // namespace qb
