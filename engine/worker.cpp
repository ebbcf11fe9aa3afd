#include "engine/worker.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <thread>

#include "engine/datetext.h"
#include "engine/oCalcMD5.h"
#include "engine/tnefunpack.h"
#include "mime/MoxMsg.h"
#include "mime/mimehelpers.h"
#include "platform/i18n.h"
#include "platform/text.h"

namespace qb {

TPreparedMessage::TPreparedMessage() = default;
TPreparedMessage::~TPreparedMessage() = default;

// The reading thread of one folder: it prepares messages 0..count-1 in order
// into a queue the worker thread takes them from. Each time one thread has
// to wait for the other costs system calls on both sides, so the waiting
// side is woken in batches: the reading thread, once the queue is full, when
// it is down to half; the worker thread, once the queue ran empty, when it
// holds half of it again (or the reading thread is done or has to wait).
// What it holds is bounded by kReadAheadMessages and kReadAheadBytes.
// Destroying it stops the thread after the message in hand and drops what
// was not taken.
class TExtractionWorker::TReadAhead {
 public:
  using TPrepare = std::function<void(std::size_t j, TPreparedMessage& item)>;

  TReadAhead(std::size_t count, TPrepare prepare)
      : count_(count), prepare_(std::move(prepare)), thread_([this] { Run(); }) {}

  ~TReadAhead() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
      readerWake_.notify_one();
    }
    thread_.join();
  }

  // The next message, waiting for it if need be; null when the reading
  // thread ended without it (it could not make the item). The message taken
  // before is done with (and gone) by then.
  std::unique_ptr<TPreparedMessage> Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    bytes_ -= held_;
    held_ = 0;
    if (queue_.empty()) {
      if (readerWaiting_ && HasRoom()) readerWake_.notify_one();
      workerWaiting_ = true;
      workerWake_.wait(lock, [this] {
        return queue_.size() >= kLow || done_ || (readerWaiting_ && !queue_.empty());
      });
      workerWaiting_ = false;
    }
    if (queue_.empty()) return nullptr;
    std::unique_ptr<TPreparedMessage> item = std::move(queue_.front());
    queue_.pop_front();
    held_ = item->Size;
    // Woken once the lock is free, so that it does not wait for it at once.
    const bool wake = readerWaiting_ && HasRoom();
    lock.unlock();
    if (wake) readerWake_.notify_one();
    return item;
  }

  // Hands a message the worker thread is done with back to the reading
  // thread, which frees it before it reads the next: memory goes back to
  // the thread that took it, and the two threads do not contend for the
  // allocator's lock.
  void Return(std::unique_ptr<TPreparedMessage> item) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (done_) {
      lock.unlock();
      item.reset();  // nobody to contend with any more
      return;
    }
    try {
      returned_.push_back(std::move(item));
    } catch (...) {
      // No room to keep it: it is freed here after all.
    }
  }

 private:
  static constexpr std::size_t kLow = kReadAheadMessages / 2;

  // No more is read for now. The message the worker thread holds counts
  // too, so that a large message is not read while another is written; but
  // when there is none, one is always read, however large.
  bool Full() const {
    return queue_.size() >= kReadAheadMessages || (bytes_ > 0 && bytes_ >= kReadAheadBytes);
  }
  // A reading thread that waits for room goes on.
  bool HasRoom() const { return queue_.size() <= kLow && bytes_ <= kReadAheadBytes / 2; }

  void Run() noexcept {
    std::vector<std::unique_ptr<TPreparedMessage>> freeing;
    try {
      for (std::size_t j = 0; j < count_; ++j) {
        {
          std::unique_lock<std::mutex> lock(mutex_);
          if (Full()) {
            readerWaiting_ = true;
            if (workerWaiting_) workerWake_.notify_one();  // it may go on now
            readerWake_.wait(lock, [this] { return stop_ || HasRoom(); });
            readerWaiting_ = false;
          }
          if (stop_) break;
          freeing.swap(returned_);
        }
        freeing.clear();
        auto item = std::make_unique<TPreparedMessage>();
        prepare_(j, *item);
        std::unique_lock<std::mutex> lock(mutex_);
        bytes_ += item->Size;
        queue_.push_back(std::move(item));
        const bool wake = workerWaiting_ && (queue_.size() >= kLow || Full() || j + 1 == count_);
        lock.unlock();
        if (wake) workerWake_.notify_one();
      }
    } catch (...) {
      // Out of memory for an item: the worker thread reads the rest itself.
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    workerWake_.notify_one();
  }

  const std::size_t count_;
  const TPrepare prepare_;
  std::mutex mutex_;
  std::condition_variable readerWake_, workerWake_;
  std::deque<std::unique_ptr<TPreparedMessage>> queue_;
  std::vector<std::unique_ptr<TPreparedMessage>> returned_;
  std::size_t bytes_ = 0;  // raw text in the queue and held by the worker thread
  std::size_t held_ = 0;   // raw text of the message the worker thread holds
  bool readerWaiting_ = false, workerWaiting_ = false;
  bool stop_ = false;
  bool done_ = false;
  // Last: started once everything above is in place.
  std::thread thread_;
};

TExtractionWorker::TExtractionWorker(const TExtractionJob& job)
    : job_(job), IncludeExt(job.IncludeExt), ExcludeExt(job.ExcludeExt), reports_(job.View) {
  DestinationDir = Trim(job.DestinationDir);
}

TExtractionWorker::~TExtractionWorker() = default;

void TExtractionWorker::OpenHistory(const std::string& relativePath) {
  HistoryOpen = History.Open(TExtractionHistory::HistoryPath(relativePath));
  History.SetBatch(kHistoryBatchRecords, kHistoryBatchMs);
  if (!HistoryOpen) MarkRunFailure();
}

void TExtractionWorker::SetUpSource(TSourceKind source, std::unique_ptr<ILinkDownloads> links,
                                    const std::string& historyPath) {
  Source = source;
  Links = std::move(links);
  OpenHistory(historyPath);
}

void TExtractionWorker::RecordHistory(const std::string& keyText, TDateTime date, int attachments) {
  if (HistoryOpen) History.RecordMessage(keyText, date, attachments);
}

void TExtractionWorker::Record(const std::string& keyText, TDateTime date, int attachments,
                               bool allSaved) {
  if (!HistoryOpen) return;
  History.RecordOutcome(keyText, date, attachments, allSaved);
  if (!History.IsOpen() || !History.Notice().empty()) {
    // Read-only, locked or full: the run goes on without a history.
    HistoryOpen = false;
    MarkRunFailure();
    NoticeHistory();
  }
}

void TExtractionWorker::NoticeHistory() {
  if (historyNoticed_ || History.Notice().empty()) return;
  historyNoticed_ = true;
  AddNotice(History.Notice());
}

void TExtractionWorker::AddNotice(const std::string& text) {
  MarkRunFailure();
  reports_.AddNotice(text);
}

const std::string& TExtractionWorker::SeparatorLine() {
  static const std::string line(86, '-');
  return line;
}

std::string TExtractionWorker::AttachmentsFromLine(int messages) {
  return "Attachments from " + std::to_string(messages) +
         (messages == 1 ? " Message is extracted" : " Messages are extracted");
}

bool TExtractionWorker::InDateInterval(TDateTime date, TDateTime from, TDateTime to) {
  if (!std::isfinite(date) || date == 0) return false;
  const double day = std::floor(date);
  return day >= std::floor(from) && day <= std::floor(to);
}

bool TExtractionWorker::StopRequested() const {
  if (ownStop_.load() == 1) return true;
  return job_.StopRequested && job_.StopRequested->load(std::memory_order_relaxed) == 1;
}

void TExtractionWorker::RequestStop() {
  if (job_.StopRequested) job_.StopRequested->store(1);
  ownStop_.store(1);
  // Taking the lock orders the flag before a pause that is about to wait.
  { std::lock_guard<std::mutex> lock(pauseMutex_); }
  pauseWake_.notify_all();
}

void TExtractionWorker::Pause() {
  if (job_.PauseMs == 0) return;
  std::unique_lock<std::mutex> lock(pauseMutex_);
  pauseWake_.wait_for(lock, std::chrono::milliseconds(job_.PauseMs),
                      [this] { return StopRequested(); });
}

void TExtractionWorker::AddLog(const std::string& line) {
  reports_.AddLog(line);
}
void TExtractionWorker::SetStatusText(const std::string& text) {
  reports_.SetStatusText(text);
}
void TExtractionWorker::SetProgressMax(int count) {
  progressMax_ = count == 0 ? 1 : count;
  reports_.SetProgressMax(count);
}
void TExtractionWorker::SetProgressPosition(int value) {
  reports_.SetProgressPosition(value);
}
void TExtractionWorker::ShowFolderRow(int folderIndex) {
  reports_.ShowFolderRow(folderIndex);
}
void TExtractionWorker::UpdateFolderRow(const std::string& folderName, int folderIndex, int status,
                                        int extracted, int messages, int total) {
  reports_.UpdateFolderRow(folderName, folderIndex, status, extracted, messages, total);
}

void TExtractionWorker::WriteOptionLines() {
  AddLog("Starting With Options :");
  AddLog(job_.SkipDuplicates ? "    Ignore Previously Extracted Attachments"
                             : "    Extract All Message Attachments");
  if (job_.UseDateInterval)
    AddLog("    Messages received between : " + FormatIntervalBound(job_.DateFrom) + " and " +
           FormatIntervalBound(job_.DateTo));
  AddLog(SeparatorLine());
}

void TExtractionWorker::CountingPass() {
  failedFolders_.assign(job_.Folders.size(), false);
  for (size_t i = 0; i < job_.Folders.size(); ++i) {
    const TJobFolder& f = job_.Folders[i];
    const int row = static_cast<int>(i);
    SetProgressPosition(row);
    if (!FolderHasSource(f)) {
      UpdateFolderRow(f.Name, row, fsNoFile, 0, 0, 0);
      continue;
    }
    SetStatusText(Translate("Calculating the total number of messages..."));
    try {
      size_t count = LoadMessageList(f);
      ReleaseMessageList();
      UpdateFolderRow(f.Name, row, fsWaiting, 0, 0, static_cast<int>(count));
    } catch (const TFolderReadError& e) {
      ReleaseMessageList();
      AddLog("Errror opening " + FolderFileKey(f));
      failedFolders_[i] = true;
      MarkRunFailure();
      UpdateFolderRow(f.Name, row, fsErrorOpening, 0, 0, static_cast<int>(e.RecordsRead));
    }
  }
}

void TExtractionWorker::MainPass() {
  for (size_t i = 0; i < job_.Folders.size(); ++i) {
    if (StopRequested()) break;
    const TJobFolder& f = job_.Folders[i];
    const int row = static_cast<int>(i);
    if (failedFolders_[i]) {
      UpdateFolderRow(f.Name, row, fsErrorOpening, 0, 0, 0);
      continue;
    }
    AddLog("Reading Messages from " + ReadingName(f) + " ...");
    ShowFolderRow(row);
    size_t n = 0;
    if (FolderHasSource(f)) {
      try {
        n = LoadMessageList(f);
      } catch (const TFolderReadError&) {
        // The folder went away after it was counted: report it and go on.
        ReleaseMessageList();
        AddLog("Errror opening " + FolderFileKey(f));
        failedFolders_[i] = true;
        MarkRunFailure();
        UpdateFolderRow(f.Name, row, fsErrorOpening, 0, 0, 0);
        continue;
      }
    }
    const int total = static_cast<int>(n);
    UpdateFolderRow(f.Name, row, fsProgress, 0, 0, total);
    MessagesWithFiles = 0;
    FilesExtracted = 0;
    if (n == 0) {
      EndFolder(f, row, 0, false);
      continue;
    }
    SetProgressMax(total);
    // Whether the skip test may pass messages over is fixed for the reading
    // thread now; the worker thread still decides for each message.
    const bool skipping = job_.SkipDuplicates && HistoryOpen;
    std::unique_ptr<TReadAhead> ahead;
    if (ReadsAhead())
      ahead = std::make_unique<TReadAhead>(
          n, [this, &f, skipping](std::size_t j, TPreparedMessage& item) {
            PrepareAhead(f, j, skipping, item);
          });
    bool stopped = false;
    for (size_t j = 0; j < n; ++j) {
      if (StopRequested()) {
        stopped = true;
        break;
      }
      UpdateFolderRow(f.Name, row, fsProgress, FilesExtracted, MessagesWithFiles, total);
      SetStatusText(Substitute(Translate("%1 : Processing Message %2 of %3 ..."),
                               {f.Name, std::to_string(j + 1), std::to_string(n)}));
      SetProgressPosition(static_cast<int>(MessageNumber(j)));
      if (!ahead) {
        ProcessMessage(i, f, j, n);
        continue;
      }
      std::unique_ptr<TPreparedMessage> item = ahead->Take();
      if (!item) {
        // The reading thread gave up; it has ended, so the list is ours.
        item = std::make_unique<TPreparedMessage>();
        PrepareAhead(f, j, skipping, *item);
      }
      ExtractPrepared(f, j, n, *item);
      ahead->Return(std::move(item));
    }
    // Stopped and joined before the list goes; what it read and was not
    // taken is dropped.
    ahead.reset();
    EndFolder(f, row, total, stopped);
  }
}

void TExtractionWorker::EndFolder(const TJobFolder& f, int row, int total, bool stopped) {
  const TFolderDamage damage = FolderDamage();
  ReleaseMessageList();
  const auto listed = static_cast<std::size_t>(total);
  // Messages the store lost (each failed read has its own line already).
  std::size_t unread = damage.CutTexts;
  if (damage.Announced > listed) unread += damage.Announced - listed;
  const std::size_t of = std::max(damage.Announced, listed);
  // A folder the user stopped in shows it; one whose messages could not all
  // be read says so, whether stopped or not.
  int status = stopped ? fsStopped : fsFinished;
  if (unread > 0 || !damage.Notice.empty()) {
    status = fsError;
    MarkRunFailure();
  }
  UpdateFolderRow(f.Name, row, status, FilesExtracted, MessagesWithFiles, total);
  if (unread > 0)
    AddLog("Unable to Read " + std::to_string(std::min(unread, of)) + " of " + std::to_string(of) +
           " Messages from " + FolderFileKey(f));
  if (!damage.Notice.empty()) AddNotice(damage.Notice);
  if (MessagesWithFiles > 0) AddLog(AttachmentsFromLine(MessagesWithFiles));
}

void TExtractionWorker::Execute() {
  if (!Connect()) {
    MarkRunFailure();
    return;
  }
  try {
    // A history that could not be opened says why (a lock that stayed taken).
    if (!HistoryOpen) NoticeHistory();
    WriteOptionLines();
    SetProgressMax(static_cast<int>(job_.Folders.size()));
    SetStatusText(Translate("Calculating the Message Count..."));
    CountingPass();
    MainPass();
  } catch (const std::exception&) {
    // Ends the run; the closing lines follow as usual.
    MarkRunFailure();
  }
  ReleaseMessageList();
  Disconnect();
  FinishRun();
}

void TExtractionWorker::FinishRun() {
  // What this run recorded is on disk before the run says it is over.
  if (HistoryOpen) {
    History.Commit();
    if (!History.IsOpen()) {
      HistoryOpen = false;
      MarkRunFailure();
      NoticeHistory();
    }
  }
  failedFolders_.clear();
  if (Addresses) Addresses->Flush();
  // The bar's maximum is the last one set: the folder count, or the message
  // count of the last folder that had messages.
  SetProgressPosition(progressMax_);
  const std::string closing = StopRequested() ? N_("Stopped by User.") : FinishedLine();
  // The status in the user's language; the log line as written.
  SetStatusText(Translate(closing));
  AddLog(closing);
  // The run is over once the view shows all of it.
  reports_.Flush();
}

void TExtractionWorker::MessageError(const TJobFolder& folder, std::size_t j) {
  MarkRunFailure();
  AddLog("Error opening Messages (" + std::to_string(MessageNumber(j)) + ") in " +
         FolderFileKey(folder));
}

bool TExtractionWorker::ReadsAhead() const {
  return prepareAhead_ && job_.PauseMs == 0 && CanPrepareAhead();
}

void TExtractionWorker::PrepareMessage(const TJobFolder&, std::size_t, TPreparedMessage& item) {
  item.Absent = true;
}

void TExtractionWorker::PrepareAhead(const TJobFolder& folder, std::size_t j, bool skipping,
                                     TPreparedMessage& item) noexcept {
  try {
    PrepareMessage(folder, j, item);
  } catch (...) {
    item.Failure = std::current_exception();
    return;
  }
  item.Size = item.RawText.size();
  if (item.Absent || item.ReadFailed) return;
  // Parsing a message the worker will pass over would be work for nothing.
  // (The set of messages saved before the run does not change during it.)
  bool passedOver = false;
  try {
    passedOver = skipping && History.SavedBefore(item.KeyText);
  } catch (...) {
    // Left to the worker thread's own skip test.
  }
  if (!passedOver) ParsePrepared(item);
}

void TExtractionWorker::ParsePrepared(TPreparedMessage& item) {
  item.Parsed = true;
  try {
    item.Message = std::make_unique<TMoxMsg>();
    item.Loaded = DecodeRawMessage(std::move(item.RawText), *item.Message, item.Content);
  } catch (...) {
    item.ParseError = std::current_exception();
  }
}

void TExtractionWorker::ExtractPrepared(const TJobFolder& folder, std::size_t j, std::size_t count,
                                        TPreparedMessage& item) {
  if (item.Failure) std::rethrow_exception(item.Failure);
  if (item.Absent) return;
  if (item.ReadFailed) {
    MessageError(folder, j);
    return;
  }
  // One message that cannot be parsed, recorded, named or whose links
  // cannot be fetched must not cost the messages after it.
  try {
    ExtractMessage(folder, j, count, item.KeyText, [&item](TMessageContent& content) {
      if (!item.Parsed) ParsePrepared(item);
      if (item.ParseError) std::rethrow_exception(item.ParseError);
      content = std::move(item.Content);
      return item.Loaded;
    });
  } catch (...) {
    MessageError(folder, j);
  }
}

bool TExtractionWorker::AttachmentSelected(const std::string& fileName) const {
  if (job_.AllFiles) return true;
  const std::string ext = UpperCase(Trim(SplitAttachmentName(fileName).Extension));
  return !ext.empty() && std::find(IncludeExt.begin(), IncludeExt.end(), ext) != IncludeExt.end();
}

bool TExtractionWorker::DecodeRawMessage(std::string&& raw, TMoxMsg& msg,
                                         TMessageContent& content) {
  msg.ClearRawMail();
  try {
    msg.TakeRawText(std::move(raw));
  } catch (...) {
    return false;
  }
  msg.ClearRawMailAfterParse = true;
  msg.ParseRawMail();
  content.Addresses = [&msg](IAddressHarvest& h) { h.AddMessage(msg); };
  content.Date = msg.Date;
  content.Subject = msg.Subject;
  content.Sender = msg.FromAddress;
  for (int k = 0; k < msg.Attachments.Count(); ++k) {
    const TAttachedFile& a = msg.Attachments[k];
    TAttachmentToWrite w;
    w.FileName = a.FileName;
    w.MimeType = a.PartType;
    // Decoded straight into the file being written, in pieces.
    w.Stream = [&a](const TWriteBytes& write) { return a.WriteDecoded(write); };
    content.Attachments.push_back(std::move(w));
  }
  // The HTML body's links first, then the plain text's.
  content.LinkBodies = [&msg] {
    return std::vector<std::string>{JoinLines(msg.HTML), JoinLines(msg.Text)};
  };
  return true;
}

void TExtractionWorker::ExtractMessage(const TJobFolder& folder, std::size_t j, std::size_t count,
                                       const std::string& keyText,
                                       const std::function<bool(TMessageContent&)>& decode) {
  // Passed over only when an earlier run saved every wanted file of it.
  if (job_.SkipDuplicates && HistoryOpen && History.SavedBefore(keyText)) return;
  TMessageContent m;
  if (!decode(m)) return;  // passed over without a line
  if (job_.UseDateInterval && !InDateInterval(m.Date, job_.DateFrom, job_.DateTo)) return;
  // A winmail.dat is followed by the files it carries; damage costs one line.
  for (const TTnefNote& note : UnpackTnefAttachments(m.Attachments))
    AddLog(TnefDamageLine(note, std::to_string(MessageNumber(j)), FolderFileKey(folder)));
  if (job_.HarvestAddresses && Addresses && m.Addresses) {
    try {
      m.Addresses(*Addresses);
    } catch (const std::exception&) {
      // A message whose addresses cannot be read is extracted all the same.
    }
  }
  const int attachmentCount = static_cast<int>(m.Attachments.size());
  Pause();

  const TTargetPath target =
      BuildTargetPath(m.Subject, m.Sender, m.Date, NamingOptionsFromJob(job_, Source));

  const std::string number = std::to_string(j + 1), of = std::to_string(count);
  int downloaded = 0;
  bool allWritten = true;
  if (job_.DownloadLinks && Links && m.LinkBodies) {
    const std::vector<std::string> bodies = m.LinkBodies();
    std::size_t links = 0;
    for (const std::string& b : bodies) links += Links->CountLinks(b);
    if (links >= 1) {
      SetStatusText(
          Substitute(
              Translate("%1 : Downloading embedded images from Internet for Message %2 of %3"),
              {folder.Name, number, of}) +
          StatusLineEnd());
      ILinkDownloads::TRun run;
      run.MessageNumber = std::to_string(MessageNumber(j));
      run.Folder = FolderFileKey(folder);
      run.Stopped = [this] { return StopRequested(); };
      run.Log = [this](const std::string& line) { AddLog(line); };
      run.Notice = [this](const std::string& text) { AddNotice(text); };
      const ILinkDownloads::TResult got = Links->Download(target, bodies, run);
      downloaded = got.Written;
      if (got.Failed > 0) allWritten = false;
    }
  }

  if (attachmentCount >= 1 || downloaded > 0) {
    SetStatusText(Substitute(Translate("%1 : Extracting attachments from message %2 of %3"),
                             {folder.Name, number, of}) +
                  StatusLineEnd());
    ++MessagesWithFiles;
    FilesExtracted += downloaded;

    std::vector<TAttachmentToWrite> files;
    for (const TAttachmentToWrite& a : m.Attachments)
      if (AttachmentSelected(a.FileName)) files.push_back(a);
    TWriteReport report;
    report.MessageNumber = std::to_string(MessageNumber(j));
    report.Folder = FolderFileKey(folder);
    report.Pause = [this] { Pause(); };
    report.Log = [this](const std::string& line) { AddLog(line); };
    report.Failed = [&allWritten] { allWritten = false; };
    report.FirstDirectoryFailure = [this](const std::string& directory) {
      return failedDirectories_.insert(directory).second;
    };
    FilesExtracted += WriteAttachments(target, ExcludeExt, files, report);
  }
  // Recorded once its files are there, saying whether all were saved, so
  // that a later run with the skip choice retries a message that failed.
  if (!allWritten) MarkRunFailure();
  Record(keyText, m.Date, attachmentCount, allWritten);
}

}  // namespace qb
