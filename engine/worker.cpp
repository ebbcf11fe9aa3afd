#include "engine/worker.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>

#include "engine/datetext.h"
#include "engine/readahead.h"
#include "engine/tnefunpack.h"
#include "mime/MoxMsg.h"
#include "mime/decodedmessage.h"
#include "platform/i18n.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qb {

namespace {

// A folder row's total: its count, or while a folder read without counting
// it first is still being read, none.
int RowTotal(std::size_t count) {
  return count == kCountUnknown ? kRowTotalUnknown : static_cast<int>(count);
}

}  // namespace

TExtractionWorker::TExtractionWorker(const TExtractionJob& job,
                                     std::unique_ptr<IMessageSource> source, TRunServices services)
    : job_(job),
      source_(std::move(source)),
      links_(std::move(services.Links)),
      addresses_(std::move(services.Addresses)),
      reports_(job.View) {
  if (links_) links_->Notice = [this](const std::string& text) { AddNotice(text); };
  if (job_.Report && !job_.DryRun) hasher_ = std::make_unique<TReportHasher>(*job_.Report);
  // A dry run leaves the history as it is: it only reads what earlier runs
  // saved, so that it passes over what a real run would.
  if (job_.DryRun) {
    if (job_.SkipDuplicates)
      savedOnly_ = history_.ReadSavedOnly(TExtractionHistory::HistoryPath(source_->HistoryPath()));
    return;
  }
  historyOpen_ = history_.Open(TExtractionHistory::HistoryPath(source_->HistoryPath()));
  history_.SetBatch(kHistoryBatchRecords, kHistoryBatchMs);
  if (!historyOpen_) MarkRunFailure();
}

TExtractionWorker::~TExtractionWorker() = default;

void TExtractionWorker::Record(const std::string& keyText, TDateTime date, int attachments,
                               bool allSaved) {
  if (!historyOpen_) return;
  history_.RecordOutcome(keyText, date, attachments, allSaved);
  if (!history_.IsOpen() || !history_.Notice().empty()) {
    // Read-only, locked or full: the run goes on without a history.
    historyOpen_ = false;
    MarkRunFailure();
    NoticeHistory();
  }
}

void TExtractionWorker::NoticeHistory() {
  if (historyNoticed_ || history_.Notice().empty()) return;
  historyNoticed_ = true;
  AddNotice(history_.Notice());
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

void TExtractionWorker::FolderError(std::size_t i, const TJobFolder& folder) {
  AddLog("Errror opening " + source_->FolderFileKey(folder));
  failedFolders_[i] = true;
  ++summary_.FoldersUnreadable;
  MarkRunFailure();
}

void TExtractionWorker::CountingPass() {
  failedFolders_.assign(job_.Folders.size(), false);
  for (size_t i = 0; i < job_.Folders.size(); ++i) {
    const TJobFolder& f = job_.Folders[i];
    const int row = static_cast<int>(i);
    SetProgressPosition(row);
    if (!source_->FolderHasSource(f)) {
      UpdateFolderRow(f.Name, row, fsNoFile, 0, 0, 0);
      continue;
    }
    SetStatusText(Translate("Calculating the total number of messages..."));
    try {
      const size_t count = source_->OpenFolder(f)->Count();
      UpdateFolderRow(f.Name, row, fsWaiting, 0, 0, RowTotal(count));
    } catch (const TFolderReadError& e) {
      FolderError(i, f);
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
    AddLog("Reading Messages from " + source_->ReadingName(f) + " ...");
    ShowFolderRow(row);
    std::unique_ptr<IFolderCursor> cursor;
    if (source_->FolderHasSource(f)) {
      try {
        cursor = source_->OpenFolder(f);
      } catch (const TFolderReadError&) {
        // The folder went away after it was counted: report it and go on.
        FolderError(i, f);
        UpdateFolderRow(f.Name, row, fsErrorOpening, 0, 0, 0);
        continue;
      }
    }
    std::size_t n = cursor ? cursor->Count() : 0;
    UpdateFolderRow(f.Name, row, fsProgress, 0, 0, RowTotal(n));
    messagesWithFiles_ = 0;
    filesExtracted_ = 0;
    if (n == 0) {
      EndFolder(f, row, 0, false, std::move(cursor));
      continue;
    }
    SetProgressMax(cursor->ByteSize() > 0 ? kByteProgressSteps : static_cast<int>(n));
    const bool stopped = ExtractFolder(f, row, *cursor, n);
    EndFolder(f, row, static_cast<int>(n), stopped, std::move(cursor));
  }
}

void TExtractionWorker::EndFolder(const TJobFolder& f, int row, int total, bool stopped,
                                  std::unique_ptr<IFolderCursor> cursor) {
  const TFolderDamage damage = cursor ? cursor->Damage() : TFolderDamage{};
  // A folder read without a count and stopped early still has none.
  const bool uncounted = cursor && cursor->Count() == kCountUnknown && stopped;
  cursor.reset();
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
  UpdateFolderRow(f.Name, row, status, filesExtracted_, messagesWithFiles_,
                  uncounted ? kRowTotalUnknown : total);
  summary_.MessagesUnreadable += std::min(unread, of);
  if (unread > 0)
    AddLog("Unable to Read " + std::to_string(std::min(unread, of)) + " of " + std::to_string(of) +
           " Messages from " + source_->FolderFileKey(f));
  if (!damage.Notice.empty()) AddNotice(damage.Notice);
  if (messagesWithFiles_ > 0) AddLog(AttachmentsFromLine(messagesWithFiles_));
}

bool TExtractionWorker::ExtractFolder(const TJobFolder& f, int row, IFolderCursor& cursor,
                                      std::size_t& count) {
  const std::size_t n = count;
  // Without a count, the messages are numbered as they come and the status
  // names one only once it is there.
  const bool counted = n != kCountUnknown;
  const std::function<void()> pause = [this] { Pause(); };
  const std::function<void()> noPause = [] {};
  // Whether the skip test may pass messages over is fixed for the reading
  // thread now; the worker thread still decides for each message.
  const bool skippingAhead = SkipTestOn();
  std::unique_ptr<TReadAhead> ahead;
  if (ReadsAhead())
    ahead = std::make_unique<TReadAhead>(n, [&](std::size_t j, TPreparedMessage& item) {
      Prepare(cursor, j, skippingAhead, noPause, item);
    });
  bool stopped = false;
  const std::uint64_t bytes = cursor.ByteSize();
  std::uint64_t bytesDone = 0;
  std::size_t j = 0;
  for (; j < n; ++j) {
    if (StopRequested()) {
      stopped = true;
      break;
    }
    const int total = RowTotal(n);
    UpdateFolderRow(f.Name, row, fsProgress, filesExtracted_, messagesWithFiles_, total);
    if (counted) ProcessingStatus(f, j, n);
    SetProgressPosition(
        bytes > 0 ? static_cast<int>(std::min(bytesDone, bytes) * kByteProgressSteps / bytes)
                  : static_cast<int>(source_->MessageNumber(j)));
    std::unique_ptr<TPreparedMessage> item;
    if (ahead) item = ahead->Take();
    if (!item) {
      // Read here: without reading ahead, or when the reading thread gave
      // up (it has ended then, so the cursor is ours).
      item = std::make_unique<TPreparedMessage>();
      if (!ahead) Pause();
      Prepare(cursor, j, SkipTestOn(), ahead ? noPause : pause, *item);
    }
    if (item->Read.End) break;
    if (!counted) ProcessingStatus(f, j, n);
    Extract(f, j, n, *item);
    bytesDone = std::max(bytesDone, item->Read.EndOffset);
    if (ahead) ahead->Return(std::move(item));
  }
  // Stopped and joined before the cursor goes; what it read and was not
  // taken is dropped.
  ahead.reset();
  if (!counted) count = j;
  return stopped;
}

void TExtractionWorker::ProcessingStatus(const TJobFolder& f, std::size_t j, std::size_t n) {
  SetStatusText(CountedText(N_("%1 : Processing Message %2 of %3 ..."),
                            N_("%1 : Processing Message %2 ..."), f, j, n));
}

std::string TExtractionWorker::MessageStatus(const char* counted, const char* uncounted,
                                             const TJobFolder& f, std::size_t j,
                                             std::size_t n) const {
  return CountedText(counted, uncounted, f, j, n) + source_->StatusLineEnd();
}

std::string TExtractionWorker::CountedText(const char* counted, const char* uncounted,
                                           const TJobFolder& f, std::size_t j, std::size_t n) {
  const std::string number = std::to_string(j + 1);
  return n == kCountUnknown ? Substitute(Translate(uncounted), {f.Name, number})
                            : Substitute(Translate(counted), {f.Name, number, std::to_string(n)});
}

void TExtractionWorker::Execute() {
  if (!source_->Connect()) {
    MarkRunFailure();
    return;
  }
  try {
    // A history that could not be opened says why (a lock that stayed taken).
    if (!historyOpen_) NoticeHistory();
    WriteOptionLines();
    SetProgressMax(static_cast<int>(job_.Folders.size()));
    SetStatusText(Translate("Calculating the Message Count..."));
    CountingPass();
    MainPass();
  } catch (const std::bad_alloc&) {
    MarkRunFailure();
    AddLog(kOutOfMemoryLine);
  } catch (const std::exception&) {
    // Ends the run; the closing lines follow as usual.
    MarkRunFailure();
  } catch (...) {
    // Of a kind nothing of ours raises (a library's own): it ends the run
    // all the same, with what the run recorded kept and its closing lines.
    MarkRunFailure();
  }
  source_->Disconnect();
  FinishRun();
}

void TExtractionWorker::FinishRun() {
  // What this run recorded is on disk before the run says it is over.
  if (historyOpen_) {
    history_.Commit();
    if (!history_.IsOpen()) {
      historyOpen_ = false;
      MarkRunFailure();
      NoticeHistory();
    }
  }
  failedFolders_.clear();
  if (addresses_) addresses_->Flush();
  // Every row of the report is out before the run says it is over.
  if (hasher_) hasher_->Finish();
  // The bar's maximum is the last one set: the folder count, or the message
  // count of the last folder that had messages.
  SetProgressPosition(progressMax_);
  for (const std::string& line : source_->ClosingLines()) AddLog(line);
  const std::string closing = StopRequested() ? N_("Stopped by User.") : source_->FinishedLine();
  // The status in the user's language; the log line as written.
  SetStatusText(Translate(closing));
  AddLog(closing);
  // The run is over once the view shows all of it.
  reports_.Flush();
}

void TExtractionWorker::MessageError(const TJobFolder& folder, std::size_t j) {
  MarkRunFailure();
  ++summary_.MessagesUnreadable;
  AddLog("Error opening Messages (" + std::to_string(source_->MessageNumber(j)) + ") in " +
         source_->FolderFileKey(folder));
}

bool TExtractionWorker::SkipTestOn() const {
  return job_.SkipDuplicates && (historyOpen_ || savedOnly_);
}

bool TExtractionWorker::ReadsAhead() const {
  return prepareAhead_ && job_.PauseMs == 0 && source_->CanReadAhead();
}

void TExtractionWorker::Prepare(IFolderCursor& cursor, std::size_t j, bool skipping,
                                const std::function<void()>& pause,
                                TPreparedMessage& item) noexcept {
  try {
    cursor.Read(j, item.Read, pause);
    // A key left for later is made here when the worker thread is the slow
    // side.
    if (item.Ahead) item.Read.Key();
    item.Size = item.Read.RawText.size() + item.Read.KeySource.size();
    // Parsing a message the worker will pass over would be work for
    // nothing. (The set of messages saved before the run does not change
    // during it.)
    if (skipping && history_.SavedBefore(item.Read.Key())) return;
    Parse(item);
  } catch (...) {
    // Whatever it was, it belongs to this message: raised again on the
    // worker thread, which tells the kinds apart.
    item.Error = std::current_exception();
  }
}

void TExtractionWorker::Parse(TPreparedMessage& item) {
  item.Parsed = true;
  if (item.Read.Describe) {
    item.Loaded = item.Read.Describe(item.Content);
    return;
  }
  item.Decoded = std::make_unique<TDecodedMessage>();
  item.Loaded = DecodeRawMessage(std::move(item.Read.RawText), *item.Decoded);
  if (!item.Loaded) return;
  const TDecodedMessage& d = *item.Decoded;
  TMessageContent& c = item.Content;
  c.Date = d.Date();
  c.Subject = d.Subject();
  c.Sender = d.Sender();
  c.MessageID = d.Message().MessageID;
  for (std::size_t k = 0; k < d.AttachmentCount(); ++k) {
    TAttachmentToWrite w;
    w.FileName = d.AttachmentName(k);
    w.MimeType = d.AttachmentType(k);
    // Decoded straight into the file being written, in pieces.
    w.Stream = [&d, k](const TWriteBytes& write) { return d.WriteAttachment(k, write); };
    c.Attachments.push_back(std::move(w));
  }
  c.LinkBodies = [&d] { return d.LinkBodies(); };
  c.Addresses = [&d](IAddressHarvest& h) { h.AddMessage(d.Message()); };
}

void TExtractionWorker::Extract(const TJobFolder& folder, std::size_t j, std::size_t count,
                                TPreparedMessage& item) {
  // One message that cannot be read, parsed, recorded, named or whose links
  // cannot be fetched must not cost the messages after it.
  try {
    if (item.Error) std::rethrow_exception(item.Error);
    ExtractMessage(folder, j, count, item);
    ++summary_.MessagesRead;
  } catch (const std::bad_alloc&) {
    throw;  // ends the run
  } catch (const std::exception&) {
    MessageError(folder, j);
  }
}

bool TExtractionWorker::AttachmentSelected(const std::string& fileName) const {
  if (job_.AllFiles) return true;
  const std::string ext = UpperCase(Trim(SplitAttachmentName(fileName).Extension));
  return !ext.empty() &&
         std::find(job_.IncludeExt.begin(), job_.IncludeExt.end(), ext) != job_.IncludeExt.end();
}

void TExtractionWorker::ExtractMessage(const TJobFolder& folder, std::size_t j, std::size_t count,
                                       TPreparedMessage& item) {
  const std::string& keyText = item.Read.Key();
  // Passed over only when an earlier run saved every wanted file of it.
  if (SkipTestOn() && history_.SavedBefore(keyText)) return;
  // Parsed now when it was left for a skip test that did not pass it over.
  if (!item.Parsed) Parse(item);
  if (!item.Loaded) return;  // passed over without a line
  TMessageContent& m = item.Content;
  if (job_.UseDateInterval && !InDateInterval(m.Date, job_.DateFrom, job_.DateTo)) return;
  // A winmail.dat is followed by the files it carries; damage costs one line.
  for (const TTnefNote& note : UnpackTnefAttachments(m.Attachments))
    AddLog(TnefDamageLine(note, std::to_string(source_->MessageNumber(j)),
                          source_->FolderFileKey(folder)));
  if (job_.HarvestAddresses && addresses_ && m.Addresses) {
    try {
      m.Addresses(*addresses_);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception&) {
      // A message whose addresses cannot be read is extracted all the same.
    }
  }
  const int attachmentCount = static_cast<int>(m.Attachments.size());
  Pause();

  const TTargetPath target =
      BuildTargetPath(m.Subject, m.Sender, m.Date, NamingOptionsFromJob(job_, source_->Kind()));

  int downloaded = 0;
  bool allWritten = true;
  if (job_.DownloadLinks && links_ && m.LinkBodies && !job_.DryRun) {
    const std::vector<std::string> bodies = m.LinkBodies();
    std::size_t links = 0;
    for (const std::string& b : bodies) links += links_->CountLinks(b);
    if (links >= 1) {
      SetStatusText(MessageStatus(
          N_("%1 : Downloading embedded images from Internet for Message %2 of %3"),
          N_("%1 : Downloading embedded images from Internet for Message %2"), folder, j, count));
      ILinkDownloads::TRun run;
      run.MessageNumber = std::to_string(source_->MessageNumber(j));
      run.Folder = source_->FolderFileKey(folder);
      run.Stopped = [this] { return StopRequested(); };
      run.Log = [this](const std::string& line) { AddLog(line); };
      run.Notice = [this](const std::string& text) { AddNotice(text); };
      // A row for every file the links gave and every link that failed; the
      // summary counts them as links, not as attachments.
      if (job_.Report) {
        run.Outcome = [&](const std::string& name, TAttachmentOutcome& o) {
          ReportRow(folder, m, name, o);
        };
        run.Digests = true;
        run.DeferDigests = hasher_ != nullptr;
      }
      const ILinkDownloads::TResult got = links_->Download(target, bodies, run);
      downloaded = got.Written;
      summary_.LinksFetched += static_cast<std::uint64_t>(std::max(got.Written, 0));
      summary_.DownloadsFailed += static_cast<std::uint64_t>(std::max(got.Failed, 0));
      if (got.Failed > 0) allWritten = false;
    }
  }

  if (attachmentCount >= 1 || downloaded > 0) {
    SetStatusText(MessageStatus(N_("%1 : Extracting attachments from message %2 of %3"),
                                N_("%1 : Extracting attachments from message %2"), folder, j,
                                count));
    ++messagesWithFiles_;
    filesExtracted_ += downloaded;

    std::vector<TAttachmentToWrite> files;
    for (const TAttachmentToWrite& a : m.Attachments) {
      if (AttachmentSelected(a.FileName)) {
        files.push_back(a);
        continue;
      }
      TAttachmentOutcome o;
      o.Kind = TAttachmentOutcome::Excluded;
      o.Reason = "not in the include list";
      Tally(folder, m, a.FileName, o);
    }
    TWriteReport report;
    report.MessageNumber = std::to_string(source_->MessageNumber(j));
    report.Folder = source_->FolderFileKey(folder);
    report.Pause = [this] { Pause(); };
    report.Log = [this](const std::string& line) { AddLog(line); };
    report.Failed = [&allWritten] { allWritten = false; };
    report.FirstDirectoryFailure = [this](const std::string& directory) {
      return failedDirectories_.insert(directory).second;
    };
    report.Outcome = [&](TAttachmentOutcome& o) { Tally(folder, m, files[o.Index].FileName, o); };
    report.Digests = job_.Report != nullptr;
    report.DeferDigests = hasher_ != nullptr;
    if (job_.DryRun) report.Planned = &planned_;
    filesExtracted_ += WriteAttachments(target, job_.ExcludeExt, files, report);
  }
  // Recorded once its files are there, saying whether all were saved, so
  // that a later run with the skip choice retries a message that failed.
  if (!allWritten) MarkRunFailure();
  if (!job_.DryRun) Record(keyText, m.Date, attachmentCount, allWritten);
}

void TExtractionWorker::Tally(const TJobFolder& folder, const TMessageContent& m,
                              const std::string& name, TAttachmentOutcome& o) {
  switch (o.Kind) {
    case TAttachmentOutcome::Written:
      ++summary_.AttachmentsWritten;
      summary_.BytesWritten += o.Size;
      break;
    case TAttachmentOutcome::SameBytesThere:
      ++summary_.SameBytesThere;
      break;
    case TAttachmentOutcome::Excluded:
      ++summary_.PassedOverByLists;
      break;
    case TAttachmentOutcome::Failed:
      ++summary_.NotWritten;
      break;
  }
  if (job_.Report) ReportRow(folder, m, name, o);
}

void TExtractionWorker::ReportRow(const TJobFolder& folder, const TMessageContent& m,
                                  const std::string& name, TAttachmentOutcome& o) {
  TReportRow row;
  row.WrittenPath = PathBelowDestination(o.Path, job_.DestinationDir);
  switch (o.Kind) {
    case TAttachmentOutcome::Written:
      row.Outcome = TReportOutcome::Written;
      break;
    case TAttachmentOutcome::SameBytesThere:
      row.Outcome = TReportOutcome::SameBytesThere;
      break;
    case TAttachmentOutcome::Excluded:
      row.Outcome = TReportOutcome::Excluded;
      break;
    case TAttachmentOutcome::Failed:
      row.Outcome = TReportOutcome::Failed;
      break;
  }
  row.Reason = o.Reason;
  row.Size = o.Size;
  row.Sha256 = o.Sha256;
  row.OriginalName = name;
  // The store file or mailbox the message came from.
  if (folder.FileName.empty())
    row.Source = job_.StoreFolder;
  else if (folder.FileName.front() == '/' || job_.StoreFolder.empty())
    row.Source = folder.FileName;
  else
    row.Source = IncludeTrailingSlash(job_.StoreFolder) + folder.FileName;
  row.Folder = folder.Name;
  row.Date = m.Date;
  row.From = m.Sender;
  row.Subject = m.Subject;
  row.MessageID = m.MessageID;
  if (hasher_)
    hasher_->Add(std::move(row), std::move(o.Bytes), o.DigestDeferred);
  else
    job_.Report->AddRow(row);
}

}  // namespace qb
