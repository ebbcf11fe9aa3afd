#include "maildir/discovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "maildir/maildir.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qb {

namespace {

std::string StripSlash(std::string dir) {
  return StripTrailingSlashes(std::move(dir));
}

std::string HomeDir(const TMaildirSearch& where) {
  return HomeDirectory(where.Home);
}

std::string DataHome(const TMaildirSearch& where, const std::string& home) {
  if (!where.DataHome.empty()) return StripSlash(where.DataHome);
  const std::string xdg = GetEnv("XDG_DATA_HOME");
  if (!xdg.empty() && xdg[0] == '/') return StripSlash(xdg);
  return home.empty() ? "" : home + "/.local/share";
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::vector<TMaildirStore> ListMaildirStores(const TMaildirSearch& where) {
  const std::string home = HomeDir(where);
  const std::string data = DataHome(where, home);
  std::vector<TMaildirStore> candidates;
  if (!data.empty()) {
    candidates.push_back({"evolution", "Evolution", data + "/evolution/mail/local"});
    candidates.push_back({"kmail", "KMail", data + "/local-mail"});
  }
  if (!home.empty())
    for (const char* name : {"Maildir", "Mail", ".mail"})
      candidates.push_back({"maildir", std::string("~/") + name, home + "/" + name});
  std::vector<TMaildirStore> out;
  std::vector<std::string> seen;
  for (TMaildirStore& store : candidates) {
    const std::string real = RealPath(store.Path);
    bool again = false;
    for (const std::string& s : seen) again = again || s == real;
    if (again || ListMaildirFolders(store.Path).empty()) continue;
    seen.push_back(real);
    out.push_back(std::move(store));
  }
  return out;
}

std::string AppleMailboxFile(const std::string& dirIn) {
  const std::string dir = StripSlash(dirIn);
  if (dir.size() <= 5 || !EndsWithNoCase(dir, ".mbox") || !DirectoryExists(dir)) return "";
  return IsRegularFile(dir + "/mbox") ? dir + "/mbox" : "";
}

TMailPath ClassifyMailPath(const std::string& pathIn) {
  const std::string path = StripSlash(pathIn);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  if (S_ISREG(st.st_mode)) return {TMailPathKind::Mbox, path};
  if (!S_ISDIR(st.st_mode)) return {};
  if (std::string file = AppleMailboxFile(path); !file.empty()) return {TMailPathKind::Mbox, file};
  if (!ListMaildirFolders(path).empty()) return {TMailPathKind::Maildir, path};
  if (!ListEmlFiles(path).empty()) return {TMailPathKind::EmlFolder, path};
  return {};
}

}  // namespace qb
