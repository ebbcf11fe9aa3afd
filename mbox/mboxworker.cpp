#include "mbox/mboxworker.h"

#include "mime/MoxMsg.h"
#include "web/addresses.h"
#include "web/workerlinks.h"

namespace qb {

namespace {

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TJobFolder TNetscapeFolderInfo::ToJobFolder(const std::string& displayName) const {
  TJobFolder f;
  f.Name = displayName.empty() ? FileNameOf(Path) : displayName;
  f.FileName = Path;
  return f;
}

TMboxExtracter::TMboxExtracter(const TExtractionJob& job, TMailFamily family,
                               TLinkDownloadOptions linkOptions)
    : TExtractionWorker(job) {
  const bool tb = family == TMailFamily::Thunderbird;
  SetUpSource(tb ? TSourceKind::Thunderbird : TSourceKind::Mozilla,
              std::make_unique<TWorkerLinks>(job_.LinkLists, std::move(linkOptions)),
              tb ? kThunderbirdHistoryPath : kMozillaHistoryPath);
  if (job_.HarvestAddresses) Addresses = std::make_unique<TAddressHarvester>();
}

TMboxExtracter::~TMboxExtracter() = default;

std::string TMboxExtracter::FolderFileKey(const TJobFolder& folder) const {
  return FileNameOf(folder.FileName);
}

std::size_t TMboxExtracter::LoadMessageList(const TJobFolder& folder) {
  reader_ = std::make_unique<TMboxReader>();
  std::size_t count = 0;
  try {
    reader_->Open(folder.FileName);
    count = reader_->CountRemaining();
    reader_->Rewind();
  } catch (const EMboxError& e) {
    reader_.reset();
    throw TFolderReadError(e.what(), count);
  }
  next_ = 0;
  return count;
}

void TMboxExtracter::ReleaseMessageList() {
  reader_.reset();
}

bool TMboxExtracter::ReadMessage(std::size_t j, TMboxMessage& m) {
  try {
    // The messages come in order; one the list skips is read past.
    bool got = false;
    while (reader_ && next_ <= j && (got = reader_->Next(m))) ++next_;
    return got && next_ == j + 1 && !m.Oversized;
  } catch (const EMboxError&) {
    return false;
  }
}

void TMboxExtracter::ProcessMessage(std::size_t, const TJobFolder& folder, std::size_t j,
                                    std::size_t count) {
  Pause();
  TMboxMessage m;
  if (!ReadMessage(j, m)) {
    MessageError(folder, j);
    return;
  }
  // One message that cannot be parsed, recorded, named or whose links
  // cannot be fetched must not cost the messages after it.
  try {
    TMoxMsg msg;
    ExtractMessage(folder, j, count, MboxMessageKey(m.Text), [&](TMessageContent& content) {
      return DecodeRawMessage(std::move(m.Text), msg, content);
    });
  } catch (...) {
    MessageError(folder, j);
  }
}

void TMboxExtracter::PrepareMessage(const TJobFolder&, std::size_t j, TPreparedMessage& item) {
  TMboxMessage m;
  if (!ReadMessage(j, m)) {
    item.ReadFailed = true;
    return;
  }
  item.KeyText = MboxMessageKey(m.Text);
  item.RawText = std::move(m.Text);
}

}  // namespace qb
