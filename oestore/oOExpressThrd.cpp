#include "oestore/oOExpressThrd.h"

#include "engine/history.h"
#include "web/workerlinks.h"

namespace qb {

namespace {

class TOECursor : public IFolderCursor {
 public:
  TOECursor(std::string store, std::string fileName, std::unique_ptr<TDbxFile> file,
            std::vector<Toe5_MessageInfo> messages)
      : store_(std::move(store)),
        fileName_(std::move(fileName)),
        file_(std::move(file)),
        messages_(std::move(messages)) {}

  std::size_t Count() const override { return messages_.size(); }

  // What the reader skipped in the folder file: a header that announces
  // more messages than the index holds, texts cut short or missing.
  TFolderDamage Damage() const override {
    TFolderDamage d;
    if (!file_) return d;
    const TDbxSkipped& s = file_->Skipped();
    if (!s.Any()) return d;
    if (s.StoredCount > s.FoundCount) d.Announced = static_cast<std::size_t>(s.StoredCount);
    d.CutTexts = static_cast<std::size_t>(s.LoopingChains) +
                 static_cast<std::size_t>(s.BrokenChains) +
                 static_cast<std::size_t>(s.MissingTexts);
    const std::size_t slash = file_->Path().rfind('/');
    d.Notice = file_->Path().substr(slash == std::string::npos ? 0 : slash + 1) +
               ": skipped damaged parts: " + s.Text();
    return d;
  }

  void Read(std::size_t j, TSourceMessage& m, const std::function<void()>& pause) override {
    const std::int32_t q = messages_[j].MessageDataPos;
    // The folder file stays open from its index read to its last message,
    // and is read as it is now (the mail program may have changed it).
    if (file_)
      file_->Refresh();
    else
      file_ = std::make_unique<TDbxFile>(store_, fileName_);
    std::string dump;
    file_->DumpObject(q, dump);
    m.KeyText = TOESource::KeyTextOfDump(dump);
    pause();
    file_->LoadMessageText(q, m.RawText, messages_[j].MessageSize);
  }

 private:
  const std::string store_, fileName_;
  std::unique_ptr<TDbxFile> file_;
  const std::vector<Toe5_MessageInfo> messages_;
};

}  // namespace

std::string TOESource::HistoryPath() const {
  return kOEHistoryPath;
}

std::unique_ptr<TDbxFile> TOESource::ReadFolderIndex(const TJobFolder& folder,
                                                     TDbxIndexList& list) {
  auto file = std::make_unique<TDbxFile>(store_, folder.FileName);
  file->LoadIndex(&list);
  return file;
}

std::unique_ptr<IFolderCursor> TOESource::OpenFolder(const TJobFolder& folder) {
  TDbxIndexList list;
  std::unique_ptr<TDbxFile> file;
  try {
    file = ReadFolderIndex(folder, list);
  } catch (const std::exception& e) {
    throw TFolderReadError(e.what(), list.size());
  }
  return std::make_unique<TOECursor>(store_, folder.FileName, std::move(file),
                                     MessageRecords(list));
}

TOEExtracter::TOEExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions)
    : TOEExtracter(job, std::make_unique<TOESource>(job.StoreFolder), std::move(linkOptions)) {}

TOEExtracter::TOEExtracter(const TExtractionJob& job, std::unique_ptr<TOESource> source,
                           TLinkDownloadOptions linkOptions)
    : TExtractionWorker(job, std::move(source), MakeRunServices(job, std::move(linkOptions))) {}

}  // namespace qb
