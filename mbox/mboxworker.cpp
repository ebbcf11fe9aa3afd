#include "mbox/mboxworker.h"

#include <sys/stat.h>

#include "web/workerlinks.h"

namespace qb {

namespace {

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The size and modification time of a file, -1 when it cannot be asked.
void FileStamp(const std::string& path, std::int64_t& size, std::int64_t& mtimeNs) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    size = mtimeNs = -1;
    return;
  }
  size = static_cast<std::int64_t>(st.st_size);
  mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// A message up to this size is handed out with the makings of its key rather
// than its key.
constexpr std::size_t kLaterKeyBytes = TMboxReader::kExactReadBytes;

class TMboxCursor : public IFolderCursor {
 public:
  TMboxCursor(std::unique_ptr<TMboxReader> reader, std::size_t count, std::uint64_t byteSize)
      : reader_(std::move(reader)), count_(count), byteSize_(byteSize) {}

  std::size_t Count() const override { return count_; }
  std::uint64_t ByteSize() const override { return byteSize_; }

  // The messages come in order; one the list skips is read past. A message
  // too large to be read whole cannot be read.
  void Read(std::size_t j, TSourceMessage& m, const std::function<void()>&) override {
    TMboxMessage mm;
    bool got = false;
    while (next_ <= j && (got = reader_->Next(mm))) ++next_;
    if (!got && count_ == kCountUnknown && next_ == j) {
      m.End = true;
      return;
    }
    if (!got || next_ != j + 1) throw EMboxError("the mailbox ends before the message");
    if (mm.Oversized) throw EMboxError("the message is too large to be read");
    m.EndOffset = mm.Offset + mm.Text.size();
    if (mm.Text.size() <= kLaterKeyBytes) {
      // The digest is left to the thread that needs it; the copy it needs
      // costs far less than the digest.
      m.MakeKeyText = &MboxMessageKey;
      m.KeySource = mm.Text;
    } else {
      m.KeyText = MboxMessageKey(mm.Text);  // not held twice
    }
    m.RawText = std::move(mm.Text);
  }

 private:
  std::unique_ptr<TMboxReader> reader_;
  const std::size_t count_;
  const std::uint64_t byteSize_;
  std::size_t next_ = 0;  // the number of the message the reader hands out next
};

}  // namespace

TJobFolder TNetscapeFolderInfo::ToJobFolder(const std::string& displayName) const {
  TJobFolder f;
  f.Name = displayName.empty() ? FileNameOf(Path) : displayName;
  f.FileName = Path;
  return f;
}

TSourceKind TMboxSource::Kind() const {
  return family_ == TMailFamily::Thunderbird ? TSourceKind::Thunderbird : TSourceKind::Mozilla;
}

std::string TMboxSource::HistoryPath() const {
  return family_ == TMailFamily::Thunderbird ? kThunderbirdHistoryPath : kMozillaHistoryPath;
}

std::string TMboxSource::FolderFileKey(const TJobFolder& folder) const {
  return FileNameOf(folder.FileName);
}

std::unique_ptr<IFolderCursor> TMboxSource::OpenFolder(const TJobFolder& folder) {
  auto reader = std::make_unique<TMboxReader>();
  std::size_t count = 0;
  std::uint64_t byteSize = 0;
  try {
    TScan now;
    now.Path = folder.FileName;
    FileStamp(now.Path, now.Size, now.MTimeNs);
    if (byBytes_ && now.Size > 0) byteSize = static_cast<std::uint64_t>(now.Size);
    reader->Open(folder.FileName);
    // A mailbox whose progress goes by bytes is read without counting it
    // first: a Takeout of many gigabytes would be read twice.
    if (byteSize > 0)
      return std::make_unique<TMboxCursor>(std::move(reader), kCountUnknown, byteSize);
    TScan* known = nullptr;
    for (TScan& s : scans_)
      if (s.Path == now.Path) known = &s;
    if (known && now.Size >= 0 && known->Size == now.Size && known->MTimeNs == now.MTimeNs) {
      count = known->Count;
    } else {
      count = reader->CountRemaining();
      reader->Rewind();
      now.Count = count;
      if (known)
        *known = now;
      else
        scans_.push_back(now);
    }
  } catch (const EMboxError& e) {
    throw TFolderReadError(e.what(), count);
  }
  return std::make_unique<TMboxCursor>(std::move(reader), count, byteSize);
}

TMboxExtracter::TMboxExtracter(const TExtractionJob& job, TMailFamily family,
                               TLinkDownloadOptions linkOptions)
    : TExtractionWorker(job, std::make_unique<TMboxSource>(family),
                        MakeRunServices(job, std::move(linkOptions))) {}

}  // namespace qb
