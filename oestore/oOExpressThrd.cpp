#include "oestore/oOExpressThrd.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "engine/history.h"
#include "engine/oCalcMD5.h"
#include "mime/mimehelpers.h"

namespace qb {

TOEExtracter::TOEExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions)
    : TExtractionWorker(job), linkOptions_(std::move(linkOptions)) {
  OpenHistory(kOEHistoryPath);
  // What the history knew before this run decides what counts as extracted
  // before; records written during the run do not.
  if (HistoryOpen && job_.SkipDuplicates && History.Store()) {
    TStringList sections;
    History.Store()->ReadSections(sections);
    for (const std::string& s : sections)
      if (s.size() == 32) knownDigests_.insert(UpperCase(s));
  }
}

TOEExtracter::~TOEExtracter() = default;

bool TOEExtracter::InDateInterval(TDateTime date, TDateTime from, TDateTime to) {
  if (!std::isfinite(date) || date == 0) return false;
  const double day = std::floor(date);
  return day >= std::floor(from) && day <= std::floor(to);
}

void TOEExtracter::ReadFolderIndex(const TJobFolder& folder, TDbxIndexList& list) {
  LoadDbxIndex(job_.StoreFolder, folder.FileName, &list);
}

std::size_t TOEExtracter::LoadMessageList(const TJobFolder& folder) {
  Messages.clear();
  TDbxIndexList list;
  try {
    ReadFolderIndex(folder, list);
  } catch (const std::exception& e) {
    throw TFolderReadError(e.what(), list.size());
  }
  Messages = MessageRecords(list);
  return Messages.size();
}

void TOEExtracter::ReleaseMessageList() {
  Messages.clear();
  Messages.shrink_to_fit();
}

void TOEExtracter::ProcessMessage(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                                  std::size_t count) {
  if (j >= Messages.size()) return;
  const std::string errorLine =
      "Error opening Messages (" + std::to_string(j) + ") in " + folder.FileName;
  Pause();
  const std::int32_t q = Messages[j].MessageDataPos;
  std::string keyText;
  std::string rawText;
  try {
    std::string dump;
    DumpDbxObject(job_.StoreFolder, folder.FileName, q, dump);
    keyText = KeyTextOfDump(dump);
    Pause();
    LoadDbxMessageText(job_.StoreFolder, folder.FileName, q, rawText);
  } catch (const std::exception&) {
    AddLog(errorLine);
    return;
  }
  // One message that cannot be parsed, recorded, named or whose links
  // cannot be fetched must not cost the messages after it.
  try {
    ProcessMessageText(folderIndex, folder, j, count, keyText, rawText);
  } catch (...) {
    AddLog(errorLine);
  }
}

void TOEExtracter::Record(const std::string& keyText, TDateTime date, int attachments) {
  if (!HistoryOpen) return;
  try {
    RecordHistory(keyText, date, attachments);
  } catch (...) {
    // Read-only, locked or full: the run goes on without a history.
    HistoryOpen = false;
  }
}

bool TOEExtracter::AttachmentSelected(const std::string& fileName) const {
  if (job_.AllFiles) return true;
  const std::string ext = UpperCase(Trim(SplitAttachmentName(fileName).Extension));
  return !ext.empty() && std::find(IncludeExt.begin(), IncludeExt.end(), ext) != IncludeExt.end();
}

TLinkDownloader& TOEExtracter::Links() {
  if (!links_) links_ = std::make_unique<TLinkDownloader>(job_.LinkLists, linkOptions_);
  return *links_;
}

void TOEExtracter::ProcessMessageText(std::size_t, const TJobFolder& folder, std::size_t j,
                                      std::size_t count, const std::string& keyText,
                                      const std::string& rawText) {
  if (job_.SkipDuplicates && !knownDigests_.empty() && knownDigests_.count(MD5Text(keyText)))
    return;

  TMoxMsg msg;
  msg.ClearRawMail();
  try {
    msg.LoadRawMail(rawText);
  } catch (...) {
    return;  // skipped without a line
  }
  msg.ClearRawMailAfterParse = true;
  msg.ParseRawMail();

  if (job_.UseDateInterval && !InDateInterval(msg.Date, job_.DateFrom, job_.DateTo)) return;

  const int attachmentCount = msg.Attachments.Count();
  Record(keyText, msg.Date, attachmentCount);
  Pause();

  const TTargetPath target =
      BuildTargetPath(msg.Subject, msg.FromAddress, msg.Date,
                      NamingOptionsFromJob(job_, TSourceKind::OutlookExpress));

  const std::string number = std::to_string(j + 1) + " of " + std::to_string(count);
  int fromHtml = 0, fromText = 0;
  if (job_.DownloadLinks) {
    const std::string text = JoinLines(msg.Text);
    const std::string html = JoinLines(msg.HTML);
    TStringList a, b;
    Links().GetDownloadLinks(text, a);
    Links().GetDownloadLinks(html, b);
    if (a.size() + b.size() >= 1) {
      SetStatusText(folder.Name + " : Downloading embedded images from Internet for Message " +
                    number + " ...");
      fromHtml = Links().DownloadLinks(target, html);
      fromText = Links().DownloadLinks(target, text);
    }
  }

  if (attachmentCount < 1 && fromHtml + fromText <= 0) return;
  SetStatusText(folder.Name + " : Extracting attachments from message " + number + " ...");
  ++MessagesWithFiles;
  FilesExtracted += fromHtml + fromText;

  std::vector<TAttachmentToWrite> files;
  for (int k = 0; k < attachmentCount; ++k) {
    const TAttachedFile& a = msg.Attachments[k];
    if (!AttachmentSelected(a.FileName)) continue;
    files.push_back({a.FileName, [&a](const std::string& path) {
                       a.SaveToFile(path);
                       return true;
                     }});
  }
  WriteMessageFiles(target, j, folder.FileName, files);
}

}  // namespace qb
