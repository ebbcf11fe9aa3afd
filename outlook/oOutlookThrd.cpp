#include "outlook/oOutlookThrd.h"

#include <algorithm>

#include "engine/datetext.h"
#include "engine/naming.h"

namespace qb {

TOutlookExtracter::TOutlookExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions)
    : TExtractionWorker(job), linkOptions_(std::move(linkOptions)) {
  history_.Open(TExtractionHistory::HistoryPath(kOutlookHistoryPath));
}

TOutlookExtracter::~TOutlookExtracter() {
  items_.reset();
  ns_.reset();
  app_.reset();
  history_.Close();
}

std::size_t TOutlookExtracter::LoadMessageList(const TJobFolder& folder) {
  items_.reset();
  try {
    std::shared_ptr<ole::IOlFolder> f = ns_->GetFolderFromID(folder.EntryID);
    items_ = f->Items();
    const int count = items_->Count();
    return count > 0 ? static_cast<std::size_t>(count) : 0;
  } catch (const std::exception& e) {
    items_.reset();
    throw TFolderReadError(e.what(), 0);
  }
}

void TOutlookExtracter::CountingPass() {
  const std::vector<TJobFolder>& folders = Job().Folders;
  for (size_t i = 0; i < folders.size(); ++i) {
    const TJobFolder& f = folders[i];
    const int row = static_cast<int>(i);
    SetProgressPosition(row);
    SetStatusText("Calculating the total number of messages...");
    try {
      const size_t count = LoadMessageList(f);
      ReleaseMessageList();
      UpdateFolderRow(f.Name, row, fsWaiting, 0, 0, static_cast<int>(count));
    } catch (const TFolderReadError&) {
      AddLog("Errror opening " + FolderFileKey(f));
      MarkFolderFailed(FolderFileKey(f));
      UpdateFolderRow(f.Name, row, fsErrorOpening, 0, 0, 0);
    }
  }
}

void TOutlookExtracter::ExtractionPass() {
  const std::vector<TJobFolder>& folders = Job().Folders;
  for (size_t i = 0; i < folders.size(); ++i) {
    if (StopRequested()) break;
    const TJobFolder& f = folders[i];
    const int row = static_cast<int>(i);
    const std::string key = FolderFileKey(f);
    if (FolderFailed(key)) {
      UpdateFolderRow(f.Name, row, fsErrorOpening, 0, 0, 0);
      continue;
    }
    AddLog("Reading Messages from " + f.Name + " ...");
    ShowFolderRow(row);
    size_t n = 0;
    try {
      n = LoadMessageList(f);
    } catch (const TFolderReadError&) {
      // Gone since it was counted: a failed folder all the same.
      AddLog("Errror opening " + key);
      MarkFolderFailed(key);
      UpdateFolderRow(f.Name, row, fsErrorOpening, 0, 0, 0);
      continue;
    }
    const int total = static_cast<int>(n);
    UpdateFolderRow(f.Name, row, fsProgress, 0, 0, total);
    if (n == 0) {
      UpdateFolderRow(f.Name, row, fsFinished, 0, 0, total);
      continue;
    }
    MessagesWithFiles = 0;
    FilesExtracted = 0;
    SetProgressMax(total);
    for (size_t j = 0; j < n; ++j) {
      if (!items_) break;
      std::shared_ptr<ole::IOlMailItem> item;
      try {
        item = items_->Item(static_cast<int>(j + 1));
      } catch (const std::exception&) {
      }
      if (StopRequested()) break;
      const int J = static_cast<int>(j + 1);
      try {
        if (!item) throw ole::EOleException("The item cannot be opened.");
        ProcessItem(*item, f, row, J, total);
      } catch (const std::exception&) {
        AddLog("Error opening Messages (" + std::to_string(J) + ") in " + key);
      }
    }
    ReleaseMessageList();
    UpdateFolderRow(f.Name, row, fsFinished, FilesExtracted, MessagesWithFiles, total);
    if (MessagesWithFiles > 0) AddLog(AttachmentsFromLine(MessagesWithFiles));
  }
}

void TOutlookExtracter::ProcessMessage(std::size_t folderIndex, const TJobFolder& folder,
                                       std::size_t j, std::size_t count) {
  if (!items_) throw ole::EOleException("No folder is open.");
  std::shared_ptr<ole::IOlMailItem> item = items_->Item(static_cast<int>(j + 1));
  ProcessItem(*item, folder, static_cast<int>(folderIndex), static_cast<int>(j + 1),
              static_cast<int>(count));
}

void TOutlookExtracter::ProcessItem(ole::IOlMailItem& item, const TJobFolder& folder, int row,
                                    int J, int n) {
  const std::string& name = folder.Name;
  const std::string number = std::to_string(J) + " of " + std::to_string(n);
  UpdateFolderRow(name, row, fsProgress, FilesExtracted, MessagesWithFiles, n);
  SetStatusText(name + " : Processing Message " + number + " ...");
  SetProgressPosition(J);
  Pause();

  // The history record: every recipient's address, the received time and
  // the subject, run together.
  std::string keyText;
  std::shared_ptr<ole::IOlRecipients> recipients = item.Recipients();
  const int recipientCount = recipients->Count();
  for (int r = 1; r <= recipientCount; ++r)
    keyText += recipients->Item(r)->AddressEntry()->Address();
  const TDateTime received = item.ReceivedTime();
  const std::string subject = item.Subject();
  keyText += DateTimeText(received) + subject;
  std::shared_ptr<ole::IOlAttachments> attachments = item.Attachments();
  const int attachmentCount = attachments->Count();
  history_.RecordMessage(keyText, received, attachmentCount);
  Pause();

  const TTargetPath target = BuildTargetPath(subject, item.SenderName(), received,
                                             NamingOptionsFromJob(Job(), TSourceKind::Outlook));

  int downloaded = 0;
  if (Job().DownloadLinks) {
    if (!links_) links_ = std::make_unique<TLinkDownloader>(Job().LinkLists, linkOptions_);
    const std::string body = item.Body();
    const std::string html = item.HTMLBody();
    TStringList a, b;
    links_->GetDownloadLinks(body, a);
    links_->GetDownloadLinks(html, b);
    if (!a.empty() || !b.empty()) {
      SetStatusText(name + " : Downloading embedded images from Internet for Message " + number);
      downloaded += links_->DownloadLinks(target, body);
      downloaded += links_->DownloadLinks(target, html);
    }
  }

  if (attachmentCount < 1 && downloaded < 1) return;
  SetStatusText(name + " : Extracting attachments from message " + number);
  ++MessagesWithFiles;
  FilesExtracted += downloaded;
  std::vector<TAttachmentToWrite> files;
  for (int k = 1; k <= attachmentCount; ++k) {
    std::shared_ptr<ole::IOlAttachment> attachment = attachments->Item(k);
    files.push_back({attachment->Text(), [attachment](const std::string& path) {
                       attachment->SaveAsFile(path);
                       return true;
                     }});
  }
  WriteMessageFiles(target, static_cast<std::size_t>(J), folder.Key, files);
}

void TOutlookExtracter::Execute() {
  try {
    ole::CoInitialize();
    app_ = ole::CreateOleObject("Outlook.Application");
    ns_ = app_->GetNameSpace("MAPI");
  } catch (const std::exception&) {
    ns_.reset();
    app_.reset();
    return;
  }
  try {
    WriteOptionLines();
    SetProgressMax(static_cast<int>(Job().Folders.size()));
    SetStatusText("Calculating the Message Count...");
    CountingPass();
    ExtractionPass();
  } catch (const std::exception&) {
    // Ends the run; the closing lines follow as usual.
  }
  ReleaseMessageList();
  ns_.reset();
  app_.reset();
  FinishRun();
}

}  // namespace qb
