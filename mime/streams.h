// Byte streams for the MIME component: an abstract stream, a stream in
// memory and a file stream with its own write buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/errors.h"

namespace qb {

// Raised by a stream for an operation it does not support or a failed
// read or write.
class EStreamError : public EQuillboxError {
 public:
  explicit EStreamError(const std::string& what, TErrorKind kind = TErrorKind::InOut)
      : EQuillboxError(kind, what) {}
};

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;
  // Returns the number of bytes read or written.
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::size_t Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
};

// A growable byte buffer with a position.
class TMemoryStream : public TStream {
 public:
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  using TStream::Write;

  void Clear();
  std::size_t Size() const { return data_.size(); }
  std::int64_t Position() const { return pos_; }
  // The bytes held, all of them (regardless of the position).
  const std::string& Bytes() const { return data_; }
  // Replaces the content; the position goes to 0.
  void Assign(std::string bytes);
  // Loads a whole file; throws EStreamError when it cannot be read.
  void LoadFromFile(const std::string& path);
  // Writes all bytes to path, creating or replacing the file; throws
  // EStreamError on failure.
  void SaveToFile(const std::string& path) const;

 private:
  std::string data_;
  std::int64_t pos_ = 0;
};

// A file opened for reading or writing. Create makes or truncates the file;
// OpenWrite writes an existing file from its start without truncating it
// (meant for a file just created empty). Writes are buffered; Flush or
// destruction hands them to the file system.
class TFileStream : public TStream {
 public:
  enum class TMode { Create, OpenRead, OpenWrite };
  // Throws EStreamError when the file cannot be opened.
  TFileStream(const std::string& path, TMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  using TStream::Write;

  // Throws EStreamError when the buffered bytes cannot be written.
  void Flush();
  // Flushes and closes; throws like Flush. Later operations fail.
  void Close();

 private:
  int fd_ = -1;
  std::string path_;
  std::string wbuf_;
};

}  // namespace qb
