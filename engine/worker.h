// The run shared by every source: option lines, the counting pass, the
// main pass over folders and messages, the stop request, the failed-folder
// list, the counters, the filters (date interval, include list, skip of
// messages extracted before), the history and the writing steps, with the
// reports to the wizard.
//
// A source (engine/source.h) supplies only what differs: how a folder's
// messages are found and read, and the few differences of its lines.
//
// Every message takes one path: read (the source's cursor), prepare (the
// skip test, then the raw text parsed, or the source's own description),
// extract (the filters, naming, linked files, attachments, the history
// record). In a run without pause, with a source that can, the first two
// steps run ahead on a reading thread (engine/readahead.h) while the worker
// thread extracts; they report nothing and touch no counter, history record,
// view or job state there, so every log line, status, row, counter and
// history record comes from one thread in the same order either way. The
// reading thread never crosses into the next folder, and what it prepared
// that the worker no longer takes (after a stop) is dropped without a trace.
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
//
// Failures stay with what they belong to: a folder that cannot be opened is
// logged and passed over; a message that cannot be read, parsed, named,
// recorded or whose links cannot be fetched is logged as "Error opening
// Messages (" + number + ") in " + folder key and the run goes on with the
// next one. Running out of memory ends the run with kOutOfMemoryLine.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
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
#include "engine/runsummary.h"
#include "engine/source.h"
#include "platform/i18n.h"
#include "platform/thread.h"

namespace qb {

class TMoxMsg;

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
    // After each link counted as written or as failed: the file name taken
    // from the link and what became of the file (Path, Size and, as Digests
    // and DeferDigests ask, like TWriteReport's, its digest or its bytes; a
    // failure's Reason). Unset: nothing is told.
    std::function<void(const std::string& name, TAttachmentOutcome&)> Outcome;
    bool Digests = false;
    bool DeferDigests = false;
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
  // Where the download tells the user of what it gave up (a budget spent):
  // the run's notices. Set by the worker; called on the worker thread.
  std::function<void(const std::string&)> Notice;
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

// What a run uses besides its source: the link download and the address
// collecting (web/workerlinks.h makes both for a job). None: off.
struct TRunServices {
  std::unique_ptr<ILinkDownloads> Links;
  std::unique_ptr<IAddressHarvest> Addresses;
};

// The progress maximum of a folder whose progress goes by bytes.
inline constexpr int kByteProgressSteps = 1000;

// The log line of a run that ran out of memory; the closing lines follow.
inline constexpr const char* kOutOfMemoryLine = "Not enough memory to go on: the run ends here.";

class TReadAhead;
struct TPreparedMessage;

class TExtractionWorker : public TThread {
 public:
  // Opens the source's history file below the application-data folder and
  // writes "LastStarted" there; any failure only leaves the history off.
  TExtractionWorker(const TExtractionJob& job, std::unique_ptr<IMessageSource> source,
                    TRunServices services = {});
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

  // What the run did, counted as it went; complete once the run has ended.
  const TRunSummary& Summary() const { return summary_; }

  // False when the history could not be opened or was switched off after a
  // failed write.
  bool HistoryEnabled() const { return historyOpen_; }
  // True when the view was told why the history is off.
  bool HistoryNoticeGiven() const { return historyNoticed_; }

  // Whether the messages are read and parsed ahead on a second thread (see
  // above). On by default; it takes effect only in a run without pause and
  // with a source that CanReadAhead. Set before Resume.
  void SetPrepareAhead(bool on) { prepareAhead_ = on; }

  // True when date (a message's date) lies within the whole days from..to.
  static bool InDateInterval(TDateTime date, TDateTime from, TDateTime to);

  // The log lines that depend on nothing but their arguments.
  static std::string AttachmentsFromLine(int messages);
  static const std::string& SeparatorLine();

 protected:
  void Execute() override;

 private:
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

  void WriteOptionLines();
  void CountingPass();
  void MainPass();
  // The messages of one open folder, with or without reading ahead; true
  // when a stop request ended it. count: the folder's messages, or with a
  // count not known before, kCountUnknown, then the messages it held.
  bool ExtractFolder(const TJobFolder& folder, int row, IFolderCursor& cursor, std::size_t& count);
  // The end of a folder of the main pass: the cursor closed (none: the
  // folder had nothing to read), then its closing row (Finished, Stopped,
  // or Error when messages could not be read), the line telling how many,
  // the reader's notice and the "Attachments from" line.
  void EndFolder(const TJobFolder& folder, int row, int total, bool stopped,
                 std::unique_ptr<IFolderCursor> cursor);
  // The history's notice, once, when it was switched off.
  void NoticeHistory();
  // The end of every run: the failed list emptied, the bar at its maximum,
  // then "Stopped by User." or the source's closing line as status and log
  // line.
  void FinishRun();
  // A folder that cannot be opened: its line, and the run has failures.
  void FolderError(std::size_t i, const TJobFolder& folder);

  // ---- The one path of a message ----
  // Read and prepare, on whichever thread reads: the message read, then,
  // unless skipping is possible and the skip test will pass it over,
  // parsed or described. Raises nothing: errors are kept in item.
  void Prepare(IFolderCursor& cursor, std::size_t j, bool skipping,
               const std::function<void()>& pause, TPreparedMessage& item) noexcept;
  static void Parse(TPreparedMessage& item);
  // The worker thread's part: the errors of reading and preparing, then the
  // shared steps; an error of a message is reported with MessageError and
  // the run goes on; running out of memory ends it.
  void Extract(const TJobFolder& folder, std::size_t j, std::size_t count, TPreparedMessage& item);
  // Given the prepared message: the skip test, the content (false: passed
  // over without a line), the date interval, naming, linked files,
  // attachments and the history record, which is made after the files and
  // only when none of the wanted ones failed. Errors propagate.
  void ExtractMessage(const TJobFolder& folder, std::size_t j, std::size_t count,
                      TPreparedMessage& item);
  // "Processing Message j+1 of n", or without a count, of message j+1.
  void ProcessingStatus(const TJobFolder& folder, std::size_t j, std::size_t n);
  // A status naming message j+1 of n (counted, a msgid with %1 the folder,
  // %2 the number and %3 the count) or without a count (uncounted, %1 and
  // %2), in the user's language, ended as the source ends status lines.
  std::string MessageStatus(const char* counted, const char* uncounted, const TJobFolder& folder,
                            std::size_t j, std::size_t n) const;
  // The same in the user's language, without the line's end.
  static std::string CountedText(const char* counted, const char* uncounted,
                                 const TJobFolder& folder, std::size_t j, std::size_t n);
  // "Error opening Messages (" + number + ") in " + folder key.
  void MessageError(const TJobFolder& folder, std::size_t j);

  // Whether messages an earlier run saved are passed over: with the skip
  // choice, and a history open or, in a dry run, read.
  bool SkipTestOn() const;
  // True when this run reads ahead (see SetPrepareAhead).
  bool ReadsAhead() const;
  bool AttachmentSelected(const std::string& fileName) const;
  // Records a message after its files, saying whether every wanted one was
  // saved; switches the history off for the rest of the run on failure.
  void Record(const std::string& keyText, TDateTime date, int attachments, bool allSaved);
  // The report row of one attachment of a message, to the job's report.
  void ReportRow(const TJobFolder& folder, const TMessageContent& m, const std::string& name,
                 TAttachmentOutcome& o);
  // Counts an attachment's outcome and reports its row.
  void Tally(const TJobFolder& folder, const TMessageContent& m, const std::string& name,
             TAttachmentOutcome& o);
  // Notes that the run left something undone (see RunHadFailures).
  void MarkRunFailure() { failures_.store(true); }

  TExtractionJob job_;
  std::unique_ptr<IMessageSource> source_;
  // The link download; none means links are never downloaded.
  std::unique_ptr<ILinkDownloads> links_;
  // The address collecting, used when the job asks for it; none means off.
  std::unique_ptr<IAddressHarvest> addresses_;
  TExtractionHistory history_;
  bool historyOpen_ = false;
  // A dry run's history: read for the skip test, never written.
  bool savedOnly_ = false;

  // Counters of the folder being processed.
  int messagesWithFiles_ = 0;
  int filesExtracted_ = 0;

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
  TRunSummary summary_;
  // A dry run's planned files, by path, with their digests.
  std::map<std::string, std::string> planned_;
  // Digests the report's rows beside the run (a run with a report, not dry).
  std::unique_ptr<TReportHasher> hasher_;
};

}  // namespace qb
