// Reading a Unix mailbox (the format of Netscape, Mozilla and Thunderbird
// folders) as a stream, one message at a time: a mailbox of any size is
// never held in memory, only the message being handed out.
//
// The rules, in one place:
//  - a message starts at a line beginning with "From " that is the first
//    line of the file (after a UTF-8 byte order mark, if any) or follows an
//    empty line, or at an envelope line anywhere ("From " + sender + a time
//    of day with seconds, or Netscape's "From - ": Netscape and Mozilla wrote these with
//    no empty line before them); that separator line is not part of the
//    message, nor is the one empty line before the next separator (or at
//    the end of the file);
//  - any other "From " line that does not follow an empty line is text;
//  - text before the first separator, when not blank, is a message of its
//    own (a lone message saved without a separator);
//  - ">From ", ">>From ", ... lines lose one ">";
//  - line ends are kept as they are (LF or CR LF);
//  - a message whose "X-Mozilla-Status" header has the 0x0008 bit set was
//    deleted in Thunderbird and awaits compaction: it is passed over;
//  - a message longer than the size limit is handed out as Oversized with
//    no text (the reader walks past it without keeping it).
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/limits.h"

namespace qb {

// The mailbox file cannot be opened, or a read failed.
class EMboxError : public EQuillboxError {
 public:
  explicit EMboxError(const std::string& what) : EQuillboxError(TErrorKind::InOut, what) {}
};

struct TMboxMessage {
  std::uint64_t Offset = 0;  // where its separator (or first line) starts
  std::string Text;          // the message as RFC 822 text
  bool Oversized = false;    // longer than the limit: Text is empty
};

class TMboxReader {
 public:
  static constexpr std::uint64_t kDefaultMaxMessageBytes = kMaxMailboxMessageBytes;
  // The file is read in blocks of this size; a longer line is handed on in
  // pieces of at most one block.
  static constexpr std::size_t kBlockBytes = 1 << 20;
  // A message that grows past this size is first walked to its end and then
  // read again into a text of its exact size, so that its text never holds
  // an old and a doubled copy at once.
  static constexpr std::size_t kExactReadBytes = 4 * kBlockBytes;

  explicit TMboxReader(std::uint64_t maxMessageBytes = kDefaultMaxMessageBytes);
  ~TMboxReader();
  TMboxReader(const TMboxReader&) = delete;
  TMboxReader& operator=(const TMboxReader&) = delete;

  // Opens the mailbox for reading from its start. Throws EMboxError.
  void Open(const std::string& path);
  // Reads an open stream instead (closed by the reader).
  void Open(std::FILE* stream);
  void Close();
  // Back to the first message.
  void Rewind();

  // The next message that is not deleted; false at the end of the file.
  // Throws EMboxError when a read fails.
  bool Next(TMboxMessage& message);
  // Counts the messages from here to the end without keeping their text.
  // A large mailbox opened by its path is counted from its start in two
  // halves at once, split at a separator near its middle.
  std::size_t CountRemaining();
  static constexpr std::uint64_t kSplitCountBytes = 16u << 20;

 private:
  bool ReadMessage(TMboxMessage* message);
  bool ReadLine();
  void SkipBodyLines();

  std::uint64_t maxBytes_;
  std::FILE* file_ = nullptr;
  std::string path_;  // "" when a stream was handed over
  // Reading stops at limit_ as at the end of the file.
  std::uint64_t limit_ = UINT64_MAX;
  std::uint64_t readOffset_ = 0;  // of the next byte read from the file
  std::size_t CountFrom(std::uint64_t offset, const std::string& path);
  std::uint64_t SplitPoint(std::uint64_t size);
  bool Seekable();
  void SeekTo(std::uint64_t offset);

  // The file is read in blocks; a line (or a piece of a long one) is a view
  // into the block.
  std::vector<char> buf_;
  std::size_t bufPos_ = 0, bufLen_ = 0;
  bool eof_ = false;
  const char* line_ = nullptr;
  std::size_t lineLen_ = 0;
  bool lineOpen_ = false;        // the piece read last does not end its line
  bool continuation_ = false;    // the piece read last does not start a line
  bool skipRest_ = false;        // the line being read is a separator: not text
  std::uint64_t lineStart_ = 0;  // offset of the line read last
  std::uint64_t position_ = 0;   // offset after it
  bool atFileStart_ = true;
  bool prevEmpty_ = true;
  bool pendingSeparator_ = false;  // the separator of the next message was read
  std::uint64_t pendingOffset_ = 0;
};

// The key that names a message in the history: a digest of its text with
// the headers Thunderbird rewrites in place (X-Mozilla-Status,
// X-Mozilla-Status2, X-Mozilla-Keys) left out, so it stays the same when
// the status changes or the folder is compacted, and differs between
// different messages. Identical copies of one message share it.
std::string MboxMessageKey(std::string_view text);

}  // namespace qb
