#include "platform/safefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "platform/paths.h"

namespace qb {

namespace {

bool ProcFdUsable() {
  static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
  return usable;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Reads exactly size bytes at offset, short only at the end of the file.
ssize_t PreadFull(int fd, char* buf, std::size_t size, off_t offset) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, buf + got, size - got, offset + static_cast<off_t>(got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

// True when the two open files hold the same bytes.
bool SameBytes(int a, int b) {
  struct stat sa {
  }, sb{};
  if (::fstat(a, &sa) != 0 || ::fstat(b, &sb) != 0) return false;
  if (sa.st_size != sb.st_size) return false;
  static constexpr std::size_t kChunk = 1 << 16;
  std::string ba(kChunk, '\0'), bb(kChunk, '\0');
  for (off_t off = 0; off < sa.st_size;) {
    const ssize_t na = PreadFull(a, ba.data(), kChunk, off);
    const ssize_t nb = PreadFull(b, bb.data(), kChunk, off);
    if (na <= 0 || na != nb) return false;
    if (std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(na)) != 0) return false;
    off += na;
  }
  return true;
}

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.size() <= kMaxNameBytes &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

std::string RandomTempName() {
  thread_local std::mt19937_64 gen{std::random_device{}()};
  char buf[40];
  std::snprintf(buf, sizeof buf, ".qb-%016llx.part", static_cast<unsigned long long>(gen()));
  return buf;
}

}  // namespace

std::string CutUtf8(const std::string& text, std::size_t max) {
  if (text.size() <= max) return text;
  std::size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

std::string NumberedName(const std::string& base, const std::string& ext, int n) {
  if (n <= 1) return base + ext;
  return base + " (" + std::to_string(n) + ")" + ext;
}

// --- TSafeDir ----------------------------------------------------------------

TSafeDir::~TSafeDir() {
  Close();
}

TSafeDir::TSafeDir(TSafeDir&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

TSafeDir& TSafeDir::operator=(TSafeDir&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

void TSafeDir::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TSafeDir::Open(const std::string& base, const std::string& relative, bool create) {
  Close();
  const std::string root = base.empty() ? std::string(".") : base;
  if (create && !DirectoryExists(root)) ForceDirectories(root);
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  path_ = root;
  std::size_t pos = 0;
  while (pos <= relative.size()) {
    std::size_t end = relative.find('/', pos);
    if (end == std::string::npos) end = relative.size();
    const std::string level = relative.substr(pos, end - pos);
    pos = end + 1;
    if (level.empty() || level == ".") continue;
    if (level == ".." || level.size() > kMaxNameBytes || level.find('\0') != std::string::npos) {
      ::close(fd);
      return false;
    }
    if (create && ::mkdirat(fd, level.c_str(), 0777) != 0 && errno != EEXIST) {
      ::close(fd);
      return false;
    }
    const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(fd);
    if (next < 0) return false;
    fd = next;
    path_ = IncludeTrailingSlash(path_) + level;
  }
  fd_ = fd;
  return true;
}

bool TSafeDir::CouldOpen(const std::string& base, const std::string& relative) {
  std::vector<std::string> levels;
  for (std::size_t pos = 0; pos <= relative.size();) {
    std::size_t end = relative.find('/', pos);
    if (end == std::string::npos) end = relative.size();
    std::string level = relative.substr(pos, end - pos);
    pos = end + 1;
    if (level.empty() || level == ".") continue;
    if (level == ".." || level.size() > kMaxNameBytes || level.find('\0') != std::string::npos)
      return false;
    levels.push_back(std::move(level));
  }
  // The base, or the nearest of its parents that is there.
  std::string root = base.empty() ? std::string(".") : base;
  bool missing = false;
  while (!DirectoryExists(root)) {
    struct stat st {};
    if (::lstat(root.c_str(), &st) == 0) return false;  // something else in the way
    missing = true;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    const std::size_t slash = root.rfind('/');
    root = slash == std::string::npos ? "." : slash == 0 ? "/" : root.substr(0, slash);
  }
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t i = 0;
  for (; !missing && i < levels.size(); ++i) {
    const int next =
        ::openat(fd, levels[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      const bool absent = errno == ENOENT;
      if (!absent) {
        ::close(fd);
        return false;
      }
      break;
    }
    ::close(fd);
    fd = next;
  }
  // Something to make, or files to write: the directory must take them.
  const bool ok = ::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) == 0;
  ::close(fd);
  return ok;
}

std::string TSafeDir::EntryPath(const std::string& name) const {
  if (fd_ >= 0 && ProcFdUsable()) return "/proc/self/fd/" + std::to_string(fd_) + "/" + name;
  return IncludeTrailingSlash(path_) + name;
}

// --- TPendingFile ------------------------------------------------------------

bool TPendingFile::UnnamedAllowed = true;

TPendingFile::TPendingFile(const TSafeDir& dir) : dir_(dir) {
  if (!dir.IsOpen()) return;
  // A file without a name, given one only by Place: a run that is killed
  // leaves nothing behind. It is placed by linking its /proc/self/fd entry,
  // so it is used only where that works; other file systems get a hidden
  // named temporary.
  if (UnnamedAllowed && ProcFdUsable()) {
    fd_ = ::openat(dir.Fd(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd_ >= 0) return;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = RandomTempName();
    fd_ =
        ::openat(dir.Fd(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      tempName_ = name;
      return;
    }
    if (errno != EEXIST) return;
  }
}

TPendingFile::~TPendingFile() {
  Discard();
}

std::string TPendingFile::Path() const {
  if (tempName_.empty()) return "/proc/self/fd/" + std::to_string(fd_);
  return dir_.EntryPath(tempName_);
}

void TPendingFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!tempName_.empty() && dir_.IsOpen()) ::unlinkat(dir_.Fd(), tempName_.c_str(), 0);
  tempName_.clear();
}

bool TPendingFile::Write(const char* data, std::size_t size) {
  if (fd_ < 0) return false;
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool TPendingFile::InPlace() const {
  if (fd_ < 0 || !dir_.IsOpen()) return false;
  if (tempName_.empty()) return true;  // nothing can reach it by a name
  struct stat mine {
  }, named{};
  return ::fstat(fd_, &mine) == 0 &&
         ::fstatat(dir_.Fd(), tempName_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(named.st_mode) && SameFile(mine, named);
}

TPlaced TPendingFile::Place(const std::function<std::string(int n)>& candidate, int maxTries) {
  TPlaced placed;
  // Whatever wrote the temporary by its path must have written our file.
  if (!InPlace()) return placed;
  const int dirFd = dir_.Fd();

  int races = 0;
  for (int n = 1; n <= maxTries; ++n) {
    const std::string name = candidate(n);
    if (!IsPlainName(name)) return placed;
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return placed;
      // The name is free: take it, never replacing what appears meanwhile.
      int rc;
      if (tempName_.empty()) {
        rc = ::linkat(AT_FDCWD, Path().c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW);
      } else {
        rc = ::renameat2(dirFd, tempName_.c_str(), dirFd, name.c_str(), RENAME_NOREPLACE);
      }
      if (rc != 0 && !tempName_.empty() &&
          (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)) {
        // No exchange-free rename on this file system: a hard link cannot
        // replace either.
        rc = ::linkat(dirFd, tempName_.c_str(), dirFd, name.c_str(), 0);
        if (rc == 0) {
          ::unlinkat(dirFd, tempName_.c_str(), 0);
        } else if (errno != EEXIST) {
          // Neither (a file system without links): the check above is all
          // there is.
          rc = ::renameat(dirFd, tempName_.c_str(), dirFd, name.c_str());
        }
      }
      if (rc == 0) {
        ::close(fd_);
        fd_ = -1;
        tempName_.clear();
        placed.Result = TPlaceResult::Written;
        placed.Name = name;
        return placed;
      }
      if (errno == EEXIST && ++races < 100) {
        --n;  // someone took the name this instant: look at it again
        continue;
      }
      return placed;
    }
    // A link, a directory or any other non-file is taken, and left as it is.
    if (!S_ISREG(st.st_mode)) continue;
    const int other = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (other < 0) continue;
    const bool same = SameBytes(fd_, other);
    ::close(other);
    if (same) {
      Discard();
      placed.Result = TPlaceResult::SameBytes;
      placed.Name = name;
      return placed;
    }
  }
  return placed;
}

}  // namespace qb
