// quillbox-cli extract --source outlook: a run over Outlook's stores (the
// configured .pst files and those given with --pst) without a window. The
// options and the output are those of the Outlook Express run (the extract
// command hands its arguments over): the log on stdout a line at a time,
// the status texts and, at the end, the folder rows on stderr.
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/commands.h"
#include "engine/job.h"
#include "outlook/automation.h"
#include "outlook/oOutlookThrd.h"
#include "outlook/outlooklist.h"
#include "outlook/pstprovider.h"
#include "platform/datetime.h"
#include "platform/paths.h"

namespace qb::cli {

int ExtractOutlook(const std::vector<std::string>& args);

namespace {

// The wizard's shipped extension lists, as the Outlook Express run has them.
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

std::atomic<std::uint8_t> g_outlookStop{0};

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

// "pdf, .JPG,,zip" -> pdf, JPG, zip.
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
  for (const std::string& e : entries) {
    std::string u = TrimBlanks(e);
    for (char& c : u)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    out.push_back("." + u);
  }
  return out;
}

bool ParseIsoDate(const std::string& text, TDateTime& out) {
  int y = 0, m = 0, d = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3) return false;
  if (text.size() != 10 || !IsValidDate(y, m, d)) return false;
  out = EncodeDate(y, m, d);
  return true;
}

extern "C" void OnOutlookInterrupt(int) {
  g_outlookStop.store(1);
  // A second Ctrl-C ends the program at once.
  std::signal(SIGINT, SIG_DFL);
}

class OutlookConsoleView : public IRunView {
 public:
  void AddLog(const std::string& line) override {
    OutRecord({line});
    std::fflush(stdout);
  }
  void SetStatusText(const std::string& text) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  void SetProgressMax(int) override {}
  void SetProgressPosition(int) override {}
  void ShowFolderRow(int) override {}
  void UpdateFolderRow(const std::string& folderName, int folderIndex, int status, int extracted,
                       int messages, int total) override {
    if (folderIndex < 0) return;
    if (rows_.size() <= static_cast<size_t>(folderIndex)) rows_.resize(folderIndex + 1);
    rows_[folderIndex] = {folderName, std::to_string(total), std::to_string(messages),
                          std::to_string(extracted), TFolderStatus::DisplayText(status)};
  }
  void PrintRows() const {
    for (const auto& r : rows_) {
      std::string line = "folder";
      for (const auto& f : r) line += "\t" + f;
      std::fprintf(stderr, "%s\n", line.c_str());
    }
  }

 private:
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace

// The arguments after "--source outlook" has been taken out: those of the
// Outlook Express run, with --folder naming a folder by its path key
// (outlook-folders lists them), and --pst FILE adding a store.
int ExtractOutlook(const std::vector<std::string>& args) {
  std::string dest;
  std::vector<std::string> pst, paths;
  int layout = 6;
  bool fullFileName = true;
  std::vector<std::string> include = kShippedInclude, exclude = kShippedExclude;
  bool selectedOnly = false, downloadLinks = false, skipDuplicates = false;
  bool hasFrom = false, hasTo = false;
  TDateTime from = 0, to = 0;
  unsigned long long pause = 0;
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
    if (a == "--dest") {
      if (!value("a directory")) return kFailure;
      dest = v;
    } else if (a == "--pst") {
      if (!value("a .pst file")) return kFailure;
      pst.push_back(v);
    } else if (a == "--folder") {
      if (!value("a folder path key")) return kFailure;
      paths.push_back(v);
    } else if (a == "--layout") {
      if (!value("a number from 0 to 6")) return kFailure;
      if (!ParseNumber(v, n) || n > 6) return UsageError("extract", "--layout takes 0 to 6");
      layout = static_cast<int>(n);
    } else if (a == "--full-file-name") {
      fullFileName = true;
    } else if (a == "--no-full-file-name") {
      fullFileName = false;
    } else if (a == "--exclude") {
      if (!value("a list of extensions")) return kFailure;
      exclude = SplitList(v);
    } else if (a == "--include") {
      if (!value("a list of extensions")) return kFailure;
      include = SplitList(v);
    } else if (a == "--selected-only") {
      selectedOnly = true;
    } else if (a == "--download-links") {
      downloadLinks = true;
    } else if (a == "--skip-duplicates") {
      skipDuplicates = true;
    } else if (a == "--date-from" || a == "--date-to") {
      if (!value("a date (YYYY-MM-DD)")) return kFailure;
      TDateTime d = 0;
      if (!ParseIsoDate(v, d)) return UsageError("extract", a + " takes a date as YYYY-MM-DD");
      (a == "--date-from" ? from : to) = d;
      (a == "--date-from" ? hasFrom : hasTo) = true;
    } else if (a == "--pause-ms") {
      if (!value("milliseconds")) return kFailure;
      if (!ParseNumber(v, n) || n > 60000)
        return UsageError("extract", "--pause-ms takes 0 to 60000 milliseconds");
      pause = n;
    } else {
      return UsageError("extract", "unexpected argument '" + a + "'");
    }
  }
  if (TrimBlanks(dest).empty()) return UsageError("extract", "missing --dest");
  if (hasFrom || hasTo) {
    if (!hasFrom) from = EncodeDate(1900, 1, 1);
    if (!hasTo) to = Date();
    if (from > to) return UsageError("extract", "--date-from is after --date-to");
  }
  for (const std::string& file : pst)
    if (std::string problem = PstStoreProblem(file); !problem.empty()) return Fail(problem);

  ole::TScopedOutlookProvider provider(ole::PstApplicationFactory(pst));
  TOutlookTreeFill fill;
  fill.Resume();
  fill.WaitFor();
  if (!fill.Success())
    return Fail("Outlook is not available: no personal folders file is configured or given");

  // The folders: those named by path key, in the order given; otherwise
  // every mail folder that is not a store, in tree order.
  std::vector<TJobFolder> chosen;
  if (paths.empty()) {
    for (const auto& record : fill.FolderList())
      if (record->ParentId) chosen.push_back(record->ToJobFolder());
  } else {
    for (const std::string& path : paths) {
      bool found = false;
      for (const auto& record : fill.FolderList())
        if (record->Path == path) {
          chosen.push_back(record->ToJobFolder());
          found = true;
          break;
        }
      if (!found) return Fail("no Outlook mail folder has the path key '" + path + "'");
    }
  }

  // The destination, as the wizard makes sure of it.
  dest = TrimBlanks(dest);
  if (!DirectoryExists(dest) && !ForceDirectories(dest)) {
    std::fprintf(stderr, "%s\n", kDestinationError);
    return kFailure;
  }

  OutlookConsoleView view;
  TExtractionJob job;
  job.DestinationDir = IncludeTrailingSlash(dest);
  job.Folders = chosen;
  job.Layout = layout;
  job.FullFileName = fullFileName;
  job.DownloadLinks = downloadLinks;
  job.SkipDuplicates = skipDuplicates;
  job.UseDateInterval = hasFrom || hasTo;
  job.DateFrom = from;
  job.DateTo = to;
  job.AllFiles = !selectedOnly;
  job.IncludeExt = WorkerList(include);
  job.ExcludeExt = WorkerList(exclude);
  job.LinkLists.SelectedOnly = selectedOnly;
  job.LinkLists.IncludeEntries = include;
  job.LinkLists.ExcludeEntries = exclude;
  job.PauseMs = static_cast<unsigned>(pause);
  job.View = &view;
  job.StopRequested = &g_outlookStop;
  g_outlookStop.store(0);
  auto* previous = std::signal(SIGINT, OnOutlookInterrupt);

  TOutlookExtracter worker(job);
  worker.Resume();
  worker.WaitFor();
  std::signal(SIGINT, previous);
  std::fflush(stdout);
  view.PrintRows();
  if (worker.FatalException) {
    try {
      std::rethrow_exception(worker.FatalException);
    } catch (const std::exception& e) {
      return Fail(std::string("the run ended early: ") + e.what());
    } catch (...) {
      return Fail("the run ended early");
    }
  }
  return g_outlookStop.load() ? kStopped : kOk;
}

}  // namespace qb::cli
