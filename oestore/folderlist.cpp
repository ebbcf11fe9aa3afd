#include "oestore/folderlist.h"

namespace qb {

namespace {
bool IsBlank(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) > 32) return false;
  return true;
}
}  // namespace

std::vector<Toe5_FolderInfo> LoadOEFolderList(const std::string& storeDir) {
  TDbxIndexList list;
  LoadDbxIndex(storeDir, std::string(kFoldersFileName), &list);
  return FolderRecords(list);
}

std::vector<TJobFolder> OEJobFolders(const std::vector<Toe5_FolderInfo>& folders) {
  std::vector<TJobFolder> out;
  for (const Toe5_FolderInfo& f : folders) {
    if (IsBlank(f.FileName)) continue;
    TJobFolder j;
    j.Name = f.FolderName;
    j.FileName = f.FileName;
    out.push_back(std::move(j));
  }
  return out;
}

}  // namespace qb
