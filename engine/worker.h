// The run shared by every extraction worker: option lines, the counting
// pass, the main pass over folders and messages, the stop request, the
// failed-folder list, the counters, the filters (date interval, include
// list, skip of messages extracted before), the history and the writing
// steps, with the reports to the wizard.
//
// A source-specific worker supplies only what differs: how a folder's
// message list is read (LoadMessageList), how one message is read and turned
// into its date, sender, subject, attachments, linked bodies and history key
// (ProcessMessage, which hands them to ExtractMessage), and the differences
// of its log and status lines (the virtual members below).
//
// Reading ahead: a source that can read its messages on another thread
// (CanPrepareAhead) has, in a run without pause, the next messages read and
// parsed on a second thread (PrepareMessage, then the parse) while the
// worker thread writes the current one (kReadAheadMessages at most). That
// thread only fills TPreparedMessage items: it reports nothing and touches
// no counter, history record, view or job state. The worker thread takes
// the messages in order and does everything else exactly as without
// reading ahead, so every log line, status, row, counter and history record
// comes from one thread in the same order. The reading thread never crosses
// into the next folder (it starts after LoadMessageList and is joined
// before ReleaseMessageList), and what it prepared that the worker no
// longer takes (after a stop) is dropped without a trace.
//
// The filters the job carries, the same for every source:
//  - SkipDuplicates: a message whose key digest the history held before the
//    run (a message recorded only after all its wanted files were written)
//    is passed over; it still counts for the progress;
//  - UseDateInterval: a message dated outside [DateFrom, DateTo] (whole
//    days; an undated message is outside) is passed over the same way;
//  - AllFiles false: an attachment is written only when its extension is in
//    the include list, and then only when it is not in the exclude list.
// None of them changes a log line, a counter rule or a status row.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/history.h"
#include "engine/job.h"
#include "engine/naming.h"
#include "engine/reportqueue.h"
#include "platform/errors.h"
#include "platform/i18n.h"
#include "platform/thread.h"

namespace qb {

class TMoxMsg;

// Raised by LoadMessageList when a folder cannot be read; records read
// before the failure are reported in the folder's row.
class TFolderReadError : public EQuillboxError {
 public:
  TFolderReadError(const std::string& what, std::size_t recordsRead)
      : EQuillboxError(TErrorKind::InputDamaged, what), RecordsRead(recordsRead) {}
  std::size_t RecordsRead;
};

// The download of the files a message's bodies link to, as the run uses it
// (web/workerlinks.h has the one over the link downloader).
class ILinkDownloads {
 public:
  // What the downloads of one message need of their run.
  struct TRun {
    // The message and its folder as the "Unable to Save Attachment" line
    // gives them.
    std::string MessageNumber;
    std::string Folder;
    std::function<bool()> Stopped;                   // the run's stop request
    std::function<void(const std::string&)> Log;     // a line of the run's log
    std::function<void(const std::string&)> Notice;  // the message's time ran out
  };
  struct TResult {
    int Written = 0;  // files placed
    int Failed = 0;   // links that failed, or were left when the time ran out
  };

  virtual ~ILinkDownloads() = default;
  // The number of links of text that would be downloaded.
  virtual std::size_t CountLinks(const std::string& text) = 0;
  // Downloads the links of the message's bodies, in order, into its target
  // (below the destination, no link followed), each name after its prefix.
  virtual TResult Download(const TTargetPath& target, const std::vector<std::string>& bodies,
                           const TRun& run) = 0;
};

// The collecting of the e-mail addresses of the processed messages, as the
// run uses it (web/addresses.h has the one over the stored address list).
class IAddressHarvest {
 public:
  virtual ~IAddressHarvest() = default;
  // From, To, Cc and the "mailto:" targets of the HTML body.
  virtual void AddMessage(const TMoxMsg& message) = 0;
  // One address as a header or an address book gives it.
  virtual void AddAddress(std::string_view text) = 0;
  // The "mailto:" targets of an HTML text.
  virtual void AddHTMLTargets(const std::string& html) = 0;
  // Stores what was collected; called when the run ends. False on failure.
  virtual bool Flush() = 0;
};

// One message as its source makes it out for the shared steps.
struct TMessageContent {
  TDateTime Date = 0;
  std::string Subject;
  std::string Sender;
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

// How far the reading thread may run ahead of the worker thread: this many
// messages, or this much raw text counting the message being written (but
// one message is always read when the worker thread has none): a large
// message is not read while another is written. The room is ample so that
// the threads seldom wait for each other: each wait and wake-up costs
// system calls and tends to put both threads on the same core.
inline constexpr std::size_t kReadAheadMessages = 128;
inline constexpr std::size_t kReadAheadBytes = 8u << 20;

// One message as the reading thread leaves it for the worker thread.
struct TPreparedMessage {
  TPreparedMessage();
  ~TPreparedMessage();
  TPreparedMessage(const TPreparedMessage&) = delete;
  TPreparedMessage& operator=(const TPreparedMessage&) = delete;

  // Nothing to do for this message (it is not in the list).
  bool Absent = false;
  // The message could not be read: the worker reports it with MessageError.
  bool ReadFailed = false;
  // An error of the reading that the source does not report as a message
  // error; raised again on the worker thread when it takes the message.
  std::exception_ptr Failure;
  std::string KeyText;
  // The raw text, until it is parsed, and its length.
  std::string RawText;
  std::size_t Size = 0;
  // Parsed: Message keeps the text, Content describes it and Loaded is what
  // DecodeRawMessage said; or ParseError holds what the parse raised. A
  // message the skip test will pass over is left unparsed.
  bool Parsed = false;
  bool Loaded = false;
  std::unique_ptr<TMoxMsg> Message;
  TMessageContent Content;
  std::exception_ptr ParseError;
};

class TExtractionWorker : public TThread {
 public:
  explicit TExtractionWorker(const TExtractionJob& job);
  ~TExtractionWorker() override;

  const TExtractionJob& Job() const { return job_; }

  // Sets the stop flag (the job's, when it has one) and ends a pause at
  // once. Safe from any thread, not from a signal handler.
  void RequestStop();

  // True when the run left something undone that it wanted: a folder that
  // could not be opened, a message that could not be read, a file that
  // could not be written, or a history that could not be opened or kept.
  bool RunHadFailures() const { return failures_.load(); }

  // A notice for the user (IRunView::AddNotice), in order with the log
  // lines; counts as something the run left undone. On the worker thread.
  void AddNotice(const std::string& text);

  // False when the history could not be opened or was switched off after a
  // failed write.
  bool HistoryEnabled() const { return HistoryOpen; }
  // True when the view was told why the history is off.
  bool HistoryNoticeGiven() const { return historyNoticed_; }

  // Whether the messages are read and parsed ahead on a second thread (see
  // above). On by default; it takes effect only in a run without pause and
  // with a source that CanPrepareAhead. Set before Resume.
  void SetPrepareAhead(bool on) { prepareAhead_ = on; }

  // True when date (a message's date) lies within the whole days from..to.
  static bool InDateInterval(TDateTime date, TDateTime from, TDateTime to);

  // The log lines that depend on nothing but their arguments.
  static std::string AttachmentsFromLine(int messages);
  static const std::string& SeparatorLine();

 protected:
  void Execute() override;

  // ---- What a source supplies ----
  // The folder's key in its log lines about failures (the .dbx file name
  // for Outlook Express).
  virtual std::string FolderFileKey(const TJobFolder& folder) const { return folder.FileName; }
  // The name after "Reading Messages from ".
  virtual std::string ReadingName(const TJobFolder& folder) const { return FolderFileKey(folder); }
  // False when the folder has nothing to read (status "No File").
  virtual bool FolderHasSource(const TJobFolder& folder) const { return !folder.FileName.empty(); }
  // Reads the folder's message list into the worker and returns its length.
  // Throws TFolderReadError when the folder cannot be read.
  virtual std::size_t LoadMessageList(const TJobFolder& folder) = 0;
  // Drops the list read last.
  virtual void ReleaseMessageList() {}
  // What the reading of the folder processed last passed over, asked at the
  // end of the folder before ReleaseMessageList: the message count its
  // store announces (0 when it has none or it matches the list), messages
  // whose text was read only in part, and a notice naming the damage the
  // reader skipped ("" for none).
  struct TFolderDamage {
    std::size_t Announced = 0;
    std::size_t CutTexts = 0;
    std::string Notice;
  };
  virtual TFolderDamage FolderDamage() const { return {}; }
  // Reads message j (0-based) of the list read last and hands it to
  // ExtractMessage; a message that cannot be read is reported with
  // MessageError. Adds to MessagesWithFiles and FilesExtracted as the
  // message warrants.
  virtual void ProcessMessage(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                              std::size_t count) = 0;
  // True when PrepareMessage may run on the reading thread while the worker
  // thread writes: it then uses nothing the worker thread changes.
  virtual bool CanPrepareAhead() const { return false; }
  // On the reading thread: reads message j (0-based) of the list read last
  // into item: its key text and raw text, or ReadFailed when it cannot be
  // read (or Absent). It reports nothing and changes no counter. Anything it
  // raises is raised again on the worker thread when the message is taken.
  virtual void PrepareMessage(const TJobFolder& folder, std::size_t j, TPreparedMessage& item);
  // The number that messages j has in the progress position and in the
  // failure lines: j (0-based) or j + 1.
  virtual std::size_t MessageNumber(std::size_t j) const { return j; }
  // What ends the "Downloading embedded images" and "Extracting
  // attachments" status lines.
  virtual std::string StatusLineEnd() const { return " ..."; }
  // Done before the option lines; false ends the run at once, silently.
  virtual bool Connect() { return true; }
  // Done before the closing lines.
  virtual void Disconnect() {}
  // The closing line of a run that was not stopped.
  virtual std::string FinishedLine() const { return N_("Finished extracting all folders."); }

  // ---- The shared steps of one message ----
  // Given the message's key text: the skip test, decode (false: the message
  // is passed over without a line), the date interval, naming, linked files,
  // attachments and the history record, which is made after the files and
  // only when none of the wanted ones failed. Errors propagate.
  void ExtractMessage(const TJobFolder& folder, std::size_t j, std::size_t count,
                      const std::string& keyText,
                      const std::function<bool(TMessageContent&)>& decode);
  // The worker thread's part of a prepared message: MessageError when it
  // could not be read, else ExtractMessage with the content parsed ahead
  // (parsed now when it was left unparsed); an error of either is reported
  // with MessageError and the run goes on.
  void ExtractPrepared(const TJobFolder& folder, std::size_t j, std::size_t count,
                       TPreparedMessage& item);
  // "Error opening Messages (" + number + ") in " + folder key.
  void MessageError(const TJobFolder& folder, std::size_t j);
  // Hands raw to msg, parses it and describes it in content; false when
  // the text cannot be loaded. The attachments refer to msg, which keeps
  // the text: they are decoded only when written.
  static bool DecodeRawMessage(std::string&& raw, TMoxMsg& msg, TMessageContent& content);

  bool StopRequested() const;
  // The pause between steps of a message; a stop request ends it at once.
  void Pause();

  // Reports, in order, to the view on the main thread; the worker does not
  // wait for them (see TReportQueue) except at the end of the run.
  void AddLog(const std::string& line);
  void SetStatusText(const std::string& text);
  void SetProgressMax(int count);
  void SetProgressPosition(int value);
  void ShowFolderRow(int folderIndex);
  void UpdateFolderRow(const std::string& folderName, int folderIndex, int status, int extracted,
                       int messages, int total);

  // Constructor step of the source-specific worker: the history file below
  // the application-data folder is opened and "LastStarted" written; any
  // failure only leaves HistoryOpen false.
  void OpenHistory(const std::string& relativePath);
  // The constructor step of a source: where its files go, its link
  // download, and its history file (opened with OpenHistory).
  void SetUpSource(TSourceKind source, std::unique_ptr<ILinkDownloads> links,
                   const std::string& historyPath);
  // Records one processed message (does nothing while the history is
  // closed). A failed flush raises EInOutError.
  void RecordHistory(const std::string& keyText, TDateTime date, int attachments);

  void WriteOptionLines();
  void CountingPass();
  void MainPass();
  // The end of every run: the failed list emptied, the bar at its maximum,
  // then "Stopped by User." or FinishedLine() as status and log line.
  void FinishRun();

  // Notes that the run left something undone (see RunHadFailures).
  void MarkRunFailure() { failures_.store(true); }

  TExtractionJob job_;
  // Copies of the job's lists, kept by the worker.
  std::vector<std::string> IncludeExt;
  std::vector<std::string> ExcludeExt;
  std::string DestinationDir;
  // Where the source's files go below the destination.
  TSourceKind Source = TSourceKind::OutlookExpress;
  // The link download; none means links are never downloaded.
  std::unique_ptr<ILinkDownloads> Links;
  // The address collecting, used when the job asks for it; none means off.
  std::unique_ptr<IAddressHarvest> Addresses;

  TExtractionHistory History;
  bool HistoryOpen = false;

  // Counters of the folder being processed.
  int MessagesWithFiles = 0;
  int FilesExtracted = 0;

 private:
  class TReadAhead;

  // True when this run reads ahead (see SetPrepareAhead).
  bool ReadsAhead() const;
  // The reading thread's work on message j: PrepareMessage, then the parse,
  // unless the skip test (when skipping is possible) will pass the message
  // over. Raises nothing.
  void PrepareAhead(const TJobFolder& folder, std::size_t j, bool skipping,
                    TPreparedMessage& item) noexcept;
  static void ParsePrepared(TPreparedMessage& item);
  bool AttachmentSelected(const std::string& fileName) const;
  // The end of a folder of the main pass: its closing row (Finished,
  // Stopped, or Error when messages could not be read), the line telling
  // how many, the reader's notice and the "Attachments from" line.
  void EndFolder(const TJobFolder& folder, int row, int total, bool stopped);
  // The history's notice, once, when it was switched off.
  void NoticeHistory();
  // Records a message after its files, saying whether every wanted one was
  // saved; switches the history off for the rest of the run on failure.
  void Record(const std::string& keyText, TDateTime date, int attachments, bool allSaved);

  bool prepareAhead_ = true;
  bool historyNoticed_ = false;
  // Target directories the run could not make (each said once).
  std::set<std::string> failedDirectories_;
  std::vector<bool> failedFolders_;
  int progressMax_ = 1;
  std::atomic<bool> failures_{false};
  std::atomic<std::uint8_t> ownStop_{0};
  std::mutex pauseMutex_;
  std::condition_variable pauseWake_;
  TReportQueue reports_;
};

}  // namespace qb
