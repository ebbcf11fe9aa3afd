// The Outlook Express worker end to end on synthetic stores: the exact log,
// the tree of files written in every layout, the bytes of every file, the
// history file, the edge cases of a run and the mended failures. Every run
// is made with and without reading ahead, with the same result.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>

#include "engine/datetext.h"
#include "engine/history.h"
#include "engine/oCalcMD5.h"
#include "engine/runsummary.h"
#include "oestore/dbxwriter.h"
#include "oestore/oOExpressThrd.h"
#include "platform/paths.h"
#include "platform/sha256.h"
#include "tests/support/testsupport.h"
#include "tests/web/testserver.h"

namespace qb {
namespace {

const std::string kSep(86, '-');

std::string Base64(const std::string& bytes) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out, line;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    line += kAlphabet[(v >> 18) & 63];
    line += kAlphabet[(v >> 12) & 63];
    line += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    line += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
    if (line.size() >= 76) {
      out += line + "\r\n";
      line.clear();
    }
  }
  if (!line.empty()) out += line + "\r\n";
  return out;
}

struct TFile {
  std::string Name, Bytes;
};

// A multipart message with base64 attachments; html, when given, is a
// second text part.
std::string Mail(const std::string& subject, const std::vector<TFile>& files,
                 const std::string& html = "",
                 const std::string& date = "Sun, 21 Sep 2003 10:30:00 +0200",
                 const std::string& from = "\"Ann Archer\" <ann@example.com>") {
  std::string m = "From: " + from + "\r\nTo: sam@example.org\r\nSubject: " + subject +
                  "\r\nDate: " + date +
                  "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"=b1\"\r\n\r\n"
                  "--=b1\r\nContent-Type: text/plain\r\n\r\nSee the files.\r\n";
  if (!html.empty()) m += "--=b1\r\nContent-Type: text/html\r\n\r\n" + html + "\r\n";
  for (const TFile& f : files)
    m += "--=b1\r\nContent-Type: application/octet-stream; name=\"" + f.Name +
         "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" +
         f.Name + "\"\r\n\r\n" + Base64(f.Bytes);
  return m + "--=b1--\r\n";
}

TDbxSynthMessage Msg(std::string text) {
  TDbxSynthMessage m;
  m.Text = std::move(text);
  return m;
}

// The source with its folder index read hooked (to change the store
// between the passes).
class HookedSource : public TOESource {
 public:
  using TOESource::TOESource;
  std::function<void(const TJobFolder&, int call)> BeforeIndexRead;

 protected:
  std::unique_ptr<TDbxFile> ReadFolderIndex(const TJobFolder& folder,
                                            TDbxIndexList& list) override {
    if (BeforeIndexRead) BeforeIndexRead(folder, calls_++);
    return TOESource::ReadFolderIndex(folder, list);
  }

 private:
  int calls_ = 0;
};

class OEExtractRun : public ::testing::Test {
 protected:
  OEExtractRun() {
    job.StoreFolder = dir / "store";
    job.DestinationDir = dir / "out";
    job.Layout = 0;
    job.FullFileName = false;
    job.PauseMs = 0;
    job.ExcludeExt = {".EXE"};
    job.View = &view;
    job.StopRequested = &stop;
    links.UrlListPath = dir / "URLList.txt";
  }

  // Writes a folder file; returns where its messages' first blocks are.
  std::vector<std::int32_t> Folder(const std::string& name, const std::string& file,
                                   const std::vector<TDbxSynthMessage>& msgs) {
    TDbxLayout layout;
    test::WriteFile(dir / "store/" + file, BuildDbxMessageFile(msgs, {}, &layout));
    job.Folders.push_back({name, file, "", ""});
    std::vector<std::int32_t> firsts;
    for (const auto& b : layout.Blocks) firsts.push_back(b.empty() ? 0 : b[0]);
    return firsts;
  }

  // The key digest of the message whose first block is at position.
  std::string Digest(const std::string& file, std::int32_t position) {
    std::string dump;
    DumpDbxObject(dir / "store", file, position, dump);
    return MD5Text(dump);
  }

  // Runs the worker twice from the same state: first reading each message
  // on the worker thread, then (the run the test looks at) reading ahead on
  // a second thread; both must report, write and record the same.
  void Run() {
    const test::RecordingView before = view;
    const test::TreeSnapshot snapshot(dir.Path());
    const TOutcome single = RunOnce(false);
    snapshot.Restore();
    view = before;
    const TOutcome ahead = RunOnce(true);
    EXPECT_EQ(ahead.Trace, single.Trace);
    EXPECT_EQ(ahead.Tree, single.Tree);
    EXPECT_EQ(ahead.HistoryEnabled, single.HistoryEnabled);
    EXPECT_EQ(ahead.Failures, single.Failures);
  }

  struct TOutcome {
    std::vector<std::string> Trace;
    std::string Tree;
    bool HistoryEnabled, Failures;
  };
  TOutcome RunOnce(bool readAhead) {
    auto source = std::make_unique<HookedSource>(job.StoreFolder);
    source->BeforeIndexRead = hook;
    TOEExtracter worker(job, std::move(source), links);
    worker.SetPrepareAhead(readAhead);
    worker.Resume();
    worker.WaitFor();
    EXPECT_FALSE(worker.FatalException);
    historyEnabled = worker.HistoryEnabled();
    runFailed = worker.RunHadFailures();
    return {view.Trace, test::TreeContents(dir.Path()), historyEnabled, runFailed};
  }

  std::string Out() const { return dir / "out/outlookExpress"; }
  std::string HistoryFile() const { return dir / "appdata/Quillbox/OE/OEMailData.ini"; }
  std::vector<std::string> Tree() const { return test::ListTree(Out()); }
  std::string Bytes(const std::string& rel) const { return test::ReadFile(Out() + "/" + rel); }
  bool HasStatus(const std::string& s) const {
    return std::find(view.Statuses.begin(), view.Statuses.end(), s) != view.Statuses.end();
  }

  test::TempDir dir;
  test::ScopedEnv dataHome{"XDG_DATA_HOME", dir / "appdata"};
  test::ScopedEnv noProxy{"no_proxy", "127.0.0.1,localhost"};
  test::RecordingView view;
  std::atomic<std::uint8_t> stop{0};
  TExtractionJob job;
  TLinkDownloadOptions links;
  std::function<void(const TJobFolder&, int)> hook;
  bool historyEnabled = false;
  bool runFailed = false;
};

// ---- The whole run -----------------------------------------------------------

TEST_F(OEExtractRun, TwoFoldersExactLogTreeAndBytes) {
  const std::string doc = "DOC\r\nbytes \x01\x02\xff", gz = std::string("\x1f\x8b\x08\0gz", 6);
  Folder("Inbox", "Inbox.dbx",
         {Msg(Mail("Nothing", {})),
          Msg(Mail("Re: a/b", {{"report.doc", doc}, {"archive.tar.gz", gz}})),
          Msg(Mail("Program", {{"setup.exe", "MZ"}, {"README", "read me"}}))});
  Folder("Photos", "Photos.dbx",
         {Msg(Mail("Beach", {{"beach.bmp", "BM1"}, {"sun.png", "PNG"}}, "",
                   "Sat, 11 Oct 2003 19:05:42 +0200"))});
  Run();
  EXPECT_EQ(view.Log,
            (std::vector<std::string>{
                "Starting With Options :", "    Extract All Message Attachments", kSep,
                "Reading Messages from Inbox.dbx ...", "Attachments from 2 Messages are extracted",
                "Reading Messages from Photos.dbx ...", "Attachments from 1 Message is extracted",
                "Finished extracting all folders."}));
  EXPECT_EQ(Tree(), (std::vector<std::string>{
                        "2003.09.21/Re_ a_b/archive.tar.gz", "2003.09.21/Re_ a_b/report.doc",
                        "2003.10.11/Beach/beach.bmp", "2003.10.11/Beach/sun.png"}));
  EXPECT_EQ(Bytes("2003.09.21/Re_ a_b/report.doc"), doc);
  EXPECT_EQ(Bytes("2003.09.21/Re_ a_b/archive.tar.gz"), gz);
  EXPECT_EQ(Bytes("2003.10.11/Beach/beach.bmp"), "BM1");
  EXPECT_EQ(view.Rows[0].Status, fsFinished);
  EXPECT_EQ(view.Rows[0].Total, 3);
  EXPECT_EQ(view.Rows[0].Messages, 2);  // the excluded program's message counts too
  EXPECT_EQ(view.Rows[0].Extracted, 2);
  EXPECT_EQ(view.Rows[1].Extracted, 2);
  EXPECT_TRUE(HasStatus("Inbox : Extracting attachments from message 2 of 3 ..."));
  EXPECT_TRUE(HasStatus("Inbox : Extracting attachments from message 3 of 3 ..."));
  EXPECT_FALSE(HasStatus("Inbox : Extracting attachments from message 1 of 3 ..."));
  EXPECT_EQ(view.Statuses.back(), "Finished extracting all folders.");
}

// ---- Layouts -----------------------------------------------------------------

struct LayoutCase {
  int Layout;
  bool Full;
  std::vector<std::string> Tree;
};

class OEExtractLayout : public OEExtractRun, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(OEExtractLayout, TreeOfEveryLayout) {
  Folder("Inbox", "Inbox.dbx",
         {Msg(Mail("Offer", {{"report.doc", "R"}})), Msg(Mail("", {{"blank.txt", "B"}}))});
  job.Layout = GetParam().Layout;
  job.FullFileName = GetParam().Full;
  Run();
  std::vector<std::string> expected = GetParam().Tree;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Tree(), expected);
  EXPECT_EQ(view.Rows[0].Extracted, 2);
}

const std::string kD = "2003.09.21", kF = "ann@example.com", kS = "Offer";
// An empty subject leaves no empty directory level; in the file-name form
// a leading one shows as a leading " - ".
INSTANTIATE_TEST_SUITE_P(
    AllLayouts, OEExtractLayout,
    ::testing::Values(
        LayoutCase{0, false, {kD + "/" + kS + "/report.doc", kD + "/blank.txt"}},
        LayoutCase{
            1, false, {kD + "/" + kF + "/" + kS + "/report.doc", kD + "/" + kF + "/blank.txt"}},
        LayoutCase{2, false, {kF + "/" + kD + "/blank.txt", kF + "/" + kD + "/report.doc"}},
        LayoutCase{
            3, false, {kF + "/" + kD + "/blank.txt", kF + "/" + kS + "/" + kD + "/report.doc"}},
        LayoutCase{
            4, false, {kD + "/" + kF + "/blank.txt", kS + "/" + kD + "/" + kF + "/report.doc"}},
        LayoutCase{
            5, false, {kF + "/" + kD + "/blank.txt", kS + "/" + kF + "/" + kD + "/report.doc"}},
        LayoutCase{6, false, {kD + "/blank.txt", kD + "/report.doc"}},
        LayoutCase{0, true, {kD + " - " + kS + " - report.doc", kD + " - blank.txt"}},
        LayoutCase{
            1,
            true,
            {kD + " - " + kF + " - " + kS + " - report.doc", kD + " - " + kF + " - blank.txt"}},
        LayoutCase{2, true, {kF + " - " + kD + " - blank.txt", kF + " - " + kD + " - report.doc"}},
        LayoutCase{
            3,
            true,
            {kF + " - " + kD + " - blank.txt", kF + " - " + kS + " - " + kD + " - report.doc"}},
        LayoutCase{4,
                   true,
                   {" - " + kD + " - " + kF + " - blank.txt",
                    kS + " - " + kD + " - " + kF + " - report.doc"}},
        LayoutCase{5,
                   true,
                   {" - " + kF + " - " + kD + " - blank.txt",
                    kS + " - " + kF + " - " + kD + " - report.doc"}},
        LayoutCase{6, true, {kD + " - blank.txt", kD + " - report.doc"}}));

// ---- History -----------------------------------------------------------------

TEST_F(OEExtractRun, HistoryHoldsOneRecordPerMessageUnderItsKeyDigest) {
  const auto firsts =
      Folder("Inbox", "Inbox.dbx",
             {Msg(Mail("One", {{"a.txt", "A"}, {"b.exe", "B"}})),
              Msg(Mail("Two", {}, "", "Mon, 22 Sep 2003 00:00:00 +0000")), Msg("")});
  Run();
  EXPECT_TRUE(historyEnabled);
  const std::string d1 = Digest("Inbox.dbx", firsts[0]), d2 = Digest("Inbox.dbx", firsts[1]);
  ASSERT_NE(d1, d2);
  const std::string text = test::ReadFile(HistoryFile());
  const std::string lastStarted = "[Program]\r\nLastStarted=";
  ASSERT_EQ(text.rfind(lastStarted, 0), 0u) << text;
  const std::size_t records = text.find("\r\n\r\n") + 4;
  // The date with its time; a date at midnight alone; the message without
  // text under the digest of the empty key, dated 0; every wanted file of
  // each was saved.
  EXPECT_EQ(text.substr(records),
            "[" + d1 + "]\r\nSaved=1\r\nDate=" +
                DateTimeText(EncodeDate(2003, 9, 21) + EncodeTime(10, 30, 0)) +
                "\r\nAttachments=2\r\n\r\n[" + d2 +
                "]\r\nSaved=1\r\nDate=" + DateTimeText(EncodeDate(2003, 9, 22)) +
                "\r\nAttachments=0\r\n\r\n[D41D8CD98F00B204E9800998ECF8427E]\r\nSaved=1\r\nDate=" +
                DateTimeText(0) + "\r\nAttachments=0\r\n\r\n");
}

TEST_F(OEExtractRun, HistoryThatCannotBeWrittenIsSwitchedOffAndTheRunGoesOn) {
  Folder("Inbox", "Inbox.dbx",
         {Msg(Mail("One", {{"a.txt", "A"}})), Msg(Mail("Two", {{"b.txt", "B"}}))});
  // Once the history is open, its directory turns into a file: no write
  // into it can succeed, not even as root.
  hook = [&](const TJobFolder&, int call) {
    if (call != 1) return;
    std::filesystem::rename(dir / "appdata/Quillbox/OE", dir / "appdata/Quillbox/OE.moved");
    test::WriteFile(dir / "appdata/Quillbox/OE", "not a directory");
  };
  Run();
  EXPECT_FALSE(historyEnabled);
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.21/One/a.txt", "2003.09.21/Two/b.txt"}));
  EXPECT_EQ(view.Log.back(), "Finished extracting all folders.");
  EXPECT_EQ(view.Rows[0].Extracted, 2);
}

// ---- Edge cases of a run -----------------------------------------------------

TEST_F(OEExtractRun, MessageWithoutDataPositionWritesNothing) {
  Folder("Inbox", "Inbox.dbx", {Msg(""), Msg(Mail("Two", {{"b.txt", "B"}}))});
  Run();
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.21/Two/b.txt"}));
  EXPECT_EQ(view.Rows[0].Messages, 1);
  EXPECT_EQ(view.Log[4], "Attachments from 1 Message is extracted");
  EXPECT_NE(test::ReadFile(HistoryFile()).find("[D41D8CD98F00B204E9800998ECF8427E]"),
            std::string::npos);
}

TEST_F(OEExtractRun, AttachmentsAllFilteredOutStillCountTheMessage) {
  Folder("Inbox", "Inbox.dbx", {Msg(Mail("Filtered", {{"x.Exe", "MZ"}, {"README", "r"}}))});
  Run();
  EXPECT_TRUE(Tree().empty());
  EXPECT_FALSE(DirectoryExists(Out()));  // no directory made for nothing
  EXPECT_TRUE(HasStatus("Inbox : Extracting attachments from message 1 of 1 ..."));
  EXPECT_EQ(view.Rows[0].Messages, 1);
  EXPECT_EQ(view.Rows[0].Extracted, 0);
  EXPECT_EQ(view.Log[4], "Attachments from 1 Message is extracted");
  EXPECT_NE(test::ReadFile(HistoryFile()).find("Attachments=2"), std::string::npos);
}

TEST_F(OEExtractRun, LinkedImageIsDownloadedIntoTheMessageDirectory) {
  test::TTestHttpServer server;
  server.Serve("/img/pic.jpg", "JPEG from the server");
  const std::string html = "<html><body><a href=\"" + server.Url("/img/pic.jpg?size=2") +
                           "\">pic</a><a href=\"mailto:x@y.z\">me</a></body></html>";
  Folder("News", "News.dbx", {Msg(Mail("Newsletter", {}, html))});
  job.DownloadLinks = true;
  job.Layout = 6;
  job.FullFileName = true;
  Run();
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.21 - pic.jpg"}));
  EXPECT_EQ(Bytes("2003.09.21 - pic.jpg"), "JPEG from the server");
  EXPECT_TRUE(HasStatus("News : Downloading embedded images from Internet for Message 1 of 1 ..."));
  EXPECT_TRUE(HasStatus("News : Extracting attachments from message 1 of 1 ..."));
  EXPECT_EQ(view.Rows[0].Messages, 1);
  EXPECT_EQ(view.Rows[0].Extracted, 1);
  EXPECT_EQ(view.Log[4], "Attachments from 1 Message is extracted");
  EXPECT_NE(test::ReadFile(dir / "URLList.txt").find(server.Url("/img/pic.jpg?size=2") + "=y"),
            std::string::npos);
}

TEST_F(OEExtractRun, LinkedErrorPageIsNotKeptAndTheRunFails) {
  test::TTestHttpServer server;
  server.On("/img/gone.jpg", [](const test::TTestHttpServer::Request&,
                                test::TTestHttpServer::Conn& c) { c.Reply(404, "not found"); });
  Folder("News", "News.dbx",
         {Msg(Mail("Newsletter", {{"a.txt", "A"}},
                   "<a href=\"" + server.Url("/img/gone.jpg") + "\">pic</a>"))});
  job.DownloadLinks = true;
  job.Layout = 6;
  Run();
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.21/a.txt"}));
  EXPECT_EQ(view.Log[4], "Unable to Save Attachment " + Out() +
                             "/2003.09.21/gone.jpg of Message(0) in News.dbx");
  EXPECT_EQ(view.Rows[0].Extracted, 1);
  EXPECT_TRUE(runFailed);
}

TEST_F(OEExtractRun, LinkedImageIsLeftAloneWithoutTheDownloadChoice) {
  test::TTestHttpServer server;
  server.Serve("/pic.jpg", "JPEG");
  Folder("News", "News.dbx",
         {Msg(Mail("Newsletter", {}, "<a href=\"" + server.Url("/pic.jpg") + "\">x</a>"))});
  Run();
  EXPECT_TRUE(Tree().empty());
  EXPECT_TRUE(server.Targets().empty());
  EXPECT_EQ(view.Rows[0].Messages, 0);
  EXPECT_FALSE(FileExists(dir / "URLList.txt"));
}

// The report's rows as they come.
struct TCollectedRows : IReportRows {
  void AddRow(const TReportRow& row) override { Rows.push_back(row); }
  std::vector<TReportRow> Rows;
};

// A row for every file a link brought and for every link that failed, with
// its message's fields; the files of the rows are the tree written.
TEST_F(OEExtractRun, LinkFilesGetReportRowsLikeAttachments) {
  using Conn = test::TTestHttpServer::Conn;
  using Req = test::TTestHttpServer::Request;
  test::TTestHttpServer server;
  server.Serve("/img/pic.jpg", "JPEG from the server");
  server.On("/img/gone.jpg", [](const Req&, Conn& c) { c.Reply(404, "not found"); });
  server.On("/img/cut.png", [](const Req&, Conn& c) { c.SendHead(200, 1000) && c.Send("12345"); });
  const auto a = [&server](const std::string& path) {
    return "<a href=\"" + server.Url(path) + "\">x</a>";
  };
  struct Row {
    std::string Path;
    TReportOutcome Outcome;
    std::string Reason;
    std::string Bytes;  // of a file there
    std::string Name;
    std::string Subject;
  };
  const std::string jpeg = "JPEG from the server";
  const Row rows[] = {
      {"outlookExpress/2003.09.21/pic.jpg", TReportOutcome::Written, "", jpeg, "pic.jpg", "First"},
      {"", TReportOutcome::Failed, "the server answered with an error", "", "gone.jpg", "First"},
      {"outlookExpress/2003.09.21/a.txt", TReportOutcome::Written, "", "A", "a.txt", "First"},
      {"outlookExpress/2003.09.21/pic.jpg", TReportOutcome::SameBytesThere, "", jpeg, "pic.jpg",
       "Second"},
      {"", TReportOutcome::Failed, "the transfer broke off", "", "cut.png", "Second"},
  };
  Folder("News", "News.dbx",
         {Msg(Mail("First", {{"a.txt", "A"}}, a("/img/pic.jpg?size=2") + a("/img/gone.jpg"))),
          Msg(Mail("Second", {}, a("/img/pic.jpg") + a("/img/cut.png")))});
  TCollectedRows report;
  job.Report = &report;
  job.DownloadLinks = true;
  job.Layout = 6;
  Run();
  // Both runs of Run(), each with the same rows.
  const std::size_t n = std::size(rows);
  ASSERT_EQ(report.Rows.size(), 2 * n);
  std::vector<std::string> files;
  for (std::size_t i = 0; i < n; ++i) {
    const TReportRow& got = report.Rows[n + i];
    const Row& want = rows[i];
    SCOPED_TRACE(want.Name + " of " + want.Subject);
    EXPECT_EQ(ReportRowText(got), ReportRowText(report.Rows[i]));
    EXPECT_EQ(got.WrittenPath, want.Path);
    EXPECT_EQ(got.Outcome, want.Outcome);
    EXPECT_EQ(got.Reason, want.Reason);
    EXPECT_EQ(got.Size, want.Bytes.size());
    EXPECT_EQ(got.Sha256, want.Path.empty() ? "" : Sha256Hex(want.Bytes));
    EXPECT_EQ(got.OriginalName, want.Name);
    EXPECT_EQ(got.Source, dir / "store/News.dbx");
    EXPECT_EQ(got.Folder, "News");
    EXPECT_EQ(got.Subject, want.Subject);
    EXPECT_EQ(got.From, report.Rows[n].From);
    EXPECT_NE(got.Date, 0);
    if (want.Path.empty()) continue;
    EXPECT_EQ(test::ReadFile(dir / "out/" + got.WrittenPath), want.Bytes);
    files.push_back(got.WrittenPath.substr(std::string("outlookExpress/").size()));
  }
  std::sort(files.begin(), files.end());
  files.erase(std::unique(files.begin(), files.end()), files.end());
  EXPECT_EQ(files, Tree());
}

TEST_F(OEExtractRun, FolderDeletedAfterListingFailsInTheCountingPass) {
  Folder("Gone", "Gone.dbx", {Msg(Mail("x", {{"a.txt", "A"}}))});
  Folder("Kept", "Kept.dbx", {Msg(Mail("y", {{"b.txt", "B"}}))});
  ::unlink((dir / "store/Gone.dbx").c_str());
  Run();
  EXPECT_EQ(view.Log,
            (std::vector<std::string>{
                "Starting With Options :", "    Extract All Message Attachments", kSep,
                "Errror opening Gone.dbx", "Reading Messages from Kept.dbx ...",
                "Attachments from 1 Message is extracted", "Finished extracting all folders."}));
  EXPECT_EQ(view.RowHistory[0], (std::vector<int>{fsErrorOpening, fsErrorOpening}));
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.21/y/b.txt"}));
}

TEST_F(OEExtractRun, FolderDeletedBetweenThePassesGetsStatus5AndTheRunGoesOn) {
  Folder("Gone", "Gone.dbx", {Msg(Mail("x", {{"a.txt", "A"}}))});
  Folder("Kept", "Kept.dbx", {Msg(Mail("y", {{"b.txt", "B"}}))});
  hook = [&](const TJobFolder& f, int call) {
    if (call == 2 && f.FileName == "Gone.dbx") ::unlink((dir / "store/Gone.dbx").c_str());
  };
  Run();
  EXPECT_EQ(view.RowHistory[0], (std::vector<int>{fsWaiting, fsErrorOpening}));
  EXPECT_EQ(view.Rows[0].Total, 0);
  EXPECT_EQ(view.Rows[1].Status, fsFinished);
  EXPECT_EQ(view.Log.back(), "Finished extracting all folders.");
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.21/y/b.txt"}));
}

// ---- Mended failures ---------------------------------------------------------

TEST_F(OEExtractRun, MalformedMessageIsLoggedAndTheNextOnesAreExtracted) {
  // A uuencoded line with characters outside the alphabet stops the decoder:
  // that file is not written (one log line); the message's others would be.
  const std::string bad =
      "From: a@b.c\r\nSubject: Broken\r\n\r\nbegin 644 bad.txt\r\nM~~~~\r\n`\r\nend\r\n";
  Folder("Inbox", "Inbox.dbx",
         {Msg(Mail("First", {{"1.txt", "1"}})), Msg(bad), Msg(Mail("Third", {{"3.txt", "3"}}))});
  Run();
  EXPECT_EQ(view.Log,
            (std::vector<std::string>{
                "Starting With Options :", "    Extract All Message Attachments", kSep,
                "Reading Messages from Inbox.dbx ...",
                "Unable to Save Attachment " + (dir / "out") +
                    "/outlookExpress/1899.12.30/Broken/bad.txt of Message(1) in Inbox.dbx",
                "Attachments from 3 Messages are extracted", "Finished extracting all folders."}));
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.21/First/1.txt", "2003.09.21/Third/3.txt"}));
}

TEST_F(OEExtractRun, DirectoryThatCannotBeMadeSkipsTheRestOfTheMessage) {
  Folder("Inbox", "Inbox.dbx",
         {Msg(Mail("Blocked", {{"a.txt", "A"}, {"b.txt", "B"}})),
          Msg(Mail("Free", {{"c.txt", "C"}}))});
  test::WriteFile(Out() + "/2003.09.21/Blocked", "a file where the directory goes");
  Run();
  EXPECT_EQ(view.Log[4], "Unable to Create Directory - " + Out() + "/2003.09.21/Blocked/");
  EXPECT_EQ(view.Log[5], "Attachments from 2 Messages are extracted");
  EXPECT_EQ(view.Rows[0].Extracted, 1);
  EXPECT_TRUE(FileExists(Out() + "/2003.09.21/Free/c.txt"));
}

TEST_F(OEExtractRun, ALinkAtTheNameSendsTheFileOnToTheNextName) {
  Folder("Inbox", "Inbox.dbx", {Msg(Mail("Two", {{"a.txt", "A"}, {"b.txt", "B"}}))});
  // A symbolic link in the way is never written through, nor replaced.
  ASSERT_TRUE(ForceDirectories(Out() + "/2003.09.21/Two"));
  const std::string link = Out() + "/2003.09.21/Two/a.txt";
  ASSERT_EQ(::symlink((dir / "elsewhere.txt").c_str(), link.c_str()), 0);
  Run();
  EXPECT_FALSE(FileExists(dir / "elsewhere.txt"));
  EXPECT_EQ(view.Log[4], "Attachments from 1 Message is extracted");
  EXPECT_EQ(view.Rows[0].Extracted, 2);
  EXPECT_EQ(Bytes("2003.09.21/Two/a (2).txt"), "A");
  EXPECT_EQ(Bytes("2003.09.21/Two/b.txt"), "B");
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// ---- Choices left to the program ---------------------------------------------

TEST_F(OEExtractRun, SkipDuplicatesPassesOverMessagesOfEarlierRuns) {
  Folder("Inbox", "Inbox.dbx", {Msg(Mail("One", {{"a.txt", "A"}}))});
  Run();
  ASSERT_EQ(Tree().size(), 1u);
  std::filesystem::remove_all(dir / "out");
  // A second message arrives; only it is new.
  job.Folders.clear();
  Folder("Inbox", "Inbox.dbx",
         {Msg(Mail("One", {{"a.txt", "A"}})), Msg(Mail("Two", {{"b.txt", "B"}}))});
  job.SkipDuplicates = true;
  view = test::RecordingView();
  Run();
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.21/Two/b.txt"}));
  EXPECT_EQ(view.Log[1], "    Ignore Previously Extracted Attachments");
  EXPECT_TRUE(HasStatus("Inbox : Processing Message 1 of 2 ..."));
  EXPECT_EQ(view.Rows[0].Messages, 1);
  EXPECT_EQ(view.Rows[0].Total, 2);
}

TEST_F(OEExtractRun, SkipDuplicatesDoesNotSkipTwinsWithinOneRun) {
  // The same text twice in one file: two data positions, two keys; and the
  // history of this run itself never counts as "before".
  Folder("Inbox", "Inbox.dbx",
         {Msg(Mail("One", {{"a.txt", "A"}})), Msg(Mail("One", {{"a.txt", "A"}}))});
  job.SkipDuplicates = true;
  Run();
  EXPECT_EQ(view.Rows[0].Messages, 2);
  EXPECT_EQ(view.Rows[0].Extracted, 2);
}

TEST_F(OEExtractRun, DateIntervalLeavesOutMessagesOutsideIt) {
  Folder("Inbox", "Inbox.dbx",
         {Msg(Mail("Before", {{"a.txt", "A"}}, "", "Sat, 20 Sep 2003 23:59:59 +0000")),
          Msg(Mail("First day", {{"b.txt", "B"}}, "", "Sun, 21 Sep 2003 00:00:00 +0000")),
          Msg(Mail("Last day", {{"c.txt", "C"}}, "", "Tue, 23 Sep 2003 23:59:59 +0000")),
          Msg(Mail("After", {{"d.txt", "D"}}, "", "Wed, 24 Sep 2003 00:00:00 +0000")),
          Msg(Mail("Undated", {{"e.txt", "E"}}, "", "whenever"))});
  job.UseDateInterval = true;
  job.DateFrom = EncodeDate(2003, 9, 21) + EncodeTime(12, 0, 0);  // the time does not matter
  job.DateTo = EncodeDate(2003, 9, 23);
  Run();
  EXPECT_EQ(Tree(),
            (std::vector<std::string>{"2003.09.21/First day/b.txt", "2003.09.23/Last day/c.txt"}));
  EXPECT_EQ(view.Log[2], "    Messages received between : " + FormatIntervalBound(job.DateFrom) +
                             " and " + FormatIntervalBound(job.DateTo));
  EXPECT_EQ(view.Rows[0].Messages, 2);
  EXPECT_EQ(view.Rows[0].Total, 5);
}

TEST_F(OEExtractRun, SelectedOnlyTakesTheIncludeListThenTheExcludeList) {
  Folder("Inbox", "Inbox.dbx",
         {Msg(Mail("Mixed", {{"a.pdf", "P"}, {"b.JPG", "J"}, {"c.doc", "D"}, {"d.txt", "T"}}))});
  job.AllFiles = false;
  job.IncludeExt = {".PDF", ".JPG", ".DOC"};
  job.ExcludeExt = {".DOC"};
  Run();
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.21/Mixed/a.pdf", "2003.09.21/Mixed/b.JPG"}));
  EXPECT_EQ(view.Rows[0].Messages, 1);
  EXPECT_EQ(view.Rows[0].Extracted, 2);
}

TEST(OEExtractInterval, WholeDays) {
  const TDateTime from = EncodeDate(2003, 9, 21), to = EncodeDate(2003, 9, 21);
  EXPECT_TRUE(TOEExtracter::InDateInterval(from + 0.999, from, to));
  EXPECT_FALSE(TOEExtracter::InDateInterval(from - 0.001, from, to));
  EXPECT_FALSE(TOEExtracter::InDateInterval(0, -10, 10));
}

}  // namespace
}  // namespace qb

// The local HTTP server of the web tests, built into this program too.
#include "tests/web/testserver.cpp"
