#include "oestore/folderlist.h"

#include "platform/text.h"

namespace qb {

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
