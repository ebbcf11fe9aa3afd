#include "oestore/oOExpressThrd.h"

#include <exception>

namespace qb {

TOEExtracter::TOEExtracter(const TExtractionJob& job) : TExtractionWorker(job) {}

TOEExtracter::~TOEExtracter() = default;

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
  Pause();
  const std::int32_t q = Messages[j].MessageDataPos;
  std::string keyText;
  std::string rawText;
  try {
    DumpDbxObject(job_.StoreFolder, folder.FileName, q, keyText);
    Pause();
    LoadDbxMessageText(job_.StoreFolder, folder.FileName, q, rawText);
  } catch (const std::exception&) {
    AddLog("Error opening Messages (" + std::to_string(j) + ") in " + folder.FileName);
    return;
  }
  ProcessMessageText(folderIndex, folder, j, count, keyText, rawText);
}

void TOEExtracter::ProcessMessageText(std::size_t, const TJobFolder&, std::size_t, std::size_t,
                                      const std::string&, const std::string&) {}

}  // namespace qb
