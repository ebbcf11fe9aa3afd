#include "mbox/profiles.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include <algorithm>
#include <optional>

#include "platform/i18n.h"
#include "platform/limits.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qb {

namespace {

constexpr int kMaxDepth = kMaxProfileFolderDepth;

struct TEntry {
  std::string Name;
  bool IsDir = false;
  bool IsLink = false;
  bool IsFile = false;  // a regular file (after links)
};

// The entries of dir but "." and "..", sorted by name.
std::vector<TEntry> ListDir(const std::string& dir) {
  std::vector<TEntry> out;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = dir + "/" + name;
    struct stat st {};
    struct stat lst {};
    TEntry entry{name, false, false, false};
    if (::lstat(path.c_str(), &lst) == 0) entry.IsLink = S_ISLNK(lst.st_mode);
    if (::stat(path.c_str(), &st) == 0) {
      entry.IsDir = S_ISDIR(st.st_mode);
      entry.IsFile = S_ISREG(st.st_mode);
    } else {
      continue;  // a dangling link
    }
    out.push_back(entry);
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(),
            [](const TEntry& a, const TEntry& b) { return a.Name < b.Name; });
  return out;
}

std::string StripSlash(std::string dir) {
  return StripTrailingSlashes(std::move(dir));
}

std::string HomeDir(const TProfileSearch& where) {
  return HomeDirectory(where.Home);
}

void Add(std::vector<TMailProfile>& out, TMailProfile p) {
  p.Directory = StripSlash(p.Directory);
  for (const TMailProfile& q : out)
    if (q.Directory == p.Directory) return;
  out.push_back(std::move(p));
}

// The older layout: every visible entry of root is a profile.
void AddProfilesBelow(const std::string& root, TMailFamily family, std::vector<TMailProfile>& out) {
  for (const TEntry& e : ListDir(root))
    if (e.IsDir && e.Name[0] != '.') Add(out, {e.Name, root + "/" + e.Name, family});
}

// The [Profile*] sections of a profiles.ini beside the profiles.
void AddProfilesOfIni(const std::string& iniDir, TMailFamily family,
                      std::vector<TMailProfile>& out) {
  // A FIFO or a device there must not hold the listing up.
  const std::optional<std::string> text = ReadRegularFile(iniDir + "/profiles.ini");
  if (!text) return;
  struct TSection {
    std::string Name, Path;
    bool Relative = true, IsProfile = false;
  };
  std::vector<TSection> sections;
  std::size_t pos = 0;
  while (pos < text->size()) {
    std::size_t nl = text->find('\n', pos);
    if (nl == std::string::npos) nl = text->size();
    const std::string line = Trim(text->substr(pos, nl - pos));
    pos = nl + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      TSection s;
      s.IsProfile = SameText(line.substr(1, 7), "Profile");
      sections.push_back(s);
      continue;
    }
    const std::size_t eq = line.find('=');
    if (sections.empty() || eq == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, eq));
    const std::string value = Trim(line.substr(eq + 1));
    if (SameText(key, "Name"))
      sections.back().Name = value;
    else if (SameText(key, "Path"))
      sections.back().Path = value;
    else if (SameText(key, "IsRelative"))
      sections.back().Relative = value != "0";
  }
  for (const TSection& s : sections) {
    if (!s.IsProfile || s.Path.empty()) continue;
    const std::string dir = s.Relative ? iniDir + "/" + s.Path : s.Path;
    if (!DirectoryExists(dir)) continue;
    std::string name = s.Name;
    if (name.empty()) name = dir.substr(dir.rfind('/') + 1);
    Add(out, {name, dir, family});
  }
}

bool HasExtension(const std::string& name) {
  return name.find('.') != std::string::npos;
}

bool IsRealDir(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void Walk(const std::string& dir, int depth, std::vector<TMailboxItem>& out,
          std::vector<std::string>* notes) {
  if (depth >= kMaxDepth) {
    if (notes && !ListDir(dir).empty())
      notes->push_back(Substitute(
          Translate("the mailboxes below %1 lie more than %2 levels deep and are left out"),
          {dir, std::to_string(kMaxDepth)}));
    return;
  }
  bool tooLong = false;
  for (const TEntry& e : ListDir(dir)) {
    const std::string path = dir + "/" + e.Name;
    if (path.size() >= PATH_MAX) {
      tooLong = true;
      continue;
    }
    if (e.IsDir && !e.IsLink && IsRealDir(path + "/cur") &&
        (IsRealDir(path + "/new") || IsRealDir(path + "/tmp"))) {
      TMailboxItem item{e.Name, path, true, {}};
      item.IsMaildir = true;
      out.push_back(std::move(item));
    } else if (e.IsDir) {
      TMailboxItem item;
      item.Name = e.Name;
      if (item.Name.size() > 4 && SameText(item.Name.substr(item.Name.size() - 4), ".sbd"))
        item.Name.resize(item.Name.size() - 4);
      item.Path = path;
      if (!e.IsLink) Walk(path, depth + 1, item.Children, notes);
      out.push_back(std::move(item));
    } else if (e.IsFile && !HasExtension(e.Name)) {
      out.push_back({e.Name, path, true, {}});
    }
  }
  if (tooLong && notes)
    notes->push_back(Substitute(
        Translate("the mailboxes below %1 have paths longer than %2 bytes and are left out"),
        {dir, std::to_string(PATH_MAX)}));
}

}  // namespace

const char* MailFamilyName(TMailFamily family) {
  return family == TMailFamily::Thunderbird ? "thunderbird" : "mozilla";
}

std::vector<TMailProfile> ListMailProfiles(TMailFamily family, const TProfileSearch& where) {
  const std::string home = HomeDir(where);
  const std::string appData = StripSlash(where.AppData.empty() ? AppDataDir() : where.AppData);
  std::vector<TMailProfile> out;
  if (family == TMailFamily::Thunderbird) {
    AddProfilesBelow(appData + "/ThunderBird/Profiles", family, out);
    if (!home.empty()) {
      AddProfilesOfIni(home + "/.thunderbird", family, out);
      AddProfilesOfIni(home + "/.var/app/org.mozilla.Thunderbird/.thunderbird", family, out);
      AddProfilesOfIni(home + "/snap/thunderbird/common/.thunderbird", family, out);
    }
    return out;
  }
  AddProfilesBelow(appData + "/Mozilla/Profiles", family, out);
  if (!home.empty()) {
    AddProfilesOfIni(home + "/.mozilla/seamonkey", family, out);
    // The Mozilla suite: ~/.mozilla/<profile>/<salt>.slt/.
    for (const TEntry& p : ListDir(home + "/.mozilla")) {
      if (!p.IsDir) continue;
      const std::string dir = home + "/.mozilla/" + p.Name;
      for (const TEntry& s : ListDir(dir))
        if (s.IsDir && s.Name.size() > 4 && s.Name.substr(s.Name.size() - 4) == ".slt")
          Add(out, {p.Name, dir + "/" + s.Name, family});
    }
  }
  return out;
}

std::vector<std::string> ProfileMailDirectories(const std::string& profileDir) {
  const std::string dir = StripSlash(profileDir);
  std::vector<std::string> out;
  auto addFrom = [&out](const std::string& base) {
    for (const char* sub : {"/Mail", "/ImapMail"})
      if (DirectoryExists(base + sub)) out.push_back(base + sub);
  };
  addFrom(dir);
  if (out.empty()) {
    std::vector<TEntry> entries = ListDir(dir);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const TEntry& e) { return e.Name[0] == '.'; }),
                  entries.end());
    if (entries.size() == 1 && entries[0].IsDir) addFrom(dir + "/" + entries[0].Name);
  }
  return out;
}

std::vector<TMailboxItem> WalkMailboxTree(const std::string& mailDir,
                                          std::vector<std::string>* notes) {
  std::vector<TMailboxItem> out;
  Walk(StripSlash(mailDir), 0, out, notes);
  return out;
}

void CollectMailboxes(const std::vector<TMailboxItem>& tree, std::vector<TMailboxRef>& out,
                      const std::string& prefix) {
  for (const TMailboxItem& item : tree) {
    const std::string path = prefix.empty() ? item.Name : prefix + "/" + item.Name;
    if (item.IsMailbox) out.push_back({path, item.Path, item.IsMaildir});
    CollectMailboxes(item.Children, out, path);
  }
}

}  // namespace qb
