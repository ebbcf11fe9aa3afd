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
  std::size_t CountRemaining();

 private:
  bool ReadMessage(TMboxMessage* message);
  bool ReadLine();

  std::uint64_t maxBytes_;
  std::FILE* file_ = nullptr;
  char* line_ = nullptr;
  std::size_t lineCap_ = 0;
  std::size_t lineLen_ = 0;
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
