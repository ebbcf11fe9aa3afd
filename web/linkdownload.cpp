#include "web/linkdownload.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <unordered_set>

#include "engine/oIniFile.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/safefile.h"
#include "platform/text.h"

namespace qb {

namespace {

// An extension longer than this is not worth keeping when a name is cut.
constexpr std::size_t kMaxKeptExtension = 32;

std::string Replace(std::string s, char from, char to) {
  for (char& c : s)
    if (c == from) c = to;
  return s;
}

// Every ".." becomes "_", left to right without overlap ("..." gives "_.").
std::string ReplaceDotDot(const std::string& s) {
  std::string r;
  r.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '.' && i + 1 < s.size() && s[i + 1] == '.') {
      r += '_';
      ++i;
    } else {
      r += s[i];
    }
  }
  return r;
}

// Link texts keep the conventions of the mail world: after "/" has become
// "\", a path element ends at "\" or ":".
std::string LinkFileName(const std::string& s) {
  std::size_t p = s.find_last_of("\\:");
  return p == std::string::npos ? s : s.substr(p + 1);
}

std::string LinkFileExt(const std::string& s) {
  std::size_t p = s.find_last_of(".\\:");
  return (p != std::string::npos && s[p] == '.') ? s.substr(p) : std::string();
}

bool IsHostExtension(const std::string& e) {
  return e.empty() || e == ".COM" || e == ".DE" || e == ".NET";
}

bool InList(const std::string& e, const std::vector<std::string>& entries) {
  for (const std::string& entry : entries)
    if (e == "." + UpperCase(entry)) return true;
  return false;
}

// Receives one download into a temporary file, created in the target
// directory when the link opens.
class TFileSink : public IDownloadSink {
 public:
  TFileSink(const TSafeDir& dir, std::uint64_t cap) : dir_(dir), cap_(cap) {}
  TFileSink(const TFileSink&) = delete;
  TFileSink& operator=(const TFileSink&) = delete;

  bool Opened() override {
    temp_ = std::make_unique<TPendingFile>(dir_);
    return temp_->IsOpen();
  }

  bool Write(const char* data, std::size_t size) override {
    bool more = true;
    if (written_ + size > cap_) {
      size = static_cast<std::size_t>(cap_ - written_);
      capped_ = true;
      more = false;
    }
    if (!temp_ || !temp_->Write(data, size)) {
      failed_ = true;
      return false;
    }
    written_ += size;
    return more;
  }

  TPendingFile* Temp() { return temp_.get(); }
  bool Capped() const { return capped_; }
  bool Failed() const { return failed_; }

 private:
  const TSafeDir& dir_;
  std::uint64_t cap_;
  std::unique_ptr<TPendingFile> temp_;
  std::uint64_t written_ = 0;
  bool capped_ = false;
  bool failed_ = false;
};

// Splits a safe name into base and extension; an extension too long to be
// one stays with the base.
void SplitSafeName(const std::string& name, std::string& base, std::string& ext) {
  ext = LinkFileExt(name);
  if (ext.size() > kMaxKeptExtension) ext.clear();
  base = name.substr(0, name.size() - ext.size());
}

}  // namespace

std::string DefaultUrlListPath() {
  return AppDataDir() + "/Quillbox/URLList.txt";
}

std::string SafeDownloadName(const std::string& name) {
  std::string r;
  for (char c : Trim(name)) {
    switch (c) {
      case '<':
        r += "%3C";
        break;
      case '>':
        r += "%3E";
        break;
      case '*':
        r += "%2A";
        break;
      case '?':
        r += "%3F";
        break;
      case '"':
        r += "%22";
        break;
      case ':':
      case '\\':
      case '/':
      case '\0':
        r += '_';
        break;
      default:
        r += c;
    }
  }
  r = ToUtf8Edge(ReplaceDotDot(r));
  if (r.size() > kMaxNameBytes) {
    std::string ext = LinkFileExt(r);
    if (ext.size() > kMaxKeptExtension) ext.clear();
    r = CutUtf8(r.substr(0, r.size() - ext.size()), kMaxNameBytes - ext.size()) + ext;
  }
  r = ReplaceDotDot(r);  // the cut may have joined two dots
  if (r.empty() || r == ".") return {};
  return r;
}

std::string SafeDownloadPath(const std::string& targetPath) {
  const std::size_t slash = targetPath.rfind('/');
  if (slash == std::string::npos) return {};
  const std::string name = SafeDownloadName(targetPath.substr(slash + 1));
  if (name.empty()) return {};
  std::string dir = ToUtf8Edge(ReplaceDotDot(Trim(targetPath.substr(0, slash))));
  dir = Replace(dir, '\0', '_');
  return dir + "/" + name;
}

std::string LinkTargetName(const std::string& link) {
  std::string t;
  if (std::size_t q = link.find('?'); q != std::string::npos)
    t = link.substr(0, q);
  else if (link.find('=') != std::string::npos)
    return {};
  else
    t = link;
  const std::string n = LinkFileName(Replace(t, '/', '\\'));
  if (IsHostExtension(UpperCase(LinkFileExt(n)))) return {};
  return n;
}

std::string LinkTargetPath(const std::string& directory, const std::string& prefix,
                           const std::string& name) {
  return IncludeTrailingSlash(directory) + Replace(prefix + name, '/', '_');
}

TLinkDownloader::TLinkDownloader(TExtensionListsSnapshot lists, TLinkDownloadOptions options)
    : lists_(std::move(lists)),
      urlListPath_(options.UrlListPath.empty() ? DefaultUrlListPath() : options.UrlListPath),
      maxFileBytes_(options.MaxFileBytes),
      fetcher_(options.Fetcher ? options.Fetcher : std::make_shared<THttpClient>()) {}

void TLinkDownloader::GetHyperlinks(const std::string& text, TStringList& list) {
  list.clear();
  TjsHTMLParser parser;
  parser.SetHTMLText(text);
  parser.Execute();
  try {
    const TStringList& links = parser.Parsed().Hyperlinks;
    list.insert(list.end(), links.begin(), links.end());
  } catch (const std::exception&) {
    // What was copied so far stays.
  }
}

void TLinkDownloader::GetDownloadLinks(const std::string& text, TStringList& list) const {
  list.clear();
  try {
    TStringList links;
    GetHyperlinks(text, links);
    std::unordered_set<std::string> seen;
    for (const std::string& link : links) {
      const std::string r = Trim(link);
      if (StartsWithNoCase(r, "/") || StartsWithNoCase(r, "mailto:") || EndsWithNoCase(r, "/"))
        continue;
      if (EndsWithNoCase(r, ".com") || EndsWithNoCase(r, ".exe") || EndsWithNoCase(r, ".de") ||
          EndsWithNoCase(r, ".net"))
        continue;
      const std::string t = Replace(r.substr(0, r.find('?')), '/', '\\');
      const std::string e = UpperCase(LinkFileExt(LinkFileName(t)));
      if (IsHostExtension(e)) continue;
      if (lists_.SelectedOnly && !InList(e, lists_.IncludeEntries)) continue;
      if (InList(e, lists_.ExcludeEntries)) continue;
      const std::string whole = Replace(r, '/', '\\');
      if (LinkFileExt(whole).empty() || LinkFileName(whole).empty()) continue;
      // Each link once, ignoring case; a set keeps a text with very many
      // links from costing a comparison per pair.
      if (seen.insert(UpperCase(r)).second) list.push_back(r);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "GetDownloadLinks: %s\n", e.what());
  }
}

std::string DownloadFileName(const TTargetPath& target, const std::string& linkName, int n) {
  const std::string suffix = n > 1 ? " (" + std::to_string(n) + ")" : std::string();
  std::string base, ext;
  if (target.PrefixParts.empty()) {
    const std::string safe = SafeDownloadName(Replace(target.Prefix + linkName, '/', '_'));
    if (safe.empty()) return {};
    SplitSafeName(safe, base, ext);
    return FitFileName({}, base, suffix, ext);
  }
  const std::string safe = SafeDownloadName(linkName);
  if (safe.empty()) return {};
  SplitSafeName(safe, base, ext);
  return FitFileName(target.PrefixParts, base, suffix, ext);
}

int TLinkDownloader::DownloadLinks(const std::string& directory, const std::string& prefix,
                                   const std::string& text) {
  TTargetPath target;
  target.Directory =
      IncludeTrailingSlash(Replace(ToUtf8Edge(ReplaceDotDot(Trim(directory))), '\0', '_'));
  target.Prefix = prefix;
  return DownloadLinks(target, text);
}

int TLinkDownloader::DownloadLinks(const TTargetPath& target, const std::string& text) {
  TStringList links;
  GetDownloadLinks(text, links);
  int count = 0;
  for (const std::string& link : links) {
    try {
      const std::string n = LinkTargetName(link);
      if (n.empty()) continue;
      RecordUrl(link);
      if (DownloadFile(link, target, n)) ++count;
    } catch (const std::exception&) {
      // The link is skipped.
    }
  }
  return count;
}

bool TLinkDownloader::DownloadFile(const std::string& link, const std::string& targetPath) {
  const std::string path = SafeDownloadPath(targetPath);
  if (path.empty()) return false;
  TTargetPath target;
  target.Directory = path.substr(0, path.rfind('/') + 1);
  return DownloadFile(link, target, path.substr(path.rfind('/') + 1));
}

bool TLinkDownloader::DownloadFile(const std::string& link, const TTargetPath& target,
                                   const std::string& linkName) {
  if (DownloadFileName(target, linkName, 1).empty()) return false;
  TSafeDir dir;
  if (!OpenTargetDirectory(target, dir)) return false;

  TFileSink sink(dir, maxFileBytes_);
  const TFetchResult result = fetcher_->Fetch(link, sink);
  bool keep = false;
  switch (result) {
    case TFetchResult::Completed:
    case TFetchResult::Ended:
      keep = !sink.Failed();
      break;
    case TFetchResult::StoppedBySink:
      keep = sink.Capped() && !sink.Failed();
      break;
    case TFetchResult::NotOpened:
    case TFetchResult::Abandoned:
      break;
  }
  TPendingFile* temp = sink.Temp();
  if (!keep || !temp) return false;  // the temporary goes with the sink
  const TPlaced placed = temp->Place([&](int n) { return DownloadFileName(target, linkName, n); });
  return placed.Result != TPlaceResult::Failed;
}

void TLinkDownloader::RecordUrl(const std::string& link) {
  if (std::size_t slash = urlListPath_.rfind('/'); slash != std::string::npos && slash > 0)
    ForceDirectories(urlListPath_.substr(0, slash));
  TBigIniFile list(urlListPath_);  // a list that exists but cannot be read throws here
  try {
    list.WriteString("urls", link, "y");
    list.UpdateFile();
  } catch (const std::exception&) {
    // Not noting a link does not stop its download.
  }
}

}  // namespace qb
