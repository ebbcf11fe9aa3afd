#include "maildir/maildir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/oCalcMD5.h"
#include "platform/codepage.h"
#include "platform/text.h"

namespace qb {

namespace {

constexpr int kMaxDepth = 64;

enum class TKind { Other, Dir, File };

struct TEntry {
  std::string Name;
  TKind Kind = TKind::Other;  // links are Other
};

TKind KindOf(const std::string& path, unsigned char type) {
  if (type == DT_DIR) return TKind::Dir;
  if (type == DT_REG) return TKind::File;
  if (type != DT_UNKNOWN) return TKind::Other;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return TKind::Other;
  if (S_ISDIR(st.st_mode)) return TKind::Dir;
  return S_ISREG(st.st_mode) ? TKind::File : TKind::Other;
}

// The entries of dir but "." and "..", sorted by name; links are not
// followed (their kind is Other).
std::vector<TEntry> ListDir(const std::string& dir) {
  std::vector<TEntry> out;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    out.push_back({name, KindOf(dir + "/" + name, e->d_type)});
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(),
            [](const TEntry& a, const TEntry& b) { return a.Name < b.Name; });
  return out;
}

bool IsRealDir(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string StripSlash(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

struct TNode {
  std::string Name, Path;
  bool IsMaildir = false;
  std::vector<TNode> Children;
};

TNode* FindChild(std::vector<TNode>& nodes, const std::string& name) {
  for (TNode& n : nodes)
    if (n.Name == name) return &n;
  return nullptr;
}

// A container item for name, made when the folders below it come first.
TNode& ChildNamed(std::vector<TNode>& nodes, const std::string& name, const std::string& path) {
  if (TNode* n = FindChild(nodes, name)) return *n;
  nodes.push_back({name, path, false, {}});
  return nodes.back();
}

std::vector<std::string> SplitDots(const std::string& name) {
  std::vector<std::string> parts;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t dot = name.find('.', pos);
    parts.push_back(name.substr(pos, dot - pos));
    if (dot == std::string::npos) break;
    pos = dot + 1;
  }
  return parts;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  return c == ',' ? 63 : -1;
}

// Dovecot and Courier write folder names in IMAP's modified UTF-7
// ("Entw&APw-rfe" for "Entwürfe"); the name as written when it is not
// valid modified UTF-7.
std::string DecodeFolderName(const std::string& name) {
  std::string out;
  std::size_t i = 0;
  while (i < name.size()) {
    const char c = name[i++];
    if (static_cast<unsigned char>(c) >= 0x80) return name;
    if (c != '&') {
      out += c;
      continue;
    }
    const std::size_t end = name.find('-', i);
    if (end == std::string::npos) return name;
    if (end == i) {  // "&-"
      out += '&';
      ++i;
      continue;
    }
    std::string utf16le;
    unsigned bits = 0, nbits = 0;
    std::string be;
    for (; i < end; ++i) {
      const int v = Base64Value(name[i]);
      if (v < 0) return name;
      bits = (bits << 6) | static_cast<unsigned>(v);
      nbits += 6;
      if (nbits >= 8) {
        nbits -= 8;
        be += static_cast<char>((bits >> nbits) & 0xFF);
      }
    }
    ++i;  // the '-'
    if (be.size() % 2 != 0 || be.empty()) return name;
    for (std::size_t k = 0; k < be.size(); k += 2) {
      utf16le += be[k + 1];
      utf16le += be[k];
    }
    out += Utf16LeToUtf8(utf16le);
  }
  return out;
}

// Evolution writes '.' in a folder's name as "_2E" and '_' as "__" in
// stores marked by a file "..maildir++".
std::string DecodeEvolutionName(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name.compare(i, 3, "_2E") == 0) {
      out += '.';
      i += 2;
    } else if (name.compare(i, 2, "__") == 0) {
      out += '_';
      ++i;
    } else {
      out += name[i];
    }
  }
  return out;
}

struct TWalk {
  bool EvolutionNames = false;
};

void Walk(const TWalk& how, const std::string& dir, bool dirIsMaildir, int depth,
          std::vector<TNode>& out);

// ".A.B" in dir: the folder B inside A (empty names are not folders).
void AddMaildirPlusPlus(const TWalk& how, std::vector<TNode>& out, const std::string& dir,
                        const std::string& name, const std::string& path) {
  const std::vector<std::string> raw = SplitDots(name.substr(1));
  std::vector<std::string> parts;
  for (const std::string& p : raw) {
    if (p.empty()) return;
    parts.push_back(how.EvolutionNames ? DecodeEvolutionName(p) : DecodeFolderName(p));
  }
  std::vector<TNode>* level = &out;
  std::string container = dir + "/";
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    container += "." + raw[i];
    level = &ChildNamed(*level, parts[i], container).Children;
  }
  TNode* leaf = FindChild(*level, parts.back());
  if (leaf && leaf->IsMaildir) {  // "A" and ".A" both hold messages: keep both
    level->push_back({parts.back(), path, true, {}});
  } else if (leaf) {
    leaf->Path = path;
    leaf->IsMaildir = true;
  } else {
    level->push_back({parts.back(), path, true, {}});
  }
}

void Walk(const TWalk& how, const std::string& dir, bool dirIsMaildir, int depth,
          std::vector<TNode>& out) {
  if (depth >= kMaxDepth) return;
  std::vector<std::pair<std::string, std::string>> plusPlus;  // name, path
  std::vector<std::pair<std::string, std::string>> below;     // parent name, path
  for (const TEntry& e : ListDir(dir)) {
    if (e.Kind != TKind::Dir) continue;
    const std::string& name = e.Name;
    const std::string path = dir + "/" + name;
    if (dirIsMaildir && (name == "cur" || name == "new" || name == "tmp")) continue;
    if (name[0] == '.') {
      if (IsMaildirFolder(path))
        plusPlus.emplace_back(name, path);
      else if (name.size() > 11 && name.ends_with(".directory"))
        below.emplace_back(name.substr(1, name.size() - 11), path);
    } else if (name.size() > 4 && EndsWithNoCase(name, ".sbd")) {
      below.emplace_back(name.substr(0, name.size() - 4), path);
    } else {
      TNode node{name, path, IsMaildirFolder(path), {}};
      Walk(how, path, node.IsMaildir, depth + 1, node.Children);
      out.push_back(std::move(node));
    }
  }
  for (const auto& [name, path] : plusPlus) AddMaildirPlusPlus(how, out, dir, name, path);
  for (const auto& [parent, path] : below)
    Walk(how, path, false, depth + 1, ChildNamed(out, parent, path).Children);
  std::stable_sort(out.begin(), out.end(),
                   [](const TNode& a, const TNode& b) { return a.Name < b.Name; });
}

// Leaves out the containers that hold no Maildir folder; true when some
// folder is left.
bool Prune(std::vector<TNode>& nodes) {
  std::erase_if(nodes, [](TNode& n) { return !Prune(n.Children) && !n.IsMaildir; });
  return !nodes.empty();
}

void Flatten(const std::vector<TNode>& nodes, int parent, int depth, const std::string& prefix,
             std::vector<TMaildirFolder>& out) {
  for (const TNode& n : nodes) {
    const std::string treePath = prefix.empty() ? n.Name : prefix + "/" + n.Name;
    out.push_back({n.Name, treePath, n.Path, parent, depth, n.IsMaildir});
    Flatten(n.Children, static_cast<int>(out.size()) - 1, depth + 1, treePath, out);
  }
}

bool IsRegularFileEntry(const std::string& dir, const dirent* e) {
  return e->d_name[0] != '.' && KindOf(dir + "/" + e->d_name, e->d_type) == TKind::File;
}

// Calls f(name) for each message file of dir.
template <class F>
void ForEachFile(const std::string& dir, F f) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  while (const dirent* e = ::readdir(d))
    if (IsRegularFileEntry(dir, e)) f(std::string(e->d_name));
  ::closedir(d);
}

bool IsHeader(std::string_view line, std::string_view name) {
  return line.size() > name.size() && line[name.size()] == ':' &&
         SameText(line.substr(0, name.size()), name);
}

bool IsStatusHeader(std::string_view line) {
  static constexpr std::string_view kNames[] = {
      "status", "x-status", "x-mozilla-status", "x-mozilla-status2", "x-mozilla-keys", "x-keywords",
      "x-uid",  "x-imap",   "x-imapbase",       "x-label",           "x-evolution"};
  for (std::string_view name : kNames)
    if (IsHeader(line, name)) return true;
  return false;
}

}  // namespace

bool IsMaildirFolder(const std::string& dir) {
  return IsRealDir(dir + "/cur") && (IsRealDir(dir + "/new") || IsRealDir(dir + "/tmp"));
}

std::vector<TMaildirFolder> ListMaildirFolders(const std::string& rootIn) {
  const std::string root = StripSlash(rootIn);
  std::vector<TMaildirFolder> out;
  struct stat st {};
  if (::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return out;
  const bool rootIsMaildir = IsMaildirFolder(root);
  std::vector<TNode> nodes;
  struct stat marker {};
  const TWalk how{::lstat((root + "/..maildir++").c_str(), &marker) == 0 &&
                  S_ISREG(marker.st_mode)};
  Walk(how, root, rootIsMaildir, 0, nodes);
  Prune(nodes);
  if (rootIsMaildir) {
    bool plusPlus = false;
    for (const TEntry& e : ListDir(root))
      if (e.Kind == TKind::Dir && e.Name[0] == '.' && IsMaildirFolder(root + "/" + e.Name))
        plusPlus = true;
    const std::size_t slash = root.rfind('/');
    std::string name = root.substr(slash == std::string::npos ? 0 : slash + 1);
    if (plusPlus || name.empty() || SameText(name, "Maildir") || SameText(name, ".maildir"))
      name = "Inbox";
    nodes.insert(nodes.begin(), TNode{name, root, true, {}});
  }
  Flatten(nodes, -1, 0, "", out);
  return out;
}

std::vector<TMailboxItem> MaildirMailboxTree(const std::vector<TMaildirFolder>& folders) {
  // Parents come before their children: each item's place is known when its
  // children are added.
  std::vector<TMailboxItem> top;
  std::vector<std::vector<std::size_t>> route(folders.size());  // indices from the top
  for (std::size_t i = 0; i < folders.size(); ++i) {
    const TMaildirFolder& f = folders[i];
    std::vector<TMailboxItem>* level = &top;
    if (f.Parent >= 0 && static_cast<std::size_t>(f.Parent) < i) {
      route[i] = route[static_cast<std::size_t>(f.Parent)];
      for (std::size_t k : route[i]) level = &(*level)[k].Children;
    }
    route[i].push_back(level->size());
    TMailboxItem item{f.Name, f.Path, f.IsMaildir, {}};
    item.IsMaildir = f.IsMaildir;
    level->push_back(std::move(item));
  }
  return top;
}

std::string_view MaildirUniqueName(std::string_view name) {
  for (const char* sep : {":2,", "!2,", ";2,"})
    if (const std::size_t at = name.rfind(sep); at != std::string_view::npos && at > 0)
      return name.substr(0, at);
  return name;
}

std::vector<TMaildirEntry> ListMaildirMessages(const std::string& folderIn) {
  const std::string folder = StripSlash(folderIn);
  std::vector<TMaildirEntry> out;
  for (const char* sub : {"cur", "new"}) {
    const std::string dir = folder + "/" + sub;
    if (!IsRealDir(dir)) continue;
    const bool inNew = sub[0] == 'n';
    ForEachFile(dir, [&](std::string name) {
      out.push_back({dir + "/" + name, std::move(name), inNew});
    });
  }
  std::sort(out.begin(), out.end(), [](const TMaildirEntry& a, const TMaildirEntry& b) {
    const std::string_view ua = MaildirUniqueName(a.Name), ub = MaildirUniqueName(b.Name);
    if (ua != ub) return ua < ub;
    if (a.Name != b.Name) return a.Name < b.Name;
    return a.InNew < b.InNew;
  });
  return out;
}

std::size_t CountMaildirMessages(const std::string& folderIn) {
  const std::string folder = StripSlash(folderIn);
  std::size_t n = 0;
  for (const char* sub : {"/cur", "/new"})
    if (IsRealDir(folder + sub)) ForEachFile(folder + sub, [&n](const std::string&) { ++n; });
  return n;
}

std::string FindMovedMessage(const std::string& folderIn, const TMaildirEntry& entry) {
  const std::string folder = StripSlash(folderIn);
  const std::string_view unique = MaildirUniqueName(entry.Name);
  std::string found;
  for (const char* sub : {"/cur", "/new"}) {
    const std::string dir = folder + sub;
    if (!found.empty() || !IsRealDir(dir)) continue;
    ForEachFile(dir, [&](const std::string& name) {
      if (found.empty() && MaildirUniqueName(name) == unique) found = dir + "/" + name;
    });
  }
  return found;
}

std::vector<std::string> ListEmlFiles(const std::string& dirIn) {
  const std::string dir = StripSlash(dirIn);
  std::vector<std::string> out;
  for (const TEntry& e : ListDir(dir))
    if (e.Kind == TKind::File && e.Name.size() > 4 && EndsWithNoCase(e.Name, ".eml"))
      out.push_back(dir + "/" + e.Name);
  return out;
}

TReadStatus ReadMessageFile(const std::string& path, std::string& text, std::uint64_t maxBytes,
                            std::string* error) {
  text.clear();
  auto fail = [&](TReadStatus status, const std::string& why) {
    if (error) *error = why;
    text.clear();
    return status;
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT) return fail(TReadStatus::Missing, std::strerror(err));
    if (err == ELOOP) return fail(TReadStatus::NotRegular, "a symbolic link");
    return fail(TReadStatus::Failed, std::strerror(err));
  }
  struct TClose {
    int fd;
    ~TClose() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail(TReadStatus::Failed, std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return fail(TReadStatus::NotRegular, "not a regular file");
  if (static_cast<std::uint64_t>(st.st_size) > maxBytes)
    return fail(TReadStatus::Oversized, "larger than " + std::to_string(maxBytes) + " bytes");
  text.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(TReadStatus::Failed, std::strerror(errno));
    }
    if (n == 0) break;
    if (text.size() + static_cast<std::size_t>(n) > maxBytes)  // it grew while being read
      return fail(TReadStatus::Oversized, "larger than " + std::to_string(maxBytes) + " bytes");
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return TReadStatus::Ok;
}

std::string MaildirMessageKey(std::string_view text) {
  TMD5Context md5;
  bool inHeaders = true;
  bool skipping = false;  // inside a left-out header and its continuation lines
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t nl = text.find('\n', pos);
    const std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
    const std::string_view line = text.substr(pos, end - pos);
    pos = end;
    if (inHeaders) {
      if (line == "\n" || line == "\r\n") {
        inHeaders = false;
        skipping = false;
      } else if (!skipping || (line[0] != ' ' && line[0] != '\t')) {
        skipping = IsStatusHeader(line);
      }
      if (skipping) continue;
    }
    md5.Update(line);
  }
  return "maildir " + MD5DigestToText(md5.Final());
}

}  // namespace qb
