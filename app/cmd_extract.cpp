// quillbox-cli extract: a run over an Outlook Express store without a window.
//
// The log goes to stdout a line at a time, exactly as the wizard's log shows
// it. The status text goes to stderr: on a terminal as one line redrawn in
// place with a progress bar, otherwise as plain lines. The folder rows
// ("folder", name, total, messages, extracted, status, TAB-separated) follow
// on stderr when the run is over. Ctrl-C asks the run to stop; it ends with
// "Stopped by User." and exit status 130.
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/commands.h"
#include "engine/job.h"
#include "oestore/folderlist.h"
#include "oestore/identities.h"
#include "oestore/oOExpressThrd.h"
#include "platform/datetime.h"
#include "platform/paths.h"
#include "platform/thread.h"

namespace qb::cli {

// quillbox-cli extract --source outlook, when the Outlook source is built in.
int ExtractOutlook(const std::vector<std::string>& args) __attribute__((weak));

namespace {

// The wizard's shipped extension lists.
const std::vector<std::string> kShippedInclude = {
    "BMP", "GIF",  "DIB",  "JPG", "JPEG", "JPE",  "JP2",  "JPC", "J2K", "PCX", "PNG",
    "TGA", "TIFF", "TIFF", "AVI", "MPEG", "MPG",  "MPE",  "MOV", "RM",  "RAM", "ASF",
    "ASX", "WM",   "WMX",  "WMP", "M1V",  "MP2V", "MPV2", "IVF", "WVX", "WAV", "DAT",
    "WMV", "M3U",  "MP3",  "ZIP", "RAR",  "DOC",  "PDF",  "EML", "TXT"};
const std::vector<std::string> kShippedExclude = {
    "VBS", "VB",   "JS",    "COM", "BAT", "PIF",  "BIN", "DLL", "EXE", "SCR",
    "HTM", "HTML", "SHTML", "PHP", "ASP", "ASPX", "PL",  "CGI", "EML", "CFM"};

const char* const kDestinationError =
    "Unable to Create the Destination directory.\r\n\r\nPlease select a new directory";

std::atomic<std::uint8_t> g_stop{0};

extern "C" void OnInterrupt(int) {
  g_stop.store(1);
  // A second Ctrl-C ends the program at once.
  std::signal(SIGINT, SIG_DFL);
}

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// "pdf, .JPG,,zip" -> pdf, JPG, zip (entries trimmed, a leading "." dropped).
std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    std::string e =
        TrimBlanks(text.substr(start, comma == std::string::npos ? comma : comma - start));
    if (!e.empty() && e[0] == '.') e = TrimBlanks(e.substr(1));
    if (!e.empty()) out.push_back(e);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

// The worker's form of a list: "." + the entry upper-cased.
std::vector<std::string> WorkerList(const std::vector<std::string>& entries) {
  std::vector<std::string> out;
  for (const std::string& e : entries) out.push_back("." + UpperAscii(TrimBlanks(e)));
  return out;
}

// YYYY-MM-DD.
bool ParseIsoDate(const std::string& text, TDateTime& out) {
  int y = 0, m = 0, d = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3) return false;
  if (text.size() != 10 || !IsValidDate(y, m, d)) return false;
  out = EncodeDate(y, m, d);
  return true;
}

class ConsoleView : public IRunView {
 public:
  explicit ConsoleView(bool terminal) : terminal_(terminal) {}

  void AddLog(const std::string& line) override {
    ClearStatusLine();
    OutRecord({line});
    std::fflush(stdout);
    DrawStatusLine();
  }
  void SetStatusText(const std::string& text) override {
    status_ = text;
    if (terminal_) {
      DrawStatusLine();
    } else {
      std::fprintf(stderr, "%s\n", text.c_str());
    }
  }
  void SetProgressMax(int count) override {
    max_ = count == 0 ? 1 : count;
    position_ = 0;
    DrawStatusLine();
  }
  void SetProgressPosition(int value) override {
    position_ = value;
    DrawStatusLine();
  }
  void ShowFolderRow(int) override {}
  void UpdateFolderRow(const std::string& folderName, int folderIndex, int status, int extracted,
                       int messages, int total) override {
    if (folderIndex < 0) return;
    if (rows_.size() <= static_cast<size_t>(folderIndex)) rows_.resize(folderIndex + 1);
    rows_[folderIndex] = {folderName, std::to_string(total), std::to_string(messages),
                          std::to_string(extracted), TFolderStatus::DisplayText(status)};
  }

  // Clears the status line and writes the rows as they stand at the end.
  void Finish() {
    ClearStatusLine();
    drawn_ = false;
    terminal_ = false;
    for (const auto& r : rows_) {
      std::string line = "folder";
      for (const auto& f : r) line += "\t" + f;
      std::fprintf(stderr, "%s\n", line.c_str());
    }
  }

 private:
  void ClearStatusLine() {
    if (terminal_ && drawn_) std::fputs("\r\033[K", stderr);
  }
  void DrawStatusLine() {
    if (!terminal_) return;
    int width = 80;
    winsize ws{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20) width = ws.ws_col;
    constexpr int kBar = 20;
    int pos = position_ < 0 ? 0 : position_ > max_ ? max_ : position_;
    const int filled = static_cast<int>(static_cast<long long>(pos) * kBar / max_);
    std::string line = "[" + std::string(filled, '#') + std::string(kBar - filled, '.') + "] " +
                       std::to_string(pos) + "/" + std::to_string(max_) + " " + status_;
    // Cut to the terminal's width, not inside a UTF-8 sequence.
    if (line.size() >= static_cast<size_t>(width)) {
      size_t cut = static_cast<size_t>(width - 1);
      while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
      line.resize(cut);
    }
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  bool terminal_;
  bool drawn_ = false;
  std::string status_;
  int max_ = 1;
  int position_ = 0;
  std::vector<std::vector<std::string>> rows_;
};

struct TExtractArgs {
  std::string Store, Identity, Dest;
  std::vector<std::string> Folders;
  int Layout = 6;
  bool FullFileName = true;
  std::vector<std::string> Include = kShippedInclude;
  std::vector<std::string> Exclude = kShippedExclude;
  bool SelectedOnly = false;
  bool DownloadLinks = false;
  bool SkipDuplicates = false;
  bool HasFrom = false, HasTo = false;
  TDateTime From = 0, To = 0;
  unsigned long long PauseMs = 0;
};

// Parses the arguments; returns -1 when they are fine, else the exit status.
int ParseArgs(const std::vector<std::string>& args, TExtractArgs& x) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string v;
    auto value = [&](const char* what) {
      if (i + 1 >= args.size()) {
        UsageError("extract", a + " needs " + what);
        return false;
      }
      v = args[++i];
      return true;
    };
    unsigned long long n = 0;
    if (a == "--store") {
      if (!value("a directory")) return kFailure;
      x.Store = v;
    } else if (a == "--identity") {
      if (!value("an identity name")) return kFailure;
      x.Identity = v;
    } else if (a == "--dest") {
      if (!value("a directory")) return kFailure;
      x.Dest = v;
    } else if (a == "--folder") {
      if (!value("a file name")) return kFailure;
      x.Folders.push_back(v);
    } else if (a == "--layout") {
      if (!value("a number from 0 to 6")) return kFailure;
      if (!ParseNumber(v, n) || n > 6) return UsageError("extract", "--layout takes 0 to 6");
      x.Layout = static_cast<int>(n);
    } else if (a == "--full-file-name") {
      x.FullFileName = true;
    } else if (a == "--no-full-file-name") {
      x.FullFileName = false;
    } else if (a == "--exclude") {
      if (!value("a list of extensions")) return kFailure;
      x.Exclude = SplitList(v);
    } else if (a == "--include") {
      if (!value("a list of extensions")) return kFailure;
      x.Include = SplitList(v);
    } else if (a == "--selected-only") {
      x.SelectedOnly = true;
    } else if (a == "--download-links") {
      x.DownloadLinks = true;
    } else if (a == "--skip-duplicates") {
      x.SkipDuplicates = true;
    } else if (a == "--date-from" || a == "--date-to") {
      if (!value("a date (YYYY-MM-DD)")) return kFailure;
      TDateTime d = 0;
      if (!ParseIsoDate(v, d)) return UsageError("extract", a + " takes a date as YYYY-MM-DD");
      (a == "--date-from" ? x.From : x.To) = d;
      (a == "--date-from" ? x.HasFrom : x.HasTo) = true;
    } else if (a == "--pause-ms" || a == "--pause") {  // --pause: the first release's name
      if (!value("milliseconds")) return kFailure;
      if (!ParseNumber(v, n) || n > 60000)
        return UsageError("extract", "--pause-ms takes 0 to 60000 milliseconds");
      x.PauseMs = n;
    } else {
      return UsageError("extract", "unexpected argument '" + a + "'");
    }
  }
  if (x.Store.empty() == x.Identity.empty())
    return UsageError("extract", "give either --store or --identity");
  if (TrimBlanks(x.Dest).empty()) return UsageError("extract", "missing --dest");
  if (x.HasFrom || x.HasTo) {
    if (!x.HasFrom) x.From = EncodeDate(1900, 1, 1);
    if (!x.HasTo) x.To = Date();
    if (x.From > x.To) return UsageError("extract", "--date-from is after --date-to");
  }
  return -1;
}

// The store root of an identity, or "" after reporting why there is none.
std::string IdentityStore(const std::string& name) {
  std::vector<std::string> names, roots;
  ListOEIdentities(names, roots);
  int hit = -1;
  for (size_t i = 0; i < names.size() && hit < 0; ++i)
    if (names[i] == name) hit = static_cast<int>(i);
  for (size_t i = 0; i < names.size() && hit < 0; ++i)
    if (UpperAscii(names[i]) == UpperAscii(name)) hit = static_cast<int>(i);
  if (hit < 0) {
    std::string known;
    for (const auto& n : names) known += (known.empty() ? "" : ", ") + n;
    Fail("no identity named '" + name + "'" +
         (known.empty() ? " (no identities are known; see import-registry)"
                        : " (known: " + known + ")"));
    return "";
  }
  const std::string& root = roots[static_cast<size_t>(hit)];
  if (root.empty() || root == kEmptyProfileRoot) {
    Fail("the identity '" + names[static_cast<size_t>(hit)] + "' has no store directory");
    return "";
  }
  return root;
}

int Extract(const std::vector<std::string>& rawArgs) {
  // The Outlook source takes its own arguments.
  std::vector<std::string> args;
  bool outlook = false;
  for (size_t i = 0; i < rawArgs.size(); ++i) {
    if (rawArgs[i] == "--source" && i + 1 < rawArgs.size()) {
      const std::string& s = rawArgs[++i];
      if (s == "outlook") {
        outlook = true;
      } else if (s != "oe" && s != "outlook-express") {
        return UsageError("extract", "--source takes oe or outlook");
      }
      continue;
    }
    args.push_back(rawArgs[i]);
  }
  if (outlook) {
    if (!ExtractOutlook) return Fail("this build has no Outlook source");
    return ExtractOutlook(args);
  }

  TExtractArgs x;
  if (int status = ParseArgs(args, x); status >= 0) return status;
  std::string store = x.Store;
  if (!x.Identity.empty()) {
    store = IdentityStore(x.Identity);
    if (store.empty()) return kFailure;
  }
  if (!DirectoryExists(store)) return Fail("cannot open store directory " + store);

  // The folders: those named, with their names from folders.dbx where it
  // knows them; otherwise every folder of folders.dbx that has a file.
  std::vector<Toe5_FolderInfo> known;
  bool foldersRead = true;
  try {
    known = LoadOEFolderList(store);
  } catch (const std::exception& e) {
    if (x.Folders.empty())
      return Fail("cannot read the folder list folders.dbx of " + store + " (" + e.what() +
                  "); name the folder files with --folder");
    foldersRead = false;
  }
  std::vector<TJobFolder> chosen;
  if (x.Folders.empty()) {
    chosen = OEJobFolders(known);
  } else {
    for (const std::string& file : x.Folders) {
      TJobFolder f;
      f.Name = file;
      f.FileName = file;
      if (foldersRead)
        for (const Toe5_FolderInfo& k : known)
          if (k.FileName == file) {
            f.Name = k.FolderName;
            break;
          }
      chosen.push_back(f);
    }
  }

  // The destination, as the wizard makes sure of it.
  const std::string dest = TrimBlanks(x.Dest);
  if (!DirectoryExists(dest) && !ForceDirectories(dest)) {
    std::fprintf(stderr, "%s\n", kDestinationError);
    return kFailure;
  }

  ConsoleView view(::isatty(STDERR_FILENO) == 1);
  TExtractionJob job;
  job.StoreFolder = store;
  job.DestinationDir = IncludeTrailingSlash(dest);
  job.Folders = chosen;
  job.Layout = x.Layout;
  job.FullFileName = x.FullFileName;
  job.DownloadLinks = x.DownloadLinks;
  job.SkipDuplicates = x.SkipDuplicates;
  job.UseDateInterval = x.HasFrom || x.HasTo;
  job.DateFrom = x.From;
  job.DateTo = x.To;
  job.AllFiles = !x.SelectedOnly;
  job.IncludeExt = WorkerList(x.Include);
  job.ExcludeExt = WorkerList(x.Exclude);
  job.LinkLists.SelectedOnly = x.SelectedOnly;
  job.LinkLists.IncludeEntries = x.Include;
  job.LinkLists.ExcludeEntries = x.Exclude;
  job.PauseMs = static_cast<unsigned>(x.PauseMs);
  job.View = &view;
  job.StopRequested = &g_stop;
  g_stop.store(0);
  auto* previous = std::signal(SIGINT, OnInterrupt);

  TOEExtracter worker(job);
  worker.Resume();
  worker.WaitFor();
  std::signal(SIGINT, previous);
  std::fflush(stdout);
  view.Finish();
  if (worker.FatalException) {
    try {
      std::rethrow_exception(worker.FatalException);
    } catch (const std::exception& e) {
      return Fail(std::string("the run ended early: ") + e.what());
    } catch (...) {
      return Fail("the run ended early");
    }
  }
  return g_stop.load() ? kStopped : kOk;
}

const Register kExtract(
    {"extract",
     "(--store DIR | --identity NAME) --dest DIR [--folder FILE]... [--layout 0..6]\n"
     "      [--full-file-name | --no-full-file-name] [--exclude LIST] [--include LIST]\n"
     "      [--selected-only] [--download-links] [--skip-duplicates]\n"
     "      [--date-from YYYY-MM-DD] [--date-to YYYY-MM-DD] [--pause-ms N]\n"
     "      [--source outlook ...]",
     "extracts the attachments of an Outlook Express store (default: every folder of "
     "folders.dbx that has a file; layout 6 with full file names; the shipped exclude "
     "list, '' for none); log on stdout, status on stderr",
     Extract});

}  // namespace
}  // namespace qb::cli
