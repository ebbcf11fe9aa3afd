// The folder list of an Outlook Express store, read from its "folders.dbx".
#pragma once

#include <string>
#include <vector>

#include "engine/job.h"
#include "oestore/dbxreader.h"

namespace qb {

// Every folder record of storeDir's "folders.dbx" in index order (those
// with a file name or id 6). Throws EFOpenError when the file cannot be
// opened.
std::vector<Toe5_FolderInfo> LoadOEFolderList(const std::string& storeDir);

// The folders that have a message file (file name not blank), as a run
// takes them: display name and file name.
std::vector<TJobFolder> OEJobFolders(const std::vector<Toe5_FolderInfo>& folders);

}  // namespace qb
