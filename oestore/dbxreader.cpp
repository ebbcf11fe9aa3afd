#include "oestore/dbxreader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "oestore/dbxformat.h"
#include "platform/paths.h"

namespace qb {

namespace {

std::atomic<std::int32_t> g_lastCount{0};

// Random access to a file's bytes. Get returns a pointer to the bytes at
// [pos, pos + len), cut short at the end of the file; avail receives how
// many there are. The pointer stays valid until the next call.
class Source {
 public:
  virtual ~Source() = default;
  virtual std::int64_t Size() const = 0;
  virtual const unsigned char* Get(std::int64_t pos, std::size_t len, std::size_t& avail) = 0;

  // True when all len bytes at pos exist; copies them to out.
  bool ReadExact(std::int64_t pos, std::size_t len, unsigned char* out) {
    std::size_t avail = 0;
    const unsigned char* p = Get(pos, len, avail);
    if (avail < len) return false;
    std::memcpy(out, p, len);
    return true;
  }
};

class MemorySource : public Source {
 public:
  explicit MemorySource(std::string_view image) : image_(image) {}
  std::int64_t Size() const override { return static_cast<std::int64_t>(image_.size()); }
  const unsigned char* Get(std::int64_t pos, std::size_t len, std::size_t& avail) override {
    avail = 0;
    if (pos < 0 || pos >= Size()) return nullptr;
    avail = std::min<std::size_t>(len, image_.size() - static_cast<std::size_t>(pos));
    return reinterpret_cast<const unsigned char*>(image_.data()) + pos;
  }

 private:
  std::string_view image_;
};

// A file opened read-only. Reads go through two windows that grow while the
// caller reads forward (block chains, consecutive objects), so a long run of
// small reads costs few system calls, while scattered reads stay small.
class FileSource : public Source {
 public:
  explicit FileSource(const std::string& path) : path_(path) {
    do {
      // Non-blocking, so that a FIFO in the store cannot stall the open.
      fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) throw EFOpenError(N_("Cannot open file \"%1\". %2"), {path, std::strerror(errno)});
    struct stat& st = stat_;
    if (::fstat(fd_, &st) != 0) {
      const int e = errno;
      ::close(fd_);
      throw EReadError(N_("Cannot read file \"%1\". %2"), {path, std::strerror(e)});
    }
    size_ = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
    if (S_ISDIR(st.st_mode)) {
      ::close(fd_);
      throw EReadError(N_("Cannot read file \"%1\". %2"), {path, std::strerror(EISDIR)});
    }
  }
  ~FileSource() override { ::close(fd_); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::int64_t Size() const override { return size_; }

  // True when path names the file this source reads, unchanged since it
  // was opened; errno is set when path cannot be stat'ed.
  bool SameAs(const std::string& path) const {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return st.st_dev == stat_.st_dev && st.st_ino == stat_.st_ino && st.st_size == stat_.st_size &&
           st.st_mtim.tv_sec == stat_.st_mtim.tv_sec && st.st_mtim.tv_nsec == stat_.st_mtim.tv_nsec;
  }

  // The next read past the buffer takes at least this many bytes (a block
  // chain about to be followed); at most kMaxAhead.
  void ReadAhead(std::size_t bytes) { ahead_ = std::min(bytes, kMaxAhead); }

  const unsigned char* Get(std::int64_t pos, std::size_t len, std::size_t& avail) override {
    avail = 0;
    if (pos < 0 || pos >= size_ || len == 0) return nullptr;
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(len, size_ - pos));
    // The header fields (item count, tree roots) are asked for on every
    // read: they are kept apart, so that they never push the blocks out.
    if (pos + static_cast<std::int64_t>(want) <= static_cast<std::int64_t>(kHeadSize)) {
      if (!headRead_) {
        head_.resize(static_cast<std::size_t>(std::min<std::int64_t>(kHeadSize, size_)));
        head_.resize(ReadAt(0, head_.data(), head_.size()));
        headRead_ = true;
      }
      if (pos >= static_cast<std::int64_t>(head_.size())) return nullptr;
      avail = std::min(want, head_.size() - static_cast<std::size_t>(pos));
      return head_.data() + pos;
    }
    for (TWindow& w : win_) {
      if (w.Len > 0 && pos >= w.Pos && pos + static_cast<std::int64_t>(want) <= w.Pos + w.Len) {
        w.Used = ++clock_;
        avail = want;
        return w.Buf.data() + (pos - w.Pos);
      }
    }
    // A read a little past one window's end (the next object of the index,
    // the next block of a chain) continues it with a window twice as large;
    // any other read starts small in the window used longest ago. Two
    // windows let the index nodes and the objects they list, or a chain and
    // the index, be read side by side without pushing each other out.
    TWindow* w = nullptr;
    for (TWindow& c : win_)
      if (c.Len > 0 && pos >= c.Pos && pos <= c.Pos + c.Len + static_cast<std::int64_t>(kGap)) {
        w = &c;
        w->Size = std::min<std::size_t>(w->Size * 2, kMaxWindow);
        break;
      }
    if (!w) {
      w = win_[0].Used <= win_[1].Used ? &win_[0] : &win_[1];
      w->Size = kMinWindow;
    }
    std::size_t chunk = std::max({want, w->Size, ahead_});
    ahead_ = 0;
    chunk = static_cast<std::size_t>(std::min<std::int64_t>(chunk, size_ - pos));
    if (w->Buf.size() < chunk) w->Buf.resize(chunk);
    w->Len = 0;
    const std::size_t got = ReadAt(pos, w->Buf.data(), chunk);
    w->Pos = pos;
    w->Len = static_cast<std::int64_t>(got);
    w->Used = ++clock_;
    avail = std::min(want, got);
    return w->Buf.data();
  }

 private:
  // Reads up to len bytes at pos; fewer only at the end of the file.
  std::size_t ReadAt(std::int64_t pos, unsigned char* out, std::size_t len) {
    std::size_t got = 0;
    while (got < len) {
      ssize_t n = ::pread(fd_, out + got, len - got, pos + static_cast<off_t>(got));
      if (n < 0) {
        if (errno == EINTR) continue;
        throw EReadError(N_("Cannot read file \"%1\". %2"), {path_, std::strerror(errno)});
      }
      if (n == 0) break;  // the file became shorter: what is there is all there is
      got += static_cast<std::size_t>(n);
    }
    return got;
  }

  static constexpr std::size_t kMinWindow = 4096;
  static constexpr std::size_t kMaxWindow = 256 * 1024;
  static constexpr std::size_t kGap = 64 * 1024;
  static constexpr std::size_t kMaxAhead = 1024 * 1024;
  static constexpr std::size_t kHeadSize = 4096;
  std::string path_;
  int fd_ = -1;
  struct stat stat_ {};
  std::int64_t size_ = 0;
  struct TWindow {
    std::vector<unsigned char> Buf;
    std::int64_t Pos = 0, Len = 0;
    std::size_t Size = kMinWindow;
    std::uint64_t Used = 0;
  };
  TWindow win_[2];
  std::uint64_t clock_ = 0;
  std::size_t ahead_ = 0;
  std::vector<unsigned char> head_;
  bool headRead_ = false;
};

// The item count at 196; a file too short to hold it counts as empty.
std::int32_t ReadItemCount(Source& src) {
  unsigned char b[4];
  std::int32_t count = src.ReadExact(dbx::kHdrItemCount, 4, b) ? dbx::GetI32(b) : 0;
  g_lastCount.store(count, std::memory_order_relaxed);
  return count;
}

// The field entries of one object and where its data area lies.
struct ObjectView {
  std::vector<std::uint32_t> fields;
  std::int64_t dataStart = 0;
  std::int64_t dataLen = 0;  // cut short at the end of the file
};

// Reads the object at q. False when its header does not hold its own
// position or its field entries pass the end of the file.
bool ReadObject(Source& src, std::int64_t q, ObjectView& obj) {
  unsigned char h[dbx::kObjHeaderSize];
  if (!src.ReadExact(q, sizeof h, h)) return false;
  if (dbx::GetI32(h + dbx::kObjOwnPos) != q) return false;
  const std::int64_t body = dbx::GetI32(h + dbx::kObjBodyLength);
  const unsigned n = h[dbx::kObjFieldCount];
  obj.fields.assign(n, 0);
  std::size_t avail = 0;
  const unsigned char* p = src.Get(q + dbx::kObjFields, 4u * n, avail);
  if (avail < 4u * n) return false;
  for (unsigned i = 0; i < n; ++i) obj.fields[i] = dbx::GetU32(p + 4 * i);
  obj.dataStart = q + static_cast<std::int64_t>(dbx::kObjFields) + 4 * n;
  obj.dataLen = std::max<std::int64_t>(
      0, std::min(body - 4 * static_cast<std::int64_t>(n), src.Size() - obj.dataStart));
  return true;
}

// The zero-terminated text at offset in the data area. Read in pieces, so
// that a damaged object claiming a huge data area costs only its text.
std::string TextAt(Source& src, const ObjectView& obj, std::uint32_t offset) {
  std::string out;
  std::int64_t at = offset;
  while (at < obj.dataLen) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(4096, obj.dataLen - at));
    std::size_t avail = 0;
    const char* p = reinterpret_cast<const char*>(src.Get(obj.dataStart + at, want, avail));
    if (avail == 0) break;
    const void* z = std::memchr(p, 0, avail);
    if (z) {
      out.append(p, static_cast<const char*>(z) - p);
      break;
    }
    out.append(p, avail);
    at += static_cast<std::int64_t>(avail);
  }
  return out;
}

// Width bytes at offset in the data area; false when they pass its end.
bool BytesAt(Source& src, const ObjectView& obj, std::uint32_t offset, std::size_t width,
             unsigned char* out) {
  if (static_cast<std::int64_t>(offset) + static_cast<std::int64_t>(width) > obj.dataLen)
    return false;
  return src.ReadExact(obj.dataStart + offset, width, out);
}

class IndexWalker {
 public:
  IndexWalker(Source& src, bool folderMode, TDbxIndexList& list, TDbxSkipped& skipped)
      : src_(src), folderMode_(folderMode), list_(list), skipped_(skipped) {
    const std::int64_t size = src.Size();
    // A sound file never holds more entries than fit in it, nor more text
    // than it holds; damaged files with overlapping nodes or objects are
    // cut off there.
    entryBudget_ = size / static_cast<std::int64_t>(dbx::kEntrySize) + 1;
    textBudget_ = 2 * size + 65536;
  }

  void Walk(std::int64_t start) {
    if (!Enter(start)) {
      if (start > 0) ++skipped_.BadNodeLinks;
      return;
    }
    while (!stack_.empty() && !exhausted_) {
      Frame& f = stack_.back();
      if (f.phase == 0) {
        f.phase = 1;
        Follow(f.linkFirst, true);
      } else if (f.phase == 1) {
        f.phase = 2;
        Follow(stack_.back().linkSecond);
      } else if (f.phase == 2) {
        f.phase = 3;
        LoadEntries(f);
      } else if (f.next < f.entries.size()) {
        const auto [object, link] = f.entries[f.next++];
        if (object > 0) {
          ++objects_;
          AddObject(object);
        }
        Follow(link);  // may move f
      } else {
        stack_.pop_back();
      }
    }
    if (exhausted_) skipped_.IndexCut = true;
    stack_.clear();
  }

  std::int64_t Objects() const { return objects_; }

  bool Visited(std::int64_t pos) const { return visited_.count(pos) != 0; }

 private:
  struct Frame {
    std::int64_t pos = 0;
    std::int32_t linkFirst = 0, linkSecond = 0;
    std::uint32_t count = 0;
    int phase = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> entries;
    std::size_t next = 0;
  };

  // Enters the node a link names, unless it was read already or is no
  // node. A parent link names a node read before as a rule; a child or
  // entry link that does is a tree coming back on itself.
  void Follow(std::int64_t link, bool parent = false) {
    if (link <= 0) return;
    if (visited_.count(link)) {
      if (!parent) ++skipped_.TreeLinksBack;
      return;
    }
    if (!Enter(link)) ++skipped_.BadNodeLinks;
  }

  bool Enter(std::int64_t p) {
    unsigned char h[dbx::kNodeHeaderSize];
    if (!src_.ReadExact(p, sizeof h, h)) return false;
    if (dbx::GetI32(h + dbx::kNodeOwnPos) != p) return false;
    visited_.insert(p);
    Frame f;
    f.pos = p;
    f.linkFirst = dbx::GetI32(h + dbx::kNodeLinkFirst);
    f.linkSecond = dbx::GetI32(h + dbx::kNodeLinkSecond);
    f.count = dbx::GetU32(h + dbx::kNodeCountWord) >> 8;
    stack_.push_back(std::move(f));
    return true;
  }

  void LoadEntries(Frame& f) {
    if (f.count == 0) return;
    const std::int64_t first = f.pos + static_cast<std::int64_t>(dbx::kNodeHeaderSize);
    const std::int64_t room = std::max<std::int64_t>(0, src_.Size() - first);
    std::int64_t c = std::min<std::int64_t>(f.count, room / dbx::kEntrySize);
    c = std::min(c, entryBudget_);
    if (c < static_cast<std::int64_t>(f.count)) skipped_.IndexCut = true;
    entryBudget_ -= c;
    if (c <= 0) return;
    std::size_t avail = 0;
    const unsigned char* p = src_.Get(first, static_cast<std::size_t>(c) * dbx::kEntrySize, avail);
    c = static_cast<std::int64_t>(avail / dbx::kEntrySize);
    f.entries.reserve(static_cast<std::size_t>(c));
    for (std::int64_t i = 0; i < c; ++i) {
      const unsigned char* e = p + i * dbx::kEntrySize;
      f.entries.emplace_back(dbx::GetI32(e + dbx::kEntryObject), dbx::GetI32(e + dbx::kEntryLink));
    }
  }

  void Spend(std::size_t text) {
    textBudget_ -= static_cast<std::int64_t>(text) + 64;
    if (textBudget_ < 0) exhausted_ = true;
  }

  void AddObject(std::int32_t q) {
    if (!ReadObject(src_, q, obj_)) return;
    if (folderMode_)
      AddFolder();
    else
      AddMessage(q);
  }

  void AddFolder() {
    bool marked = false;
    for (std::uint32_t v : obj_.fields) {
      const unsigned id = v & 0xFF;
      if (id == dbx::kFolderFileName || id == dbx::kFolderMarker6) marked = true;
    }
    if (!marked) return;
    Toe5_FolderInfo r;
    for (std::uint32_t v : obj_.fields) {
      const unsigned id = v & 0xFF;
      const std::uint32_t val = v >> 8;
      switch (id) {
        case dbx::kFolderId:
          r.FolderId = static_cast<std::int32_t>(val);
          break;
        case dbx::kFolderParentId:
          r.ParentId = static_cast<std::int32_t>(val);
          break;
        case dbx::kFolderName:
          r.FolderName = TextAt(src_, obj_, val);
          break;
        case dbx::kFolderFileName:
          r.FileName = TextAt(src_, obj_, val);
          break;
        default:
          break;
      }
    }
    Spend(r.FolderName.size() + r.FileName.size());
    if (exhausted_) return;
    list_.emplace_back(std::move(r));
  }

  void AddMessage(std::int32_t q) {
    Toe5_MessageInfo r;
    r.ObjectPos = q;
    std::size_t text = 0;
    auto setText = [&](std::string& field, std::uint32_t offset) {
      field = TextAt(src_, obj_, offset);
      text += field.size();
    };
    for (std::uint32_t v : obj_.fields) {
      const unsigned id = v & 0xFF;
      const std::uint32_t val = v >> 8;
      unsigned char b[8];
      switch (id) {
        case dbx::kMsgNumber:
          r.MessageNumber = static_cast<std::int32_t>(val);
          break;
        case dbx::kMsgFlagsIndirect:
          if (BytesAt(src_, obj_, val, 3, b)) r.MessageFlags = b[0] + b[1] * 256 + b[2] * 65536;
          break;
        case dbx::kMsgFlags:
          r.MessageFlags = static_cast<std::int32_t>(val);
          break;
        case dbx::kMsgAccountId:
          setText(r.AccountId, val);
          break;
        case dbx::kMsgAccountName:
          setText(r.AccountName, val);
          break;
        case dbx::kMsgMessageId:
          setText(r.MessageId, val);
          break;
        case dbx::kMsgSentDate:
          if (BytesAt(src_, obj_, val, 8, b)) std::copy(b, b + 8, r.SentDate.begin());
          break;
        case dbx::kMsgReceivedDate:
          if (BytesAt(src_, obj_, val, 8, b)) std::copy(b, b + 8, r.ReceivedDate.begin());
          break;
        case dbx::kMsgSubject:
          setText(r.Subject, val);
          break;
        case dbx::kMsgSender:
          setText(r.Sender, val);
          break;
        case dbx::kMsgSenderLine:
          setText(r.SenderLine, val);
          break;
        case dbx::kMsgRecipients:
          setText(r.Recipients, val);
          break;
        case dbx::kMsgReplyTo:
          setText(r.ReplyTo, val);
          break;
        case dbx::kMsgReferences:
          setText(r.References, val);
          break;
        case dbx::kMsgNewsgroups:
          setText(r.Newsgroups, val);
          break;
        case dbx::kMsgSize:
          r.MessageSize = static_cast<std::int32_t>(val);
          break;
        case dbx::kMsgDataPosIndirect:
          if (BytesAt(src_, obj_, val, 4, b)) r.MessageDataPos = dbx::GetI32(b);
          break;
        case dbx::kMsgDataPos:
          r.MessageDataPos = static_cast<std::int32_t>(val);
          break;
        default:
          break;
      }
    }
    Spend(text);
    if (exhausted_) return;
    list_.emplace_back(std::move(r));
  }

  Source& src_;
  bool folderMode_;
  TDbxIndexList& list_;
  TDbxSkipped& skipped_;
  std::int64_t objects_ = 0;
  std::unordered_set<std::int64_t> visited_;
  std::vector<Frame> stack_;
  ObjectView obj_;
  std::int64_t entryBudget_ = 0;
  std::int64_t textBudget_ = 0;
  bool exhausted_ = false;
};

void LoadIndex(Source& src, bool folderMode, TDbxIndexList* list, TDbxSkipped& skipped) {
  if (!list) return;
  const std::int32_t count = ReadItemCount(src);
  if (count <= 0) return;
  unsigned char b[4];
  IndexWalker walker(src, folderMode, *list, skipped);
  if (src.ReadExact(dbx::kHdrIndexRoot, 4, b)) walker.Walk(dbx::GetI32(b));
  // The main tree's root, for files where the node at 48 is not the root:
  // whatever the first walk did not reach.
  if (src.ReadExact(dbx::kHdrMainTreeRoot, 4, b)) {
    const std::int32_t root = dbx::GetI32(b);
    if (root > 0 && !walker.Visited(root)) walker.Walk(root);
  }
  if (walker.Objects() != count) {
    skipped.StoredCount = count;
    skipped.FoundCount = walker.Objects();
  }
}

// The blocks of a chain read so far: runs of blocks that follow one another
// in the file (the chain of even a very large message is usually one run),
// a set of every position once the runs get many.
class TVisitedBlocks {
 public:
  bool Has(std::int64_t p) const {
    if (!set_.empty()) return set_.count(p) != 0;
    for (const TRun& r : runs_)
      if (p >= r.First && (p - r.First) % kStep == 0 && (p - r.First) / kStep < r.Count)
        return true;
    return false;
  }
  void Add(std::int64_t p) {
    if (!set_.empty()) {
      set_.insert(p);
      return;
    }
    if (!runs_.empty() && p == runs_.back().First + runs_.back().Count * kStep) {
      ++runs_.back().Count;
      return;
    }
    if (runs_.size() < kMaxRuns) {
      runs_.push_back({p, 1});
      return;
    }
    for (const TRun& r : runs_)
      for (std::int64_t k = 0; k < r.Count; ++k) set_.insert(r.First + k * kStep);
    set_.insert(p);
  }

 private:
  static constexpr std::int64_t kStep = dbx::kBlockReadSize;
  static constexpr std::size_t kMaxRuns = 64;
  struct TRun {
    std::int64_t First;
    std::int64_t Count;
  };
  std::vector<TRun> runs_;
  std::unordered_set<std::int64_t> set_;
};

// The text the chain from q on holds at most (blocks that end the chain
// early are not looked for), for reserving room.
std::int64_t ChainTextBound(Source& src, std::int64_t q, std::int64_t blocksLeft,
                            std::int64_t textLeft) {
  std::int64_t total = 0;
  while (blocksLeft-- > 0 && total < textLeft) {
    std::size_t avail = 0;
    const unsigned char* p = src.Get(q, dbx::kBlockHeaderSize, avail);
    if (avail < dbx::kBlockHeaderSize || dbx::GetI32(p + dbx::kBlockOwnPos) != q) break;
    const std::int32_t used = dbx::GetI32(p + dbx::kBlockUsed);
    total += used <= 0 ? 0 : std::min<std::int64_t>(used, dbx::kBlockTextSize);
    const std::int32_t next = dbx::GetI32(p + dbx::kBlockNext);
    if (next == 0 || next == q) break;
    q = next;
  }
  return std::min(total, textLeft);
}

void LoadText(Source& src, std::int32_t position, std::string& stream, TDbxSkipped& skipped) {
  if (position <= 0) return;
  if (ReadItemCount(src) <= 0) {
    ++skipped.MissingTexts;  // a header cut short, or emptied since the index was read
    return;
  }
  const std::int64_t size = src.Size();
  // A sound chain holds each block once and no more text than the file.
  std::int64_t textLeft = size;
  std::int64_t blocksLeft = size / static_cast<std::int64_t>(dbx::kBlockHeaderSize) + 1;
  TVisitedBlocks visited;
  // A text that outgrows its room this far is large: the rest of the chain
  // is measured once and room made for all of it, since growing by
  // doubling would need the old and the new copy of the text at once.
  constexpr std::size_t kMeasureFrom = 8u << 20;
  bool measured = false;
  std::int64_t q = position;
  while (blocksLeft-- > 0) {
    std::size_t avail = 0;
    const unsigned char* p = src.Get(q, dbx::kBlockReadSize, avail);
    if (avail < dbx::kBlockHeaderSize || dbx::GetI32(p + dbx::kBlockOwnPos) != q) {
      if (q != position)
        ++skipped.BrokenChains;
      else
        ++skipped.MissingTexts;
      break;
    }
    visited.Add(q);
    const std::int32_t used = dbx::GetI32(p + dbx::kBlockUsed);
    const std::int32_t next = dbx::GetI32(p + dbx::kBlockNext);
    const std::size_t have = avail - dbx::kBlockHeaderSize;
    const std::size_t limit = used <= 0 ? 0 : std::min<std::size_t>(used, dbx::kBlockTextSize);
    const char* text = reinterpret_cast<const char*>(p + dbx::kBlockText);
    const std::size_t take = std::min(limit, have);
    const void* zero = std::memchr(text, 0, take);
    const std::size_t n = zero ? static_cast<const char*>(zero) - text : take;
    if (static_cast<std::int64_t>(n) > textLeft) break;
    if (!measured && stream.size() + n > stream.capacity() && stream.size() >= kMeasureFrom) {
      measured = true;
      const std::int64_t more = ChainTextBound(src, q, blocksLeft + 1, textLeft);
      stream.reserve(stream.size() + static_cast<std::size_t>(more));
      // The measuring moved the read windows: this block is read again.
      p = src.Get(q, dbx::kBlockReadSize, avail);
      if (avail < dbx::kBlockHeaderSize) break;
      text = reinterpret_cast<const char*>(p + dbx::kBlockText);
    }
    stream.append(text, n);
    textLeft -= static_cast<std::int64_t>(n);
    if (!zero && take < limit) break;  // the block's text passes the end of the file
    if (next == 0) break;
    if (visited.Has(next)) {
      ++skipped.LoopingChains;
      break;
    }
    q = next;
  }
}

const char* DumpLabel(unsigned id) {
  switch (id) {
    case dbx::kMsgNumber:
      return " ==> Message Number";
    case dbx::kMsgFlagsIndirect:
      return " ==> Offset to Message Flags";
    case dbx::kMsgFlags:
      return " ==> Message Status";
    case dbx::kMsgAccountId:
      return " ==> Account-ID";
    case dbx::kMsgAccountName:
      return " ==> Account";
    case dbx::kMsgMessageId:
      return " ==> Message-ID";
    case dbx::kMsgSentDate:
      return " ==> Sent Date";
    case dbx::kMsgReceivedDate:
      return " ==> Received Date";
    case dbx::kMsgSubject:
      return " ==> Subject";
    case dbx::kMsgSender:
      return " ==> From:";
    case dbx::kMsgSenderLine:
      return " ==> From:";
    case dbx::kMsgRecipients:
      return " ==> To:";
    case dbx::kMsgReplyTo:
      return " ==> Reply-To:";
    case dbx::kMsgReferences:
      return " ==> References";
    case dbx::kMsgNewsgroups:
      return " ==> Newsgroup";
    case dbx::kMsgSize:
      return " ==> Message size";
    case dbx::kMsgDataPosIndirect:
      return " ==> Message position";
    case dbx::kMsgDataPos:
      return " ==> Message Position";
    case dbx::kMsgFileName:
      return " ==> Filename";
    case dbx::kMsgSubjectAlt:
      return " ==> Subject";
    default:
      return "";
  }
}

void Dump(Source& src, std::int32_t position, std::string& text) {
  ObjectView obj;
  if (!ReadObject(src, position, obj)) return;
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "Flags = " + std::to_string(obj.fields.size()) + "\n\n";
  for (std::uint32_t v : obj.fields) {
    const unsigned id = v & 0xFF;
    const std::uint32_t val = v >> 8;
    out += kHex[id >> 4];
    out += kHex[id & 15];
    out += ": ";
    for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(val >> shift) & 15];
    out += DumpLabel(id);
    out += '\n';
  }
  std::size_t avail = 0;
  const unsigned char* data = src.Get(obj.dataStart, static_cast<std::size_t>(obj.dataLen), avail);
  out += "\nSize of Header = " + std::to_string(avail) + "\n";
  const std::size_t groups = avail / 16;
  out.reserve(out.size() + groups * (16 * 6 + 3));
  for (std::size_t g = 0; g < groups; ++g) {
    // "4F 6B " ... then " O  k " ...: three characters a byte on each line.
    char hex[16 * 3 + 1], chars[16 * 3 + 2];
    for (std::size_t i = 0; i < 16; ++i) {
      const unsigned char c = data[g * 16 + i];
      hex[i * 3] = kHex[c >> 4];
      hex[i * 3 + 1] = kHex[c & 15];
      hex[i * 3 + 2] = ' ';
      chars[i * 3] = ' ';
      chars[i * 3 + 1] = c == 0 ? ' ' : static_cast<char>(c);
      chars[i * 3 + 2] = ' ';
    }
    hex[48] = '\n';
    chars[48] = '\n';
    chars[49] = '\n';
    out.append(hex, sizeof hex);
    out.append(chars, sizeof chars);
  }
  text += out;
}

}  // namespace

std::string DbxFilePath(const std::string& storeDir, const std::string& fileName) {
  return ResolveNoCase(storeDir, fileName);
}

struct TDbxFile::TImpl {
  TImpl(const std::string& path, bool folders)
      : Path(path), FolderMode(folders), Src(std::make_unique<FileSource>(path)) {}
  std::string Path;
  bool FolderMode;
  std::unique_ptr<FileSource> Src;
  TDbxSkipped Skipped;
};

TDbxFile::TDbxFile(const std::string& storeDir, const std::string& fileName)
    : impl_(
          std::make_unique<TImpl>(DbxFilePath(storeDir, fileName), fileName == kFoldersFileName)) {}

TDbxFile::~TDbxFile() = default;

const std::string& TDbxFile::Path() const {
  return impl_->Path;
}

const TDbxSkipped& TDbxFile::Skipped() const {
  return impl_->Skipped;
}

void TDbxFile::LoadIndex(TDbxIndexList* list) {
  if (!list) return;
  TDbxSkipped skipped;
  qb::LoadIndex(*impl_->Src, impl_->FolderMode, list, skipped);
  impl_->Skipped.Merge(skipped);
}

void TDbxFile::LoadMessageText(std::int32_t position, std::string& stream, std::int32_t sizeHint) {
  if (position <= 0) return;
  if (sizeHint > 0) {
    // The blocks of a chain in order: 528 bytes for every 512 of text.
    const std::size_t blocks =
        (static_cast<std::size_t>(sizeHint) + dbx::kBlockTextSize - 1) / dbx::kBlockTextSize;
    impl_->Src->ReadAhead(blocks * dbx::kBlockReadSize);
    // Room for the whole text at once: growing by doubling would need the
    // old and the new copy of a large message at the same time.
    stream.reserve(stream.size() +
                   static_cast<std::size_t>(std::min<std::int64_t>(sizeHint, impl_->Src->Size())));
  }
  TDbxSkipped skipped;
  LoadText(*impl_->Src, position, stream, skipped);
  impl_->Skipped.Merge(skipped);
}

void TDbxFile::Refresh() {
  if (impl_->Src->SameAs(impl_->Path)) return;
  // A file that cannot be opened keeps the old one (every read then fails
  // here again, as a fresh open would).
  impl_->Src = std::make_unique<FileSource>(impl_->Path);
}

void TDbxFile::DumpObject(std::int32_t position, std::string& text) {
  Dump(*impl_->Src, position, text);
}

void LoadDbxIndex(const std::string& storeDir, const std::string& fileName, TDbxIndexList* list) {
  if (!list) return;
  TDbxFile(storeDir, fileName).LoadIndex(list);
}

void LoadDbxMessageText(const std::string& storeDir, const std::string& fileName,
                        std::int32_t position, std::string& stream) {
  if (position <= 0) return;
  TDbxFile(storeDir, fileName).LoadMessageText(position, stream);
}

void DumpDbxObject(const std::string& storeDir, const std::string& fileName, std::int32_t position,
                   std::string& text) {
  TDbxFile(storeDir, fileName).DumpObject(position, text);
}

void LoadDbxIndexFromImage(std::string_view image, bool folderMode, TDbxIndexList* list,
                           TDbxSkipped* skipped) {
  MemorySource src(image);
  TDbxSkipped local;
  LoadIndex(src, folderMode, list, skipped ? *skipped : local);
}

void LoadDbxMessageTextFromImage(std::string_view image, std::int32_t position, std::string& stream,
                                 TDbxSkipped* skipped) {
  MemorySource src(image);
  TDbxSkipped local;
  LoadText(src, position, stream, skipped ? *skipped : local);
}

bool TDbxSkipped::Any() const {
  return TreeLinksBack || BadNodeLinks || IndexCut || StoredCount != FoundCount || LoopingChains ||
         BrokenChains || MissingTexts;
}

void TDbxSkipped::Merge(const TDbxSkipped& later) {
  if (later.TreeLinksBack || later.BadNodeLinks || later.IndexCut ||
      later.StoredCount != later.FoundCount) {
    TreeLinksBack = later.TreeLinksBack;
    BadNodeLinks = later.BadNodeLinks;
    IndexCut = later.IndexCut;
    StoredCount = later.StoredCount;
    FoundCount = later.FoundCount;
  }
  LoopingChains += later.LoopingChains;
  BrokenChains += later.BrokenChains;
  MissingTexts += later.MissingTexts;
}

std::string TDbxSkipped::Text() const {
  std::string out;
  auto add = [&](const std::string& part) { out += (out.empty() ? "" : "; ") + part; };
  auto count = [](int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  if (TreeLinksBack)
    add(count(TreeLinksBack, "tree link pointing back", "tree links pointing back"));
  if (BadNodeLinks) add(count(BadNodeLinks, "link to no tree node", "links to no tree node"));
  if (IndexCut) add("index entries past what the file holds");
  if (StoredCount != FoundCount)
    add("item count " + std::to_string(StoredCount) + " in the header, " +
        std::to_string(FoundCount) + " in the tree");
  if (LoopingChains)
    add(count(LoopingChains, "message text whose block chain loops",
              "message texts whose block chains loop"));
  if (BrokenChains)
    add(count(BrokenChains, "message text whose block chain breaks off",
              "message texts whose block chains break off"));
  if (MissingTexts)
    add(count(MissingTexts, "message text missing where its record points",
              "message texts missing where their records point"));
  return out;
}

void DumpDbxObjectFromImage(std::string_view image, std::int32_t position, std::string& text) {
  MemorySource src(image);
  Dump(src, position, text);
}

Toe5_FileHeader LastDbxFileHeader() {
  Toe5_FileHeader h;
  h.Count = g_lastCount.load(std::memory_order_relaxed);
  return h;
}

std::vector<Toe5_FolderInfo> FolderRecords(const TDbxIndexList& list) {
  std::vector<Toe5_FolderInfo> out;
  for (const TDbxRecord& r : list)
    if (const auto* f = std::get_if<Toe5_FolderInfo>(&r)) out.push_back(*f);
  return out;
}

std::vector<Toe5_MessageInfo> MessageRecords(const TDbxIndexList& list) {
  std::vector<Toe5_MessageInfo> out;
  for (const TDbxRecord& r : list)
    if (const auto* m = std::get_if<Toe5_MessageInfo>(&r)) out.push_back(*m);
  return out;
}

}  // namespace qb
