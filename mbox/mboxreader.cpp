#include "mbox/mboxreader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#include "engine/oCalcMD5.h"
#include "platform/paths.h"

namespace qb {

namespace {

bool IsEmptyLine(std::string_view line) {
  return line == "\n" || line == "\r\n";
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// True when line is the header name followed by ':' (ASCII case ignored).
bool IsHeader(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != name[i]) return false;
  }
  return true;
}

// The "X-Mozilla-Status" flags of a header line, 0 when unreadable.
unsigned long MozillaStatus(std::string_view line) {
  std::string value(line.substr(line.find(':') + 1));
  return std::strtoul(value.c_str(), nullptr, 16);
}

constexpr unsigned long kExpunged = 0x0008;

// ">From " with any number of '>' before "From ".
bool IsQuotedFrom(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && line[i] == '>') ++i;
  return i > 0 && StartsWith(line.substr(i), "From ");
}

// "From " + sender + date, as mail programs write their separators:
// "From - Mon Jun  3 12:50:27 1996", "From ann@example.com Sat Jan  3 01:05:34
// 1996", or Netscape's bare "From - ". Text such as "From here on, ..." or
// "From 10:30 to 11:00" has no time of day with seconds after the sender.
bool IsEnvelopeLine(std::string_view line) {
  if (!StartsWith(line, "From ")) return false;
  std::string_view rest = line.substr(5);
  while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.remove_suffix(1);
  const std::size_t space = rest.find(' ');
  if (rest.empty() || space == 0) return false;
  if (space == std::string_view::npos) return rest == "-";
  std::string_view date = rest.substr(space + 1);
  if (date.find_first_not_of(' ') == std::string_view::npos) return true;  // "From - "
  for (std::size_t i = 0; i + 7 < date.size(); ++i) {
    auto digit = [&](std::size_t k) { return date[k] >= '0' && date[k] <= '9'; };
    if (digit(i) && digit(i + 1) && date[i + 2] == ':' && digit(i + 3) && digit(i + 4) &&
        date[i + 5] == ':' && digit(i + 6) && digit(i + 7))
      return true;
  }
  return false;
}

}  // namespace

TMboxReader::TMboxReader(std::uint64_t maxMessageBytes) : maxBytes_(maxMessageBytes) {}

TMboxReader::~TMboxReader() {
  Close();
}

void TMboxReader::Open(const std::string& path) {
  Close();
  // Only a regular file, opened without blocking: a FIFO or a link to a
  // device would hold the run up or never end.
  const int fd = OpenRegularFile(path);
  if (fd < 0)
    throw EMboxError("cannot open " + path + ": " +
                     (errno == EINVAL ? std::string("not a regular file") : std::strerror(errno)));
  file_ = ::fdopen(fd, "rb");
  if (!file_) {
    const int saved = errno;
    ::close(fd);
    throw EMboxError("cannot open " + path + ": " + std::strerror(saved));
  }
  path_ = path;
  Rewind();
}

void TMboxReader::Open(std::FILE* stream) {
  Close();
  file_ = stream;
  path_.clear();
  Rewind();
}

void TMboxReader::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void TMboxReader::Rewind() {
  if (file_) std::rewind(file_);
  readOffset_ = 0;
  bufPos_ = bufLen_ = 0;
  eof_ = false;
  lineOpen_ = continuation_ = skipRest_ = false;
  lineStart_ = position_ = 0;
  atFileStart_ = true;
  prevEmpty_ = true;
  pendingSeparator_ = false;
}

bool TMboxReader::ReadLine() {
  if (!file_) return false;
  continuation_ = lineOpen_;
  for (;;) {
    const char* start = buf_.data() + bufPos_;
    const std::size_t avail = bufLen_ - bufPos_;
    const void* nl = avail > 0 ? std::memchr(start, '\n', avail) : nullptr;
    if (nl) {
      lineLen_ = static_cast<std::size_t>(static_cast<const char*>(nl) - start) + 1;
      lineOpen_ = false;
      break;
    }
    if (eof_) {
      if (avail == 0) return false;
      lineLen_ = avail;  // the last line has no line end
      lineOpen_ = false;
      break;
    }
    if (avail >= kBlockBytes) {
      // A whole block without a line end: hand it on as one piece.
      lineLen_ = avail;
      lineOpen_ = true;
      break;
    }
    // The line goes on past the block: keep its start and read on.
    if (buf_.size() != kBlockBytes) buf_.resize(kBlockBytes);
    if (bufPos_ > 0) {
      std::memmove(buf_.data(), start, avail);
      bufPos_ = 0;
      bufLen_ = avail;
    }
    std::size_t want = buf_.size() - bufLen_;
    if (limit_ - readOffset_ < want) want = static_cast<std::size_t>(limit_ - readOffset_);
    const std::size_t n = want > 0 ? std::fread(buf_.data() + bufLen_, 1, want, file_) : 0;
    if (n == 0) {
      if (std::ferror(file_)) throw EMboxError(std::string("read error: ") + std::strerror(errno));
      eof_ = true;
    }
    bufLen_ += n;
    readOffset_ += n;
  }
  line_ = buf_.data() + bufPos_;
  bufPos_ += lineLen_;
  lineStart_ = position_;
  position_ += lineLen_;
  return true;
}

// Counting, only a line that begins with "From " can end a body; the lines
// before it matter only for whether the last of them is empty. So whole
// lines of the block are passed over at once, up to the next line that
// begins with "From " or the last line end in the block.
void TMboxReader::SkipBodyLines() {
  const char* start = buf_.data() + bufPos_;
  const std::size_t avail = bufLen_ - bufPos_;
  if (avail < 5 || std::memcmp(start, "From ", 5) == 0) return;
  const void* found = ::memmem(start, avail, "\nFrom ", 6);
  const char* last = static_cast<const char*>(found ? found : ::memrchr(start, '\n', avail));
  if (!last) return;
  // The last line passed over ends at *last.
  prevEmpty_ = last == start || last[-1] == '\n' ||
               (last[-1] == '\r' && (last - 1 == start || last[-2] == '\n'));
  const auto skipped = static_cast<std::size_t>(last - start) + 1;
  bufPos_ += skipped;
  position_ += skipped;
}

bool TMboxReader::Seekable() {
  return ::fseeko(file_, 0, SEEK_CUR) == 0;
}

void TMboxReader::SeekTo(std::uint64_t offset) {
  if (::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0)
    throw EMboxError(std::string("seek error: ") + std::strerror(errno));
  bufPos_ = bufLen_ = 0;
  eof_ = false;
  position_ = readOffset_ = offset;
}

bool TMboxReader::ReadMessage(TMboxMessage* message) {
  for (;;) {
    bool started = pendingSeparator_;
    std::uint64_t offset = pendingOffset_;
    pendingSeparator_ = false;
    bool inHeaders = true;
    bool deleted = false;
    bool oversized = false;
    std::uint64_t size = 0;
    std::size_t trailingEmpty = 0;  // length of the last line when it was empty
    if (message) message->Text.clear();

    // A large message is walked to its end once without keeping its text
    // (counting), then read again from where the walk began.
    bool counting = false, exact = false;
    struct TResume {
      std::uint64_t Position;
      bool LineOpen, SkipRest, PrevEmpty, InHeaders;
      std::uint64_t Size;
      std::size_t TrailingEmpty;
    } resume{};

    for (;;) {
      for (;;) {
        if (!message && started && !inHeaders && !lineOpen_) SkipBodyLines();
        if (!ReadLine()) break;
        std::string_view line(line_, lineLen_);
        if (continuation_) {
          // The rest of a long line: only its first piece tells what it is.
          if (skipRest_) continue;
        } else {
          skipRest_ = false;
          if (atFileStart_) {
            atFileStart_ = false;
            if (StartsWith(line, "\xEF\xBB\xBF")) line.remove_prefix(3);
          }
          const bool empty = IsEmptyLine(line);
          const bool separator = (prevEmpty_ && StartsWith(line, "From ")) || IsEnvelopeLine(line);
          prevEmpty_ = empty;
          if (separator) {
            skipRest_ = lineOpen_;
            if (started) {
              pendingSeparator_ = true;
              pendingOffset_ = lineStart_;
              break;
            }
            started = true;
            offset = lineStart_;
            continue;
          }
          if (!started) {
            if (empty) continue;  // blank lines before the first message
            started = true;
            offset = lineStart_;
          }
          if (inHeaders) {
            if (empty)
              inHeaders = false;
            else if (IsHeader(line, "x-mozilla-status") && (MozillaStatus(line) & kExpunged))
              deleted = true;
          }
          if (IsQuotedFrom(line)) line.remove_prefix(1);
        }
        size += line.size();
        trailingEmpty = !continuation_ && IsEmptyLine(line) ? line.size() : 0;
        if (message && !oversized && !deleted) {
          if (size > maxBytes_) {
            oversized = true;
            std::string().swap(message->Text);
          } else if (!counting) {
            message->Text.append(line);
            if (!exact && message->Text.size() >= kExactReadBytes && Seekable()) {
              counting = true;
              resume = {position_, lineOpen_, skipRest_,    prevEmpty_,
                        inHeaders, size,      trailingEmpty};
            }
          }
        }
      }
      if (!counting) break;
      counting = false;
      if (oversized || deleted) break;
      // The walk found the end: read the rest again into a text of its size.
      message->Text.reserve(size);
      exact = true;
      SeekTo(resume.Position);
      lineOpen_ = resume.LineOpen;
      skipRest_ = resume.SkipRest;
      prevEmpty_ = resume.PrevEmpty;
      inHeaders = resume.InHeaders;
      size = resume.Size;
      trailingEmpty = resume.TrailingEmpty;
      pendingSeparator_ = false;
    }
    if (!started) return false;
    if (deleted) continue;
    if (message) {
      if (!oversized && trailingEmpty) message->Text.resize(message->Text.size() - trailingEmpty);
      message->Offset = offset;
      message->Oversized = oversized;
    }
    return true;
  }
}

bool TMboxReader::Next(TMboxMessage& message) {
  return ReadMessage(&message);
}

std::size_t TMboxReader::CountRemaining() {
  struct stat st {};
  const bool atStart = position_ == 0 && bufLen_ == 0 && atFileStart_ && !pendingSeparator_;
  if (!path_.empty() && atStart && ::fstat(::fileno(file_), &st) == 0 &&
      static_cast<std::uint64_t>(st.st_size) >= kSplitCountBytes) {
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t split = SplitPoint(size);
    if (split > 0) {
      // The second half on a thread of its own, with a reader of its own.
      std::size_t second = 0;
      std::exception_ptr error;
      std::thread half;
      try {
        half = std::thread([&] {
          try {
            second = TMboxReader(maxBytes_).CountFrom(split, path_);
          } catch (const std::exception&) {
            error = std::current_exception();  // raised again by this thread
          }
        });
      } catch (const std::system_error&) {
        // No thread to be had: counted in one go below.
      }
      if (half.joinable()) {
        // The first half here, up to the split; whatever it raises, the other
        // thread is joined and the reader reads to the end of the file again.
        struct TJoin {
          std::thread& Half;
          std::uint64_t& Limit;
          ~TJoin() {
            Half.join();
            Limit = UINT64_MAX;
          }
        };
        std::size_t first = 0;
        {
          TJoin join{half, limit_};
          limit_ = split;
          while (ReadMessage(nullptr)) ++first;
        }
        if (error) std::rethrow_exception(error);
        // At the end, as after counting in one go.
        SeekTo(size);
        eof_ = true;
        pendingSeparator_ = false;
        return first + second;
      }
    }
  }
  std::size_t n = 0;
  while (ReadMessage(nullptr)) ++n;
  return n;
}

// Where a separator follows an empty line, near the middle: the text on
// either side of it is read in the same way whatever comes before it (an
// empty line is never the piece of a longer line). 0 when none is found.
std::uint64_t TMboxReader::SplitPoint(std::uint64_t size) {
  std::vector<char> window(kBlockBytes);
  const std::uint64_t from = size / 2;
  const ssize_t got =
      ::pread(::fileno(file_), window.data(), window.size(), static_cast<off_t>(from));
  if (got <= 0) return 0;
  const std::string_view text(window.data(), static_cast<std::size_t>(got));
  for (std::size_t at = text.find("\nFrom "); at != std::string_view::npos;
       at = text.find("\nFrom ", at + 1)) {
    const bool emptyBefore =
        (at >= 1 && text[at - 1] == '\n') || (at >= 2 && text.substr(at - 2, 2) == "\n\r");
    if (emptyBefore) return from + at + 1;
  }
  return 0;
}

std::size_t TMboxReader::CountFrom(std::uint64_t offset, const std::string& path) {
  Open(path);
  SeekTo(offset);
  atFileStart_ = false;
  prevEmpty_ = true;
  std::size_t n = 0;
  while (ReadMessage(nullptr)) ++n;
  return n;
}

std::string MboxMessageKey(std::string_view text) {
  TMD5Context md5;
  bool skipping = false;  // inside a left-out header and its continuation lines
  std::size_t pos = 0;
  // The header lines one by one; the body, which is digested as it is, in
  // one piece.
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    const std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
    const std::string_view line = text.substr(pos, end - pos);
    pos = end;
    if (IsEmptyLine(line)) {
      md5.Update(line);
      break;
    }
    if (!skipping || (line[0] != ' ' && line[0] != '\t'))
      skipping = IsHeader(line, "x-mozilla-status") || IsHeader(line, "x-mozilla-status2") ||
                 IsHeader(line, "x-mozilla-keys");
    if (!skipping) md5.Update(line);
  }
  md5.Update(text.substr(pos));
  return "mbox " + MD5DigestToText(md5.Final());
}

}  // namespace qb
