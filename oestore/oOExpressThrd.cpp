#include "oestore/oOExpressThrd.h"

#include <exception>

#include "engine/history.h"
#include "mime/MoxMsg.h"
#include "web/addresses.h"
#include "web/workerlinks.h"

namespace qb {

TOEExtracter::TOEExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions)
    : TExtractionWorker(job) {
  SetUpSource(TSourceKind::OutlookExpress,
              std::make_unique<TWorkerLinks>(job_.LinkLists, std::move(linkOptions)),
              kOEHistoryPath);
  if (job_.HarvestAddresses) Addresses = std::make_unique<TAddressHarvester>();
}

TOEExtracter::~TOEExtracter() = default;

void TOEExtracter::ReadFolderIndex(const TJobFolder& folder, TDbxIndexList& list) {
  file_.reset();
  file_ = std::make_unique<TDbxFile>(job_.StoreFolder, folder.FileName);
  file_->LoadIndex(&list);
}

std::size_t TOEExtracter::LoadMessageList(const TJobFolder& folder) {
  Messages.clear();
  TDbxIndexList list;
  try {
    ReadFolderIndex(folder, list);
  } catch (const std::exception& e) {
    throw TFolderReadError(e.what(), list.size());
  }
  Messages = MessageRecords(list);
  return Messages.size();
}

void TOEExtracter::ReleaseMessageList() {
  file_.reset();
  Messages.clear();
  Messages.shrink_to_fit();
}

TExtractionWorker::TFolderDamage TOEExtracter::FolderDamage() const {
  TFolderDamage d;
  if (!file_) return d;
  const TDbxSkipped& s = file_->Skipped();
  if (!s.Any()) return d;
  if (s.StoredCount > s.FoundCount) d.Announced = static_cast<std::size_t>(s.StoredCount);
  d.CutTexts = static_cast<std::size_t>(s.LoopingChains) +
               static_cast<std::size_t>(s.BrokenChains) + static_cast<std::size_t>(s.MissingTexts);
  const std::size_t slash = file_->Path().rfind('/');
  d.Notice = file_->Path().substr(slash == std::string::npos ? 0 : slash + 1) +
             ": skipped damaged parts: " + s.Text();
  return d;
}

void TOEExtracter::ReadMessage(const TJobFolder& folder, std::size_t j, std::string& keyText,
                               std::string& rawText) {
  const std::int32_t q = Messages[j].MessageDataPos;
  // The folder file stays open from its index read to its last message,
  // and is read as it is now (the mail program may have changed it).
  if (file_)
    file_->Refresh();
  else
    file_ = std::make_unique<TDbxFile>(job_.StoreFolder, folder.FileName);
  std::string dump;
  file_->DumpObject(q, dump);
  keyText = KeyTextOfDump(dump);
  Pause();  // none when read ahead: that is only done in a run without pause
  file_->LoadMessageText(q, rawText, Messages[j].MessageSize);
}

void TOEExtracter::ProcessMessage(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                                  std::size_t count) {
  if (j >= Messages.size()) return;
  Pause();
  std::string keyText;
  std::string rawText;
  try {
    ReadMessage(folder, j, keyText, rawText);
  } catch (const std::exception&) {
    MessageError(folder, j);
    return;
  }
  // One message that cannot be parsed, recorded, named or whose links
  // cannot be fetched must not cost the messages after it.
  try {
    ProcessMessageText(folderIndex, folder, j, count, keyText, rawText);
  } catch (...) {
    MessageError(folder, j);
  }
}

void TOEExtracter::PrepareMessage(const TJobFolder& folder, std::size_t j, TPreparedMessage& item) {
  if (j >= Messages.size()) {
    item.Absent = true;
    return;
  }
  try {
    ReadMessage(folder, j, item.KeyText, item.RawText);
  } catch (const std::exception&) {
    item.ReadFailed = true;
  }
}

void TOEExtracter::ProcessMessageText(std::size_t, const TJobFolder& folder, std::size_t j,
                                      std::size_t count, const std::string& keyText,
                                      std::string& rawText) {
  TMoxMsg msg;
  ExtractMessage(folder, j, count, keyText, [&](TMessageContent& content) {
    return DecodeRawMessage(std::move(rawText), msg, content);
  });
}

}  // namespace qb
