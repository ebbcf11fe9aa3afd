// The Outlook object model over .pst files, read with libpff.
//
// Each store is one top-level folder named as Outlook shows it (the store's
// display name) holding the folders below the top of the personal folders.
// Files are opened read-only; a file that does not open as a store is left
// out. Texts are UTF-8, as libpff gives them.
#pragma once

#include <string>
#include <vector>

#include "outlook/automation.h"

namespace qb {

// The key-store key whose string values name the configured .pst files.
inline constexpr const char* kOutlookStoresKey = "Software\\Quillbox\\Outlook\\Stores";

// The .pst files named under kOutlookStoresKey, in value order.
std::vector<std::string> OutlookStoreKeyValues();

// Every store the program knows of: the files named under kOutlookStoresKey,
// then every *.pst in AppDataDir()/Quillbox/Outlook/ (sorted by name).
std::vector<std::string> ConfiguredPstStores();

// "" when path opens as a store; otherwise why it does not.
std::string PstStoreProblem(const std::string& path);

namespace ole {

// The provider over the configured stores followed by extraFiles (the
// command line's --pst files). The list is read each time an application is
// created. A path given twice is opened once. With no store that opens,
// creating the application fails as it does where Outlook is not installed.
TOlApplicationFactory PstApplicationFactory(std::vector<std::string> extraFiles,
                                            bool withConfigured = true);

// The text of an entry id for the folder with the given libpff identifier in
// the store file at canonicalPath, and its reading back.
std::string MakePstEntryId(const std::string& canonicalPath, unsigned identifier);
bool ParsePstEntryId(const std::string& entryId, std::string& canonicalPath, unsigned& identifier);

// DefaultItemType for a folder's container class ("" when it has none).
int ItemTypeOfContainerClass(const std::string& containerClass);

}  // namespace ole
}  // namespace qb
