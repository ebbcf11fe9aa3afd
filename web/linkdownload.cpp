#include "web/linkdownload.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
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
  TFileSink(const TSafeDir& dir, std::uint64_t cap, TTally* tally)
      : dir_(dir), cap_(cap), tally_(tally) {}
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
    if (tally_) tally_->Add(data, size);
    return more;
  }

  TPendingFile* Temp() { return temp_.get(); }
  bool Capped() const { return capped_; }
  bool Failed() const { return failed_; }

 private:
  const TSafeDir& dir_;
  std::uint64_t cap_;
  TTally* tally_;
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

struct TLinkDownloader::TLinkFile {
  TLinkFile(bool digest, bool defer) : Tally(digest, defer) {}
  TTally Tally;
  std::string Path;  // the file placed
  bool SameBytes = false;
  std::string Reason = "the link could not be fetched";

  // What became of it, for the run's Outcome.
  TAttachmentOutcome Outcome(bool placed, bool digests) {
    TAttachmentOutcome o;
    if (!placed) {
      o.Kind = TAttachmentOutcome::Failed;
      o.Reason = Reason;
      return o;
    }
    o.Kind = SameBytes ? TAttachmentOutcome::SameBytesThere : TAttachmentOutcome::Written;
    o.Path = Path;
    Tally.HandOn(o, digests);
    return o;
  }
};

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

std::string DownloadFailedLine(const std::string& path, const TLinkRun& run) {
  return "Unable to Save Attachment " + path + " of Message(" + run.MessageNumber + ") in " +
         run.Folder;
}

std::string LinkNotFetchedLine(const std::string& link, const TLinkRun& run) {
  return "Link Not Fetched " + link + " of Message(" + run.MessageNumber + ") in " + run.Folder;
}

std::string DownloadTimeUsedUpNotice(std::size_t count, const TLinkRun& run) {
  return "Download Time Used Up for Message(" + run.MessageNumber + ") in " + run.Folder + " : " +
         std::to_string(count) + (count == 1 ? " Link" : " Links") + " Not Fetched";
}

TLinkDownloader::TLinkDownloader(TExtensionListsSnapshot lists, TLinkDownloadOptions options)
    : lists_(std::move(lists)),
      urlListPath_(options.UrlListPath.empty() ? DefaultUrlListPath() : options.UrlListPath),
      maxFileBytes_(options.MaxFileBytes),
      transferLimitMs_(options.TransferLimitMs),
      stallLimitMs_(options.StallLimitMs),
      messageBudgetMs_(options.MessageBudgetMs),
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
  return DownloadMessageLinks(target, {text}, TLinkRun{}).Written;
}

TLinkResult TLinkDownloader::DownloadMessageLinks(const TTargetPath& target,
                                                  const std::vector<std::string>& bodies,
                                                  const TLinkRun& run) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(std::max(0L, messageBudgetMs_));
  const auto stopped = [&run] { return run.Stopped && run.Stopped(); };
  const auto log = [&run](const std::string& line) {
    if (run.Log) run.Log(line);
  };

  // Every link of every body with the name it is saved under; the ones
  // that are skipped all the same have none.
  std::vector<std::pair<std::string, std::string>> links;
  for (const std::string& body : bodies) {
    TStringList found;
    GetDownloadLinks(body, found);
    for (std::string& link : found) {
      std::string name;
      try {
        name = LinkTargetName(link);
      } catch (const std::exception&) {
        // The link is skipped.
      }
      if (!name.empty()) links.emplace_back(std::move(link), std::move(name));
    }
  }

  TLinkResult result;
  bool budgetSpent = false;
  for (std::size_t i = 0; i < links.size(); ++i) {
    if (stopped()) break;
    const Clock::time_point now = Clock::now();
    if (budgetSpent || now >= deadline) {
      const std::size_t left = links.size() - i;
      if (run.Notice) run.Notice(DownloadTimeUsedUpNotice(left, run));
      for (; i < links.size(); ++i) {
        log(LinkNotFetchedLine(links[i].first, run));
        if (!run.Outcome) continue;
        TAttachmentOutcome o;
        o.Kind = TAttachmentOutcome::Failed;
        o.Reason = "the message's download time was used up";
        run.Outcome(links[i].second, o);
      }
      result.Failed += static_cast<int>(left);
      break;
    }
    const std::string& link = links[i].first;
    const std::string& name = links[i].second;
    try {
      RecordUrl(link);
    } catch (const std::exception&) {
      continue;  // the link is skipped
    }
    TTransferLimits limits;
    const long left = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
    const bool cutByBudget = left <= transferLimitMs_;
    limits.TotalMs = std::max(1L, std::min(transferLimitMs_, left));
    limits.StallMs = stallLimitMs_;
    limits.Stopped = run.Stopped;
    TDownloadOutcome outcome = TDownloadOutcome::NotOpened;
    TLinkFile file(run.Digests, run.DeferDigests);
    try {
      outcome = DownloadWithin(link, target, name, limits, &file);
    } catch (const std::exception&) {
      // The link is skipped, as one that cannot be opened.
      outcome = TDownloadOutcome::NotOpened;
    }
    const auto tell = [&](bool placed) {
      if (!run.Outcome) return;
      TAttachmentOutcome o = file.Outcome(placed, run.Digests);
      run.Outcome(name, o);
    };
    switch (outcome) {
      case TDownloadOutcome::Placed:
        ++result.Written;
        tell(true);
        break;
      case TDownloadOutcome::TimedOut:
      case TDownloadOutcome::Failed: {
        // A transfer cut short by the message's time has spent it, even when
        // the transfer's clock ran a little ahead of this one.
        if (outcome == TDownloadOutcome::TimedOut && cutByBudget &&
            deadline - Clock::now() < std::chrono::seconds(1))
          budgetSpent = true;
        ++result.Failed;
        log(DownloadFailedLine(target.Directory + DownloadFileName(target, name, 1), run));
        tell(false);
        break;
      }
      case TDownloadOutcome::NotOpened:
      case TDownloadOutcome::Stopped:
        break;
    }
  }
  return result;
}

TDownloadOutcome TLinkDownloader::DownloadFile(const std::string& link,
                                               const std::string& targetPath) {
  const std::string path = SafeDownloadPath(targetPath);
  if (path.empty()) return TDownloadOutcome::NotOpened;
  TTargetPath target;
  target.Directory = path.substr(0, path.rfind('/') + 1);
  return DownloadFile(link, target, path.substr(path.rfind('/') + 1));
}

TDownloadOutcome TLinkDownloader::DownloadFile(const std::string& link, const TTargetPath& target,
                                               const std::string& linkName) {
  TTransferLimits limits;
  limits.TotalMs = transferLimitMs_;
  limits.StallMs = stallLimitMs_;
  const TDownloadOutcome outcome = DownloadWithin(link, target, linkName, limits);
  return outcome == TDownloadOutcome::TimedOut ? TDownloadOutcome::Failed : outcome;
}

TDownloadOutcome TLinkDownloader::DownloadWithin(const std::string& link, const TTargetPath& target,
                                                 const std::string& linkName,
                                                 const TTransferLimits& limits, TLinkFile* file) {
  if (DownloadFileName(target, linkName, 1).empty()) return TDownloadOutcome::NotOpened;
  TSafeDir dir;
  if (!OpenTargetDirectory(target, dir)) return TDownloadOutcome::NotOpened;

  TFileSink sink(dir, maxFileBytes_, file ? &file->Tally : nullptr);
  const auto failed = [file](const char* reason) {
    if (file) file->Reason = reason;
    return TDownloadOutcome::Failed;
  };
  // Whatever is not placed, the temporary goes with the sink.
  switch (fetcher_->FetchWithin(link, sink, limits)) {
    case TFetchResult::NotOpened:
    case TFetchResult::Abandoned:  // no reply, or no temporary file could be made
      return TDownloadOutcome::NotOpened;
    case TFetchResult::Stopped:
      return TDownloadOutcome::Stopped;
    case TFetchResult::Ended:
      return failed("the transfer broke off");
    case TFetchResult::StoppedBySink:
      return failed(sink.Capped() ? "larger than the size limit" : "could not be written");
    case TFetchResult::Rejected:
      return failed("the server answered with an error");
    case TFetchResult::TimedOut:
      if (file) file->Reason = "the transfer took too long";
      return TDownloadOutcome::TimedOut;
    case TFetchResult::Completed:
      break;
  }
  TPendingFile* temp = sink.Temp();
  if (sink.Failed() || !temp) return failed("could not be written");
  const TPlaced placed = temp->Place([&](int n) { return DownloadFileName(target, linkName, n); });
  if (placed.Result == TPlaceResult::Failed) return failed("could not be written");
  if (file) {
    file->Path = target.Directory + placed.Name;
    file->SameBytes = placed.Result == TPlaceResult::SameBytes;
  }
  return TDownloadOutcome::Placed;
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
