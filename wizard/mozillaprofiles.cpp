#include "wizard/mozillaprofiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

#include "platform/paths.h"
#include "platform/text.h"

namespace qb::wiz {

namespace fs = std::filesystem;

namespace {

// Deeper mail folder trees than this are not walked further.
constexpr int kMaxFolderDepth = 64;

// The names in dir, in name order (letter case ignored, then bytes); hidden
// ones (a leading '.') only when asked for.
std::vector<std::string> EntryNames(const std::string& dir, bool withHidden) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name == "." || name == ".." || (!withHidden && name[0] == '.')) continue;
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string la = LowerCase(a), lb = LowerCase(b);
    return la != lb ? la < lb : a < b;
  });
  return names;
}

// The part of name from its last '.', "" when it has none.
std::string Extension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

using TDirId = std::pair<dev_t, ino_t>;

void Walk(const std::string& dir, int depth, std::set<TDirId>& seen,
          std::vector<TMailboxNode>& out) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !seen.insert({st.st_dev, st.st_ino}).second) return;
  const std::string base = IncludeTrailingSlash(dir);
  for (const std::string& name : EntryNames(dir, true)) {
    const std::string path = base + name;
    if (DirectoryExists(path)) {
      TMailboxNode node;
      node.Name = SameText(Extension(name), ".sbd") ? name.substr(0, name.size() - 4) : name;
      if (depth < kMaxFolderDepth) Walk(path, depth + 1, seen, node.Children);
      out.push_back(std::move(node));
    } else if (Extension(name).empty() && FileExists(path)) {
      TMailboxNode node;
      node.Name = name;
      node.Path = path;
      node.IsMailbox = true;
      out.push_back(std::move(node));
    }
  }
}

}  // namespace

std::vector<TMozillaProfile> ListMozillaProfiles(int kind) {
  const std::string root = IncludeTrailingSlash(AppDataDir()) +
                           (kind == 0 ? "Mozilla/Profiles/" : "ThunderBird/Profiles/");
  std::vector<TMozillaProfile> r;
  for (const std::string& name : EntryNames(root, false)) r.push_back({name, root + name});
  return r;
}

std::string ProfileMailDirectory(const std::string& profileDir, bool chosenDirectly) {
  const std::string base = IncludeTrailingSlash(profileDir);
  if (DirectoryExists(base + "Mail")) return base + "Mail/";
  const std::vector<std::string> entries = EntryNames(profileDir, false);
  if (entries.size() == 1) {
    const std::string salted = base + entries[0] + "/Mail/";
    if (!chosenDirectly || DirectoryExists(salted)) return salted;
  }
  return chosenDirectly && DirectoryExists(profileDir) ? base : std::string();
}

std::vector<TMailboxNode> MailboxTree(const std::string& mailDir) {
  std::vector<TMailboxNode> r;
  std::set<TDirId> seen;
  Walk(mailDir, 0, seen, r);
  return r;
}

}  // namespace qb::wiz
