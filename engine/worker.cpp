#include "engine/worker.h"

#include <algorithm>

#include "engine/datetext.h"
#include "platform/text.h"

namespace qb {

TExtractionWorker::TExtractionWorker(const TExtractionJob& job)
    : job_(job), IncludeExt(job.IncludeExt), ExcludeExt(job.ExcludeExt), reports_(job.View) {
  DestinationDir = Trim(job.DestinationDir);
}

TExtractionWorker::~TExtractionWorker() = default;

void TExtractionWorker::OpenHistory(const std::string& relativePath) {
  HistoryOpen = History.Open(TExtractionHistory::HistoryPath(relativePath));
  History.SetBatch(kHistoryBatchRecords, kHistoryBatchMs);
}

void TExtractionWorker::RecordHistory(const std::string& keyText, TDateTime date, int attachments) {
  if (HistoryOpen) History.RecordMessage(keyText, date, attachments);
}

const std::string& TExtractionWorker::SeparatorLine() {
  static const std::string line(86, '-');
  return line;
}

std::string TExtractionWorker::AttachmentsFromLine(int messages) {
  return "Attachments from " + std::to_string(messages) +
         (messages == 1 ? " Message is extracted" : " Messages are extracted");
}

bool TExtractionWorker::StopRequested() const {
  return job_.StopRequested && job_.StopRequested->load(std::memory_order_relaxed) == 1;
}

void TExtractionWorker::Pause() const {
  Sleep(job_.PauseMs);
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
  for (size_t i = 0; i < job_.Folders.size(); ++i) {
    const TJobFolder& f = job_.Folders[i];
    const int row = static_cast<int>(i);
    SetProgressPosition(row);
    if (!FolderHasSource(f)) {
      UpdateFolderRow(f.Name, row, fsNoFile, 0, 0, 0);
      continue;
    }
    SetStatusText("Calculating the total number of messages...");
    try {
      size_t count = LoadMessageList(f);
      ReleaseMessageList();
      UpdateFolderRow(f.Name, row, fsWaiting, 0, 0, static_cast<int>(count));
    } catch (const TFolderReadError& e) {
      ReleaseMessageList();
      AddLog("Errror opening " + FolderFileKey(f));
      MarkFolderFailed(FolderFileKey(f));
      UpdateFolderRow(f.Name, row, fsErrorOpening, 0, 0, static_cast<int>(e.RecordsRead));
    }
  }
}

void TExtractionWorker::MainPass() {
  for (size_t i = 0; i < job_.Folders.size(); ++i) {
    if (StopRequested()) break;
    const TJobFolder& f = job_.Folders[i];
    const int row = static_cast<int>(i);
    const std::string key = FolderFileKey(f);
    if (FolderHasSource(f) && FolderFailed(key)) {
      UpdateFolderRow(f.Name, row, fsErrorOpening, 0, 0, 0);
      continue;
    }
    AddLog("Reading Messages from " + key + " ...");
    size_t n = 0;
    if (FolderHasSource(f)) {
      try {
        n = LoadMessageList(f);
      } catch (const TFolderReadError&) {
        // The folder went away after it was counted: report it and go on.
        ReleaseMessageList();
        AddLog("Errror opening " + key);
        UpdateFolderRow(f.Name, row, fsErrorOpening, 0, 0, 0);
        continue;
      }
    }
    ShowFolderRow(row);
    const int total = static_cast<int>(n);
    UpdateFolderRow(f.Name, row, fsProgress, 0, 0, total);
    if (n == 0) {
      UpdateFolderRow(f.Name, row, fsFinished, 0, 0, 0);
      continue;
    }
    MessagesWithFiles = 0;
    FilesExtracted = 0;
    SetProgressMax(total);
    for (size_t j = 0; j < n; ++j) {
      if (StopRequested()) break;
      UpdateFolderRow(f.Name, row, fsProgress, FilesExtracted, MessagesWithFiles, total);
      SetStatusText(f.Name + " : Processing Message " + std::to_string(j + 1) + " of " +
                    std::to_string(n) + " ...");
      SetProgressPosition(static_cast<int>(j));
      ProcessMessage(i, f, j, n);
    }
    UpdateFolderRow(f.Name, row, fsFinished, FilesExtracted, MessagesWithFiles, total);
    if (MessagesWithFiles > 0) AddLog(AttachmentsFromLine(MessagesWithFiles));
  }
}

void TExtractionWorker::Execute() {
  WriteOptionLines();
  SetProgressMax(static_cast<int>(job_.Folders.size()));
  SetStatusText("Calculating the Message Count...");
  CountingPass();
  MainPass();
  ReleaseMessageList();
  FinishRun();
}

void TExtractionWorker::FinishRun() {
  // What this run recorded is on disk before the run says it is over.
  if (HistoryOpen) {
    History.Commit();
    HistoryOpen = History.IsOpen();
  }
  failed_.clear();
  // The bar's maximum is the last one set: the folder count, or the message
  // count of the last folder that had messages.
  SetProgressPosition(progressMax_);
  const std::string closing = StopRequested() ? "Stopped by User." : FinishedLine();
  SetStatusText(closing);
  AddLog(closing);
  // The run is over once the view shows all of it.
  reports_.Flush();
}

bool TExtractionWorker::FolderFailed(const std::string& key) const {
  return std::find(failed_.begin(), failed_.end(), key) != failed_.end();
}

void TExtractionWorker::WriteMessageFiles(const TTargetPath& target, std::size_t messageNumber,
                                          const std::string& folderKey,
                                          const std::vector<TAttachmentToWrite>& files) {
  TWriteReport report;
  report.MessageNumber = std::to_string(messageNumber);
  report.Folder = folderKey;
  report.Pause = [this] { Pause(); };
  report.Log = [this](const std::string& line) { AddLog(line); };
  FilesExtracted += WriteAttachments(target, ExcludeExt, files, report);
}

}  // namespace qb
