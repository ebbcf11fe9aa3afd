#include "app/extract_run.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <utility>

#include "app/commands.h"
#include "engine/history.h"
#include "engine/runsummary.h"
#include "platform/i18n.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qb::cli {

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
    N_("Unable to Create the Destination directory.\r\n\r\nPlease select a new directory");

std::atomic<std::uint8_t> g_stop{0};
// Ctrl-C writes a byte here; a watcher thread passes it on to the worker,
// which a signal handler cannot safely wake itself.
int g_interruptPipe[2] = {-1, -1};

extern "C" void OnInterrupt(int) {
  g_stop.store(1);
  const int saved = errno;
  if (g_interruptPipe[1] >= 0) {
    const char c = 's';
    [[maybe_unused]] ssize_t n = ::write(g_interruptPipe[1], &c, 1);
  }
  errno = saved;
  // A second Ctrl-C ends the program at once.
  std::signal(SIGINT, SIG_DFL);
}

// Runs the worker to its end; Ctrl-C asks it to stop and ends a pause at
// once.
void RunWithInterrupts(TExtractionWorker& worker) {
  if (::pipe2(g_interruptPipe, O_CLOEXEC) != 0) g_interruptPipe[0] = g_interruptPipe[1] = -1;
  auto* previous = std::signal(SIGINT, OnInterrupt);
  std::thread watcher;
  if (g_interruptPipe[0] >= 0)
    watcher = std::thread([&worker] {
      char c = 0;
      while (::read(g_interruptPipe[0], &c, 1) < 0 && errno == EINTR) {
      }
      if (c == 's') worker.RequestStop();
    });
  worker.Resume();
  worker.WaitFor();
  std::signal(SIGINT, previous);
  if (watcher.joinable()) {
    const char c = 'q';
    [[maybe_unused]] ssize_t n = ::write(g_interruptPipe[1], &c, 1);
    watcher.join();
  }
  for (int& fd : g_interruptPipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

// "pdf, .JPG,,zip" -> pdf, JPG, zip (entries trimmed, a leading "." dropped).
std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    std::string e = Trim(text.substr(start, comma == std::string::npos ? comma : comma - start));
    if (!e.empty() && e[0] == '.') e = Trim(e.substr(1));
    if (!e.empty()) out.push_back(e);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

// The worker's form of a list: "." + the entry upper-cased.
std::vector<std::string> WorkerList(const std::vector<std::string>& entries) {
  std::vector<std::string> out;
  for (const std::string& e : entries) out.push_back("." + UpperCase(Trim(e)));
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

// The log on stdout a line at a time; the status text on stderr, on a
// terminal as one line redrawn in place with a progress bar, otherwise as
// plain lines; the folder rows on stderr at the end. Away from a terminal
// both streams are buffered and written out at the end of each batch of
// reports, or when output moves from one stream to the other, so that the
// lines keep their order when both go to one file.
class ConsoleView : public IRunView {
 public:
  ConsoleView(bool terminal, bool logToStderr) : terminal_(terminal), logToStderr_(logToStderr) {}

  void AddLog(const std::string& line) override {
    ClearStatusLine();
    if (logToStderr_) {
      // Standard output carries the report rows.
      ToStderr();
      FlushStderr();
      std::fprintf(stderr, "%s\n", line.c_str());
      DrawStatusLine();
      return;
    }
    ToStdout();
    OutRecord({line});
    if (terminal_) std::fflush(stdout);
    DrawStatusLine();
  }
  // On stderr, between the lines written before and after it.
  void AddNotice(const std::string& text) override {
    ++notices_;
    ClearStatusLine();
    ToStderr();
    FlushStderr();
    std::fprintf(stderr, "quillbox-cli: %s\n", text.c_str());
    if (terminal_) DrawStatusLine();
  }
  int Notices() const { return notices_; }
  void SetStatusText(const std::string& text) override {
    status_ = text;
    ClearStatusLine();
    if (terminal_) {
      DrawStatusLine();
    } else {
      ToStderr();
      err_ += text;
      err_ += '\n';
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
    rows_[folderIndex] = {folderName, total == kRowTotalUnknown ? "" : std::to_string(total),
                          std::to_string(messages), std::to_string(extracted),
                          TFolderStatus::DisplayText(status)};
  }
  // The status line on a terminal is redrawn at most once per batch; away
  // from one every status line is written.
  TDelivery Delivery() const override { return terminal_ ? TDelivery::Coalesce : TDelivery::Queue; }
  void ReportsDelivered() override {
    std::fflush(stdout);
    FlushStderr();
  }

  // Clears the status line and writes the rows as they stand at the end.
  void Finish() {
    ReportsDelivered();
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
  // Output goes to stdout next: what stderr holds goes first.
  void ToStdout() {
    FlushStderr();
    onStdout_ = true;
  }
  // Output goes to stderr next: what stdout holds goes first.
  void ToStderr() {
    if (onStdout_) std::fflush(stdout);
    onStdout_ = false;
  }
  void FlushStderr() {
    if (err_.empty()) return;
    std::fwrite(err_.data(), 1, err_.size(), stderr);
    err_.clear();
  }
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
    // A share rather than a count: the bar goes by messages or, for a large
    // mailbox, by bytes, and the status names the message either way.
    const int percent = static_cast<int>(static_cast<long long>(pos) * 100 / max_);
    std::string line = "[" + std::string(filled, '#') + std::string(kBar - filled, '.') + "] " +
                       std::to_string(percent) + "% " + status_;
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
  bool logToStderr_;
  int notices_ = 0;
  bool onStdout_ = false;
  std::string err_;  // status lines not yet written
  bool drawn_ = false;
  std::string status_;
  int max_ = 1;
  int position_ = 0;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace

int ParseExtractArgs(const std::vector<std::string>& args, TExtractSource source, TExtractArgs& x) {
  const bool oe = source == TExtractSource::OutlookExpress;
  const bool mbox = source == TExtractSource::Mailbox;
  x.Include = kShippedInclude;
  x.Exclude = kShippedExclude;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string v;
    auto value = [&](const char* what) {
      if (i + 1 >= args.size()) {
        UsageError("extract", Substitute(Translate("%1 needs %2"), {a, Translate(what)}));
        return false;
      }
      v = args[++i];
      return true;
    };
    unsigned long long n = 0;
    if (oe && a == "--store") {
      if (!value(N_("a directory"))) return kFailure;
      x.Store = v;
    } else if (oe && a == "--identity") {
      if (!value(N_("an identity name"))) return kFailure;
      x.Identity = v;
    } else if (mbox && a == "--mailbox") {
      if (!value(N_("a mailbox file"))) return kFailure;
      x.Mailboxes.push_back(v);
    } else if (mbox && a == "--profile") {
      if (!value(N_("a profile name"))) return kFailure;
      x.Profile = v;
    } else if (source == TExtractSource::Outlook && a == "--pst") {
      if (!value(N_("a .pst file"))) return kFailure;
      x.Pst.push_back(v);
    } else if (a == "--dest") {
      if (!value(N_("a directory"))) return kFailure;
      x.Dest = v;
    } else if (!mbox && a == "--folder") {
      if (!value(oe                                       ? N_("a file name")
                 : source == TExtractSource::LocalFolders ? N_("a directory")
                                                          : N_("a folder path key")))
        return kFailure;
      x.Folders.push_back(v);
    } else if (a == "--layout") {
      if (!value(N_("a number from 0 to 6"))) return kFailure;
      if (!ParseNumber(v, n) || n > 6)
        return UsageError("extract", Translate("--layout takes 0 to 6"));
      x.Layout = static_cast<int>(n);
    } else if (a == "--full-file-name") {
      x.FullFileName = true;
    } else if (a == "--no-full-file-name") {
      x.FullFileName = false;
    } else if (a == "--exclude") {
      if (!value(N_("a list of extensions"))) return kFailure;
      x.Exclude = SplitList(v);
    } else if (a == "--include") {
      if (!value(N_("a list of extensions"))) return kFailure;
      x.Include = SplitList(v);
    } else if (a == "--selected-only") {
      x.SelectedOnly = true;
    } else if (a == "--download-links") {
      x.DownloadLinks = true;
    } else if (a == "--skip-duplicates") {
      x.SkipDuplicates = true;
    } else if (a == "--date-from" || a == "--date-to") {
      if (!value(N_("a date (YYYY-MM-DD)"))) return kFailure;
      TDateTime d = 0;
      if (!ParseIsoDate(v, d))
        return UsageError("extract", Substitute(Translate("%1 takes a date as YYYY-MM-DD"), {a}));
      (a == "--date-from" ? x.From : x.To) = d;
      (a == "--date-from" ? x.HasFrom : x.HasTo) = true;
    } else if (a == "--report") {
      if (!value(N_("a file name"))) return kFailure;
      if (Trim(v).empty()) return UsageError("extract", Translate("--report needs a file name"));
      x.Report = v;
    } else if (a == "--dry-run") {
      x.DryRun = true;
    } else if (a == "--summary-json") {
      x.SummaryJson = true;
    } else if (a == "--pause-ms" || a == "--pause") {  // --pause: the first release's name
      if (!value(N_("milliseconds"))) return kFailure;
      if (!ParseNumber(v, n) || n > 60000)
        return UsageError("extract", Translate("--pause-ms takes 0 to 60000 milliseconds"));
      x.PauseMs = n;
    } else {
      return UsageError("extract", Substitute(Translate("unexpected argument '%1'"), {a}));
    }
  }
  if (oe && x.Store.empty() == x.Identity.empty())
    return UsageError("extract", Translate("give either --store or --identity"));
  if (mbox && x.Mailboxes.empty() == x.Profile.empty())
    return UsageError("extract", Translate("give either --mailbox or --profile"));
  if (source == TExtractSource::LocalFolders && x.Folders.empty())
    return UsageError("extract", Translate("give at least one --folder"));
  if (Trim(x.Dest).empty()) return UsageError("extract", Translate("missing --dest"));
  if (x.HasFrom || x.HasTo) {
    if (!x.HasFrom) x.From = EncodeDate(1900, 1, 1);
    if (!x.HasTo) x.To = Date();
    if (x.From > x.To) return UsageError("extract", Translate("--date-from is after --date-to"));
  }
  return -1;
}

int RunExtraction(const TExtractArgs& x, TExtractionJob job, const TWorkerFactory& makeWorker) {
  // The destination, as the wizard makes sure of it.
  const std::string dest = Trim(x.Dest);
  // A dry run leaves even a missing destination missing.
  if (!x.DryRun && !DirectoryExists(dest) && !ForceDirectories(dest)) {
    std::fprintf(stderr, "%s\n", Translate(kDestinationError).c_str());
    return kFailure;
  }

  // The report: a file written beside its name and placed at the end, or in
  // a dry run without one, the rows on stdout.
  TReportFile reportFile;
  TStreamReportRows reportOut(stdout);
  const bool rowsOnStdout = x.DryRun && x.Report.empty();
  std::string reportDir, reportBase, reportExt;
  if (!x.Report.empty()) {
    const std::size_t slash = x.Report.rfind('/');
    reportDir = slash == std::string::npos ? "." : slash == 0 ? "/" : x.Report.substr(0, slash);
    const std::string name = slash == std::string::npos ? x.Report : x.Report.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    reportBase = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    reportExt = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    if (name.empty() || !reportFile.Open(reportDir))
      return Fail(Substitute(Translate("cannot write the report %1"), {x.Report}));
    job.Report = &reportFile;
  } else if (rowsOnStdout) {
    job.Report = &reportOut;
  }
  job.DryRun = x.DryRun;

  ConsoleView view(::isatty(STDERR_FILENO) == 1, rowsOnStdout);
  job.DestinationDir = IncludeTrailingSlash(dest);
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

  std::unique_ptr<TExtractionWorker> worker = makeWorker(job);
  RunWithInterrupts(*worker);
  const std::exception_ptr fatal = worker->FatalException;
  const bool historyKept = worker->HistoryEnabled();
  const bool historyNoticed = worker->HistoryNoticeGiven();
  const bool incomplete = worker->RunHadFailures();
  const TRunSummary summary = worker->Summary();
  worker.reset();
  if (rowsOnStdout) reportOut.Finish();
  std::fflush(stdout);
  view.Finish();
  std::fputs(SummaryText(summary).c_str(), stderr);
  if (x.SummaryJson) {
    std::fputs(SummaryJson(summary).c_str(), stdout);
    std::fflush(stdout);
  }
  bool reportFailed = false;
  if (!x.Report.empty()) {
    const std::string placed = reportFile.Finish(reportBase, reportExt);
    const std::string wanted = IncludeTrailingSlash(reportDir) + reportBase + reportExt;
    if (placed.empty()) {
      reportFailed = true;
      std::fprintf(stderr, "quillbox-cli: %s\n",
                   Substitute(Translate("cannot write the report %1"), {x.Report}).c_str());
    } else if (placed != wanted) {
      // Never over another file: the report took the next free name.
      std::fprintf(
          stderr, "quillbox-cli: %s\n",
          Substitute(Translate("%1 holds another file: the report is %2"), {x.Report, placed})
              .c_str());
    }
  }
  if (fatal) {
    try {
      std::rethrow_exception(fatal);
    } catch (const std::exception& e) {
      return Fail(Substitute(Translate("the run ended early: %1"), {UserErrorText(e)}));
    }
  }
  // A history switched off during the run has said why already.
  // A dry run leaves the history alone: it is not opened.
  const bool historyOk = historyKept || x.DryRun;
  if (!historyOk && !historyNoticed)
    std::fprintf(stderr, "quillbox-cli: %s\n",
                 Substitute(Translate("the history could not be kept below %1"),
                            {TExtractionHistory::HistoryPath("Quillbox")})
                     .c_str());
  if (g_stop.load()) return kStopped;
  return incomplete || !historyOk || reportFailed || view.Notices() > 0 ? kIncomplete : kOk;
}

}  // namespace qb::cli
