// The Outlook worker: extracts the attachments of the chosen Outlook folders
// through the object model (outlook/automation.h), in the shared run of
// engine/worker.h.
//
// What differs from the Outlook Express worker: it connects to Outlook
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

#include "engine/worker.h"
#include "outlook/automation.h"
#include "platform/i18n.h"
#include "web/linkdownload.h"

namespace qb {

class TOutlookExtracter : public TExtractionWorker {
 public:
  // job.Folders carry each folder's name, key and entry id
  // (TOutlookFolderInfo::ToJobFolder). linkOptions configure the download
  // of linked files (tests put their own fetcher there).
  explicit TOutlookExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions = {});
  ~TOutlookExtracter() override;

  static constexpr const char* kFinishedLine =
      N_("Finished extracting all folders, Closing Outlook Connection, Please wait..");

 protected:
  bool Connect() override;
  void Disconnect() override;
  std::string FolderFileKey(const TJobFolder& folder) const override { return folder.Key; }
  std::string ReadingName(const TJobFolder& folder) const override { return folder.Name; }
  bool FolderHasSource(const TJobFolder&) const override { return true; }
  // Finds the folder by its entry id and counts its items. Throws
  // TFolderReadError when either fails.
  std::size_t LoadMessageList(const TJobFolder& folder) override;
  void ReleaseMessageList() override { items_.reset(); }
  // Message j (0-based) of the folder loaded last, item j + 1 in Outlook.
  void ProcessMessage(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                      std::size_t count) override;
  std::size_t MessageNumber(std::size_t j) const override { return j + 1; }
  std::string StatusLineEnd() const override { return ""; }
  std::string FinishedLine() const override { return kFinishedLine; }

 private:
  void ProcessItem(ole::IOlMailItem& item, const TJobFolder& folder, std::size_t j,
                   std::size_t count);

  std::shared_ptr<ole::IOlApplication> app_;
  std::shared_ptr<ole::IOlNameSpace> ns_;
  std::shared_ptr<ole::IOlItems> items_;
};

}  // namespace qb
