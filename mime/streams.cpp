#include "mime/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qb {

namespace {
// File writes are collected up to this size before they reach the system.
constexpr std::size_t kWriteBufferSize = 64 * 1024;

std::string ErrnoText(const std::string& what, const std::string& path) {
  return what + " \"" + path + "\": " + std::strerror(errno);
}
}  // namespace

// --- TMemoryStream ---------------------------------------------------------

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  if (pos_ >= static_cast<std::int64_t>(data_.size())) return 0;
  std::size_t n = std::min(count, data_.size() - static_cast<std::size_t>(pos_));
  std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += static_cast<std::int64_t>(n);
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) return 0;
  std::size_t at = static_cast<std::size_t>(pos_);
  if (at == data_.size()) {
    data_.append(static_cast<const char*>(buffer), count);
  } else {
    if (at + count > data_.size()) data_.resize(at + count);
    std::memcpy(data_.data() + at, buffer, count);
  }
  pos_ += static_cast<std::int64_t>(count);
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == TSeekOrigin::Beginning ? 0
                      : origin == TSeekOrigin::Current ? pos_
                                                       : static_cast<std::int64_t>(data_.size());
  std::int64_t to = base + offset;
  if (to < 0) to = 0;
  // Seeking past the end keeps the position at the end: nothing is
  // allocated for a hole.
  if (to > static_cast<std::int64_t>(data_.size())) to = static_cast<std::int64_t>(data_.size());
  pos_ = to;
  return pos_;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  pos_ = 0;
}

void TMemoryStream::Assign(std::string bytes) {
  data_ = std::move(bytes);
  pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& path) {
  TFileStream in(path, TFileStream::TMode::OpenRead);
  // Read straight into a buffer of the file's size: one allocation, one copy.
  std::int64_t size = in.Seek(0, TSeekOrigin::End);
  in.Seek(0, TSeekOrigin::Beginning);
  std::string all;
  all.resize(static_cast<std::size_t>(size));
  std::size_t got = in.Read(all.data(), all.size());
  all.resize(got);
  // The file may have grown meanwhile; take the rest too.
  char buf[64 * 1024];
  for (;;) {
    std::size_t n = in.Read(buf, sizeof buf);
    if (n == 0) break;
    all.append(buf, n);
  }
  Assign(std::move(all));
}

void TMemoryStream::SaveToFile(const std::string& path) const {
  TFileStream out(path, TFileStream::TMode::Create);
  out.Write(data_.data(), data_.size());
  out.Close();
}

// --- TFileStream -----------------------------------------------------------

TFileStream::TFileStream(const std::string& path, TMode mode) : path_(path) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case TMode::Create:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case TMode::OpenRead:
      flags |= O_RDONLY;
      break;
    case TMode::OpenWrite:
      // No O_TRUNC: ext4 flushes a file truncated this way when it is
      // closed, which would make every temporary file wait for the disk.
      flags |= O_WRONLY;
      break;
  }
  fd_ = ::open(path.c_str(), flags, 0644);
  if (fd_ < 0) throw EStreamError(ErrnoText("Cannot open file", path));
}

TFileStream::~TFileStream() {
  try {
    Close();
  } catch (const std::exception&) {
    // A destructor cannot report; Close is the place to see write errors.
  }
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
  if (fd_ < 0) throw EStreamError("Stream read error");
  Flush();
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EStreamError(ErrnoText("Cannot read file", path_));
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
  if (fd_ < 0) throw EStreamError("Stream write error");
  if (count >= kWriteBufferSize) {
    // Large blocks go to the file directly, after what is buffered.
    Flush();
    std::size_t done = 0;
    while (done < count) {
      ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, count - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw EStreamError(ErrnoText("Cannot write file", path_));
      }
      done += static_cast<std::size_t>(n);
    }
    return count;
  }
  wbuf_.append(static_cast<const char*>(buffer), count);
  if (wbuf_.size() >= kWriteBufferSize) Flush();
  return count;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (fd_ < 0) throw EStreamError("Stream seek error");
  Flush();
  int whence = origin == TSeekOrigin::Beginning ? SEEK_SET
               : origin == TSeekOrigin::Current ? SEEK_CUR
                                                : SEEK_END;
  off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (r < 0) throw EStreamError(ErrnoText("Cannot seek in file", path_));
  return static_cast<std::int64_t>(r);
}

void TFileStream::Flush() {
  std::size_t done = 0;
  while (done < wbuf_.size()) {
    ssize_t n = ::write(fd_, wbuf_.data() + done, wbuf_.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      wbuf_.clear();
      throw EStreamError(ErrnoText("Cannot write file", path_));
    }
    done += static_cast<std::size_t>(n);
  }
  wbuf_.clear();
}

void TFileStream::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  try {
    Flush();
  } catch (const std::exception&) {
    ::close(fd);
    fd_ = -1;
    throw;
  }
  fd_ = -1;
  if (::close(fd) != 0) throw EStreamError(ErrnoText("Cannot write file", path_));
}

}  // namespace qb
