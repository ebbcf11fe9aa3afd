#include "oestore/identities.h"

#include <algorithm>
#include <string_view>

#include "platform/paths.h"
#include "platform/text.h"

namespace qb {

namespace {

constexpr std::string_view kOEKey = "\\Software\\Microsoft\\Outlook Express";
constexpr std::string_view kIdentitiesKey = "\\Identities";
constexpr std::string_view kIdentityOEKey = "\\Software\\Microsoft\\Outlook Express\\5.0";
constexpr std::string_view kStoreRoot = "Store Root";
constexpr std::string_view kUsername = "Username";

// The expansion service of the platform works in a buffer of this many
// characters, the terminating zero included; a longer result is a failure.
constexpr size_t kExpandBufferSize = 1024;

// A value of the wrong type reads like a missing one: the list shows the
// placeholder instead of failing.
std::string ReadText(const TKeyStore& store, const std::string& key, std::string_view name) {
  try {
    return store.ReadString(key, name);
  } catch (const EKeyStoreError&) {
    return {};
  }
}

}  // namespace

void ListOEIdentities(std::vector<std::string>& names, std::vector<std::string>& storeRoots,
                      const TKeyStore& store) {
  names.clear();
  storeRoots.clear();

  std::string defaultRoot;
  if (store.KeyExists(kOEKey)) defaultRoot = ReadText(store, std::string(kOEKey), kStoreRoot);
  if (!Trim(defaultRoot).empty()) {
    names.push_back(kDefaultIdentityName);
    storeRoots.push_back(defaultRoot);
  }

  // A default store made of blanks only still keeps the identities unread.
  if (defaultRoot.empty() && store.KeyExists(kIdentitiesKey)) {
    for (const std::string& subkey : store.SubKeyNames(kIdentitiesKey)) {
      const std::string identity = std::string(kIdentitiesKey) + "\\" + Trim(subkey);
      std::string name;
      if (store.KeyExists(identity)) name = Trim(ReadText(store, identity, kUsername));
      names.push_back(name.empty() ? kUnknownIdentityName : name);

      const std::string oeKey = identity + std::string(kIdentityOEKey);
      std::string root;
      if (store.KeyExists(oeKey)) root = Trim(ReadText(store, oeKey, kStoreRoot));
      storeRoots.push_back(root.empty() ? kEmptyProfileRoot : root);
    }
  }

  for (std::string& root : storeRoots) {
    if (root == kEmptyProfileRoot) continue;
    std::string expanded = ExpandEnvironmentStrings(root);
    expanded.resize(std::min(expanded.size(), expanded.find('\0')));
    if (expanded.size() < kExpandBufferSize) root = expanded;
    std::replace(root.begin(), root.end(), '\\', '/');
  }
}

}  // namespace qb
