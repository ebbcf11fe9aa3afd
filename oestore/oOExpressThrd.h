// The Outlook Express source: the chosen folders' .dbx files in the store
// folder, each folder's message list read from its index and each message
// from its data blocks, keyed in the history by the dump of its message
// object. Files go below "OE/" in the destination; the history is
// "Quillbox/OE/OEMailData.ini" below the application-data folder.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/source.h"
#include "engine/worker.h"
#include "oestore/dbxreader.h"
#include "web/linkdownload.h"

namespace qb {

class TOESource : public IMessageSource {
 public:
  explicit TOESource(std::string storeFolder) : store_(std::move(storeFolder)) {}

  // The message key text made of a dump: the dump is built from the stored
  // bytes one for one, so the 8-bit text in the system code page is the
  // dump's own bytes.
  static std::string KeyTextOfDump(const std::string& dump) { return dump; }

  TSourceKind Kind() const override { return TSourceKind::OutlookExpress; }
  std::string HistoryPath() const override;
  std::unique_ptr<IFolderCursor> OpenFolder(const TJobFolder& folder) override;
  // A folder's file and list are its cursor's alone.
  bool CanReadAhead() const override { return true; }

 protected:
  // Opens the folder file and reads its index into list (records read
  // before an error stay in it); the file is kept for the messages.
  virtual std::unique_ptr<TDbxFile> ReadFolderIndex(const TJobFolder& folder, TDbxIndexList& list);

  const std::string& StoreFolder() const { return store_; }

 private:
  std::string store_;
};

// The run over an Outlook Express store (job.StoreFolder). linkOptions
// configure the download of linked files (tests put their own URL list and
// fetcher there).
class TOEExtracter : public TExtractionWorker {
 public:
  explicit TOEExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions = {});
  TOEExtracter(const TExtractionJob& job, std::unique_ptr<TOESource> source,
               TLinkDownloadOptions linkOptions = {});
};

}  // namespace qb
