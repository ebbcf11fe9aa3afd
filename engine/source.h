// What an extraction run reads its messages from: a mail store, a set of
// mailbox files or a mail program. A source names its folders' files and
// history, opens one folder at a time as a cursor over its messages, and
// reads one message at a time as its history key and either its raw RFC 822
// text (parsed by the run) or a description it makes itself. Everything
// else of a run (the passes, the lines, the filters, the history, the
// writing) is the worker's (engine/worker.h), the same for every source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/job.h"
#include "engine/naming.h"
#include "platform/datetime.h"
#include "platform/errors.h"
#include "platform/i18n.h"

namespace qb {

class IAddressHarvest;

// Raised by IMessageSource::OpenFolder when a folder cannot be read;
// records read before the failure are reported in the folder's row.
class TFolderReadError : public EQuillboxError {
 public:
  TFolderReadError(const std::string& what, std::size_t recordsRead)
      : EQuillboxError(TErrorKind::InputDamaged, what), RecordsRead(recordsRead) {}
  std::size_t RecordsRead;
};

// One message as the shared steps use it.
struct TMessageContent {
  TDateTime Date = 0;
  std::string Subject;
  std::string Sender;
  std::string MessageID;  // "" when the source does not know it
  // Every attachment in collection order; their number, before any filter,
  // decides whether the message has files.
  std::vector<TAttachmentToWrite> Attachments;
  // The bodies whose links are downloaded, in download order; asked only
  // when links are downloaded.
  std::function<std::vector<std::string>()> LinkBodies;
  // Hands the message's addresses to the collecting; asked only when
  // addresses are collected. Its errors are ignored.
  std::function<void(IAddressHarvest&)> Addresses;
};

// One message as its source reads it.
struct TSourceMessage {
  // The text whose digest names the message in the history.
  std::string KeyText;
  // A source whose key text is itself costly to make (a digest of the whole
  // message) may leave KeyText empty and hand its ingredients instead:
  // KeyText is then MakeKeyText(KeySource), made by whichever thread first
  // needs it (the worker thread, unless the skip test runs on the reading
  // thread), so that the reading thread does not spend its time on it.
  std::string (*MakeKeyText)(std::string_view) = nullptr;
  std::string KeySource;
  // Makes KeyText from KeySource if it was left for later; KeyText after.
  const std::string& Key() {
    if (MakeKeyText) {
      KeyText = MakeKeyText(KeySource);
      MakeKeyText = nullptr;
      std::string().swap(KeySource);
    }
    return KeyText;
  }
  // The raw text, which the run parses; unused when Describe is set.
  std::string RawText;
  // A source that does not hand out raw text describes the message itself:
  // false passes the message over without a line. Called at most once, on
  // the thread that read the message, after the skip test.
  std::function<bool(TMessageContent&)> Describe;
  // In a folder whose progress goes by bytes (IFolderCursor::ByteSize):
  // about how far into the folder the message ends.
  std::uint64_t EndOffset = 0;
  // Set instead of a message by a cursor whose count is not known before
  // reading (kCountUnknown): the folder has no message with this number.
  bool End = false;
};

// What the reading of a folder passed over: the message count its store
// announces (0 when it has none or it matches the list), messages whose
// text was read only in part, and a notice naming the damage the reader
// skipped ("" for none).
struct TFolderDamage {
  std::size_t Announced = 0;
  std::size_t CutTexts = 0;
  std::string Notice;
};

// The count of a folder read without counting it first: a mailbox of many
// gigabytes, whose progress goes by bytes.
inline constexpr std::size_t kCountUnknown = static_cast<std::size_t>(-1);

// The messages of one open folder.
class IFolderCursor {
 public:
  virtual ~IFolderCursor() = default;
  // kCountUnknown only for a folder whose progress goes by bytes; its reads
  // then go on until one comes back with End set.
  virtual std::size_t Count() const = 0;
  // What the reads so far passed over; asked at the end of the folder, on
  // the worker thread once no message is read any more.
  virtual TFolderDamage Damage() const { return {}; }
  // Not 0 for a folder whose progress goes by bytes (a mailbox of many
  // gigabytes): its size, of which the messages read so far reach their
  // EndOffset. 0: the progress counts messages.
  virtual std::uint64_t ByteSize() const { return 0; }
  // Reads message j (0-based; asked for in increasing order, each once;
  // with a count not known, until the first End). pause is the run's pause between steps, for a
  // source whose reading has two. Raises (a std::exception) when the message cannot be read.
  virtual void Read(std::size_t j, TSourceMessage& message, const std::function<void()>& pause) = 0;
};

class IMessageSource {
 public:
  virtual ~IMessageSource() = default;

  // Where its files go below the destination.
  virtual TSourceKind Kind() const = 0;
  // Its history file below the application-data folder.
  virtual std::string HistoryPath() const = 0;

  // Done before the option lines; false ends the run at once, silently.
  virtual bool Connect() { return true; }
  // Done before the closing lines.
  virtual void Disconnect() {}

  // False when the folder has nothing to read (status "No File").
  virtual bool FolderHasSource(const TJobFolder& folder) const { return !folder.FileName.empty(); }
  // Opens the folder and finds its messages. Raises TFolderReadError when
  // the folder cannot be read. A source may keep what it learnt for the
  // next opening of the same folder in this run.
  virtual std::unique_ptr<IFolderCursor> OpenFolder(const TJobFolder& folder) = 0;
  // True when a cursor may read on a thread of its own while the worker
  // thread writes: it then uses nothing the worker thread changes.
  virtual bool CanReadAhead() const { return false; }

  // ---- The few differences of its lines ----
  // The folder's key in its log lines about failures.
  virtual std::string FolderFileKey(const TJobFolder& folder) const { return folder.FileName; }
  // The name after "Reading Messages from ".
  virtual std::string ReadingName(const TJobFolder& folder) const { return FolderFileKey(folder); }
  // The number that message j has in the progress position and in the
  // failure lines: j (0-based) or j + 1.
  virtual std::size_t MessageNumber(std::size_t j) const { return j; }
  // What ends the "Downloading embedded images" and "Extracting
  // attachments" status lines.
  virtual std::string StatusLineEnd() const { return " ..."; }
  // Log lines of the run's end, before its closing line (stopped or not);
  // asked once, on the worker thread after the last folder.
  virtual std::vector<std::string> ClosingLines() { return {}; }
  // The closing line of a run that was not stopped.
  virtual std::string FinishedLine() const { return N_("Finished extracting all folders."); }
};

}  // namespace qb
