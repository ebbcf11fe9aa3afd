// Where the program finds the .pst files it offers as Outlook's stores.
#include <algorithm>
#include <filesystem>

#include "outlook/pstprovider.h"
#include "platform/keystore.h"
#include "platform/paths.h"

namespace qb {

std::vector<std::string> OutlookStoreKeyValues() {
  std::vector<std::string> files;
  TKeyStore& store = UserKeyStore();
  for (const std::string& name : store.ValueNames(kOutlookStoresKey)) {
    const std::optional<TRegValue> v = store.GetValue(kOutlookStoresKey, name);
    if (!v || !v->IsText() || v->Data.empty()) continue;
    files.push_back(v->Type == kRegExpandSz ? ExpandEnvironmentStrings(v->Data) : v->Data);
  }
  return files;
}

std::vector<std::string> ConfiguredPstStores() {
  std::vector<std::string> stores = OutlookStoreKeyValues();
  const std::string dir = AppDataDir() + "/Quillbox/Outlook";
  std::vector<std::string> found;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 4) continue;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    std::error_code fec;
    if (ext == ".pst" && it->is_regular_file(fec)) found.push_back(it->path().string());
  }
  std::sort(found.begin(), found.end());
  stores.insert(stores.end(), found.begin(), found.end());
  return stores;
}

}  // namespace qb
