// The Outlook worker: extracts the attachments of the chosen Outlook folders
// through the object model (outlook/automation.h).
//
// It shares the job, the reports and the naming and writing rules with the
// Outlook Express worker, with these differences: it connects to Outlook
// first (and ends silently when it cannot), names a folder in its failure
// lines by the folder key (TJobFolder::Key, the record identity of the
// listing), has Outlook save each attachment, and closes with
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
#include <vector>

#include "engine/history.h"
#include "engine/worker.h"
#include "outlook/automation.h"
#include "web/linkdownload.h"

namespace qb {

class TOutlookExtracter : public TExtractionWorker {
 public:
  // job.Folders carry each folder's name, key and entry id
  // (TOutlookFolderInfo::ToJobFolder). linkOptions configure the download
  // of linked files (tests put their own fetcher there).
  explicit TOutlookExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions = {});
  ~TOutlookExtracter() override;

  bool HistoryOpen() const { return history_.IsOpen(); }

  static constexpr const char* kFinishedLine =
      "Finished extracting all folders, Closing Outlook Connection, Please wait..";

 protected:
  void Execute() override;

  std::string FolderFileKey(const TJobFolder& folder) const override { return folder.Key; }
  bool FolderHasSource(const TJobFolder&) const override { return true; }
  // Finds the folder by its entry id and counts its items. Throws
  // TFolderReadError when either fails.
  std::size_t LoadMessageList(const TJobFolder& folder) override;
  void ReleaseMessageList() override { items_.reset(); }
  // Message j (0-based) of the folder loaded last, item j + 1 in Outlook.
  void ProcessMessage(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                      std::size_t count) override;
  std::string FinishedLine() const override { return kFinishedLine; }

 private:
  void ProcessItem(ole::IOlMailItem& item, const TJobFolder& folder, int row, int J, int n);
  void CountingPass();
  void ExtractionPass();

  TExtractionHistory history_;
  TLinkDownloadOptions linkOptions_;
  std::unique_ptr<TLinkDownloader> links_;
  std::shared_ptr<ole::IOlApplication> app_;
  std::shared_ptr<ole::IOlNameSpace> ns_;
  std::shared_ptr<ole::IOlItems> items_;
};

}  // namespace qb
