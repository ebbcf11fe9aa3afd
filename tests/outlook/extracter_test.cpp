// The Outlook worker against a scripted Outlook: its lines, rows, files,
// history and the mended failure handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/datetext.h"
#include "engine/oCalcMD5.h"
#include "platform/datetime.h"
#include "tests/outlook/outlook_test_util.h"

namespace qb {
namespace {

using ole::TFakeAttachment;
using ole::TFakeFolder;
using ole::TFakeMail;
using ole::TFakeOutlook;
using ole::TScopedOutlookProvider;
using test::ListFolders;
using test::ListTree;
using test::ReadFile;
using test::TOutlookRun;

const TDateTime kDay = EncodeDate(2003, 9, 21) + EncodeTime(10, 30, 0);

TFakeMail Mail(const std::string& subject, std::vector<TFakeAttachment> attachments = {}) {
  TFakeMail m;
  m.Subject = subject;
  m.SenderName = "Ann Sender";
  m.Recipients = {"bob@example.com"};
  m.ReceivedTime = kDay;
  m.Attachments = std::move(attachments);
  return m;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(OutlookExtracter, EmptyFolderGoesFromWaitingToFinished) {
  auto o = std::make_shared<TFakeOutlook>();
  o->AddStore("S").AddFolder("Empty");
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  run.Choose(ListFolders(), {"SEmpty"});
  run.Run();
  ASSERT_EQ(run.View.RowHistory.size(), 1u);
  EXPECT_EQ(run.View.RowHistory[0], (std::vector<int>{fsWaiting, fsProgress, fsFinished}));
  EXPECT_EQ(run.View.Rows[0].Total, 0);
  EXPECT_EQ(run.View.Log, (std::vector<std::string>{
                              "Starting With Options :", "    Extract All Message Attachments",
                              std::string(86, '-'), "Reading Messages from Empty ...",
                              TOutlookExtracter::kFinishedLine}));
  EXPECT_EQ(run.View.Statuses.back(), TOutlookExtracter::kFinishedLine);
}

TEST(OutlookExtracter, ThreeMessagesOfWhichTheSecondHasAttachments) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeFolder& inbox = o->AddStore("S").AddFolder("Inbox");
  inbox.Items = {Mail("one"),
                 Mail("Re: a/b", {{"report.doc", "DOC", false}, {"archive.tar.gz", "GZ", false}}),
                 Mail("three")};
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  run.Choose(ListFolders(), {"SInbox"});
  run.Run();

  const auto& st = run.View.Statuses;
  EXPECT_TRUE(Has(st, "Inbox : Processing Message 1 of 3 ..."));
  EXPECT_TRUE(Has(st, "Inbox : Processing Message 2 of 3 ..."));
  EXPECT_TRUE(Has(st, "Inbox : Processing Message 3 of 3 ..."));
  EXPECT_TRUE(Has(st, "Inbox : Extracting attachments from message 2 of 3"));
  EXPECT_FALSE(Has(st, "Inbox : Extracting attachments from message 1 of 3"));
  EXPECT_TRUE(Has(run.View.Log, "Attachments from 1 Message is extracted"));
  EXPECT_EQ(run.View.Rows[0].Status, fsFinished);
  EXPECT_EQ(run.View.Rows[0].Messages, 1);
  EXPECT_EQ(run.View.Rows[0].Extracted, 2);
  EXPECT_EQ(run.View.Rows[0].Total, 3);
  EXPECT_TRUE(run.View.Rows[0].Shown);
  EXPECT_EQ(ListTree(run.Out()), (std::vector<std::string>{"2003.09.21/Re_ a_b/archive.tar.gz",
                                                           "2003.09.21/Re_ a_b/report.doc"}));
  EXPECT_EQ(ReadFile(run.Out() + "/2003.09.21/Re_ a_b/report.doc"), "DOC");
  // The bar ends at its last maximum: the message count.
  EXPECT_EQ(run.View.ProgressPosition, 3);
}

TEST(OutlookExtracter, ExcludedExtensionsCountTheMessageButWriteNothing) {
  auto o = std::make_shared<TFakeOutlook>();
  o->AddStore("S").AddFolder("Inbox").Items = {
      Mail("x", {{"virus.exe", "MZ", false}, {"README", "text", false}})};
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  run.Job.ExcludeExt = {".EXE"};
  run.Choose(ListFolders(), {"SInbox"});
  run.Run();
  EXPECT_EQ(run.View.Rows[0].Messages, 1);
  EXPECT_EQ(run.View.Rows[0].Extracted, 0);
  EXPECT_TRUE(ListTree(run.Out()).empty());
  EXPECT_TRUE(o->Calls().size() >= 1);
  for (const std::string& call : o->Calls())
    EXPECT_EQ(call.rfind("SaveAsFile", 0), std::string::npos);
}

TEST(OutlookExtracter, StopInsideAFolderMarksItStoppedAndLeavesTheRestWaiting) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeFolder& store = o->AddStore("S");
  store.AddFolder("A").Items = {Mail("1", {{"a.txt", "1", false}}),
                                Mail("2", {{"b.txt", "2", false}}),
                                Mail("3", {{"c.txt", "3", false}})};
  store.AddFolder("B").Items = {Mail("4", {{"d.txt", "4", false}})};
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  run.Choose(ListFolders(), {"SA", "SB"});
  run.View.OnStatus = [&](const std::string& s) {
    if (s == "A : Processing Message 2 of 3 ...") run.Stop = 1;
  };
  run.Run();
  EXPECT_EQ(run.View.Rows[0].Status, fsStopped);
  EXPECT_EQ(run.View.Rows[0].Messages, 2);
  EXPECT_EQ(run.View.Rows[1].Status, fsWaiting);
  EXPECT_EQ(run.View.Log.back(), "Stopped by User.");
  EXPECT_EQ(run.View.Statuses.back(), "Stopped by User.");
  EXPECT_FALSE(Has(run.View.Statuses, "A : Processing Message 3 of 3 ..."));
  EXPECT_EQ(run.View.ProgressPosition, run.View.ProgressMax);
}

TEST(OutlookExtracter, NoOutlookEndsSilently) {
  auto o = std::make_shared<TFakeOutlook>();
  o->AddStore("S").AddFolder("Inbox");
  TScopedOutlookProvider listing(o->Factory());
  TOutlookRun run;
  run.Choose(ListFolders(), {"SInbox"});
  o->RefuseNameSpace = true;
  run.Run();
  EXPECT_TRUE(run.View.Log.empty());
  EXPECT_TRUE(run.View.Statuses.empty());
  EXPECT_TRUE(run.View.Rows.empty());
}

TEST(OutlookExtracter, FolderNotFoundByIdFailsInsteadOfReusingThePreviousOne) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeFolder& store = o->AddStore("S");
  store.AddFolder("Good").Items = {Mail("g", {{"g.txt", "G", false}})};
  store.AddFolder("Gone").Items = {Mail("x", {{"x.txt", "X", false}})};
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  const TOutlookFolderList list = ListFolders();
  run.Choose(list, {"SGood", "SGone"});
  o->Stores[0].Folders[1].FailGetFromID = true;
  run.Run();
  const std::string goneKey = test::FindRecord(list, "SGone")->Key();
  EXPECT_TRUE(Has(run.View.Log, "Errror opening " + goneKey));
  EXPECT_EQ(run.View.RowHistory[1], (std::vector<int>{fsErrorOpening, fsErrorOpening}));
  EXPECT_FALSE(Has(run.View.Log, "Reading Messages from Gone ..."));
  // Only the good folder's message was written, once.
  EXPECT_EQ(ListTree(run.Out()), (std::vector<std::string>{"2003.09.21/g/g.txt"}));
  int saves = 0;
  for (const std::string& c : o->Calls()) saves += c.rfind("SaveAsFile", 0) == 0;
  EXPECT_EQ(saves, 1);
}

TEST(OutlookExtracter, FolderWhoseItemsFailIsSkipped) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeFolder& store = o->AddStore("S");
  store.AddFolder("Bad").FailItems = true;
  store.AddFolder("Ok").Items = {Mail("m")};
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  const TOutlookFolderList list = ListFolders();
  run.Choose(list, {"SBad", "SOk"});
  run.Run();
  EXPECT_EQ(run.View.Log[3], "Errror opening " + test::FindRecord(list, "SBad")->Key());
  EXPECT_EQ(run.View.RowHistory[0], (std::vector<int>{fsErrorOpening, fsErrorOpening}));
  EXPECT_EQ(run.View.Rows[1].Status, fsFinished);
  EXPECT_EQ(run.View.Log.back(), TOutlookExtracter::kFinishedLine);
}

TEST(OutlookExtracter, AFailingMessageIsLoggedAndTheRunGoesOn) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeFolder& inbox = o->AddStore("S").AddFolder("Inbox");
  inbox.Items = {Mail("a", {{"a.txt", "A", false}}), Mail("b", {{"b.txt", "B", false}}),
                 Mail("c", {{"c.txt", "C", false}}), Mail("d", {{"d.txt", "D", false}})};
  inbox.Items[1].FailOpen = true;
  inbox.Items[2].FailRecipients = true;
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  const TOutlookFolderList list = ListFolders();
  run.Choose(list, {"SInbox"});
  run.Run();
  const std::string key = test::FindRecord(list, "SInbox")->Key();
  EXPECT_TRUE(Has(run.View.Log, "Error opening Messages (2) in " + key));
  EXPECT_TRUE(Has(run.View.Log, "Error opening Messages (3) in " + key));
  EXPECT_EQ(ListTree(run.Out()),
            (std::vector<std::string>{"2003.09.21/a/a.txt", "2003.09.21/d/d.txt"}));
  EXPECT_EQ(run.View.Rows[0].Messages, 2);
  EXPECT_EQ(run.View.Log.back(), TOutlookExtracter::kFinishedLine);
}

TEST(OutlookExtracter, SenderWithoutNameLeavesNoDirectoryLevel) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeMail m = Mail("Offer", {{"report.doc", "D", false}});
  m.SenderName = "";
  o->AddStore("S").AddFolder("Inbox").Items = {m};
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  run.Job.Layout = 1;  // date, sender, subject
  run.Choose(ListFolders(), {"SInbox"});
  run.Run();
  EXPECT_EQ(ListTree(run.Out()), (std::vector<std::string>{"2003.09.21/Offer/report.doc"}));
}

TEST(OutlookExtracter, SaveFailureNamesTheItemAndFolderKey) {
  auto o = std::make_shared<TFakeOutlook>();
  o->AddStore("S").AddFolder("Inbox").Items = {
      Mail("m", {{"bad.txt", "", true}, {"good.txt", "G", false}})};
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  const TOutlookFolderList list = ListFolders();
  run.Choose(list, {"SInbox"});
  run.Run();
  const std::string key = test::FindRecord(list, "SInbox")->Key();
  EXPECT_TRUE(Has(run.View.Log, "Unable to Save Attachment " + run.Out() +
                                    "/2003.09.21/m/bad.txt of Message(1) in " + key));
  EXPECT_EQ(run.View.Rows[0].Extracted, 1);
  EXPECT_EQ(ListTree(run.Out()), (std::vector<std::string>{"2003.09.21/m/good.txt"}));
}

TEST(OutlookExtracter, HistoryKeyIsRecipientsTimeAndSubject) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeMail m = Mail("Hello", {{"a.txt", "A", false}, {"b.exe", "B", false}});
  m.Recipients = {"bob@example.com", "carol@example.com"};
  TFakeMail bare = Mail("No one");
  bare.Recipients.clear();
  o->AddStore("S").AddFolder("Inbox").Items = {m, bare};
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  run.Job.ExcludeExt = {".EXE"};
  run.Choose(ListFolders(), {"SInbox"});
  run.Run();
  const std::string ini = ReadFile(run.Dir / "appdata/Quillbox/Outlook/OLMailData.ini");
  const std::string digest =
      MD5Text("bob@example.comcarol@example.com" + DateTimeText(kDay) + "Hello");
  EXPECT_NE(ini.find("[" + digest + "]\r\nSaved=1\r\nDate=" + DateTimeText(kDay) +
                     "\r\nAttachments=2\r\n"),
            std::string::npos)
      << ini;
  EXPECT_NE(ini.find("[" + MD5Text(DateTimeText(kDay) + "No one") + "]"), std::string::npos);
  EXPECT_NE(ini.find("LastStarted="), std::string::npos);
}

// The job's filters work for this source as for every other: the date
// interval and the include list pass over messages and files, the option
// lines stay as they were.
TEST(OutlookExtracter, DateIntervalAndIncludeListFilter) {
  struct Case {
    const char* name;
    std::function<void(TExtractionJob&)> set;
    std::vector<std::string> tree;
  };
  const std::vector<Case> cases = {
      {"none",
       [](TExtractionJob&) {},
       {"2003.09.21/old/a.doc", "2003.09.21/old/b.gif", "2020.01.15/new/c.doc"}},
      {"interval",
       [](TExtractionJob& j) {
         j.UseDateInterval = true;
         j.DateFrom = EncodeDate(2020, 1, 1);
         j.DateTo = EncodeDate(2020, 2, 1);
       },
       {"2020.01.15/new/c.doc"}},
      {"include list",
       [](TExtractionJob& j) {
         j.AllFiles = false;
         j.IncludeExt = {".DOC"};
       },
       {"2003.09.21/old/a.doc", "2020.01.15/new/c.doc"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto o = std::make_shared<TFakeOutlook>();
    TFakeMail recent = Mail("new", {{"c.doc", "C", false}});
    recent.ReceivedTime = EncodeDate(2020, 1, 15);
    o->AddStore("S").AddFolder("Inbox").Items = {
        Mail("old", {{"a.doc", "A", false}, {"b.gif", "B", false}}), recent};
    TScopedOutlookProvider use(o->Factory());
    TOutlookRun run;
    c.set(run.Job);
    run.Choose(ListFolders(), {"SInbox"});
    run.Run();
    EXPECT_EQ(ListTree(run.Out()), c.tree);
    EXPECT_EQ(run.View.Log[2].rfind("    Messages received between : ", 0) == 0,
              run.Job.UseDateInterval);
  }
}

// With the skip choice a second run writes nothing of the messages whose
// files were all written, and retries the one whose file failed.
TEST(OutlookExtracter, SkipPassesOverWhatAnEarlierRunWroteAndRetriesFailures) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeFolder& inbox = o->AddStore("S").AddFolder("Inbox");
  inbox.Items = {Mail("a", {{"a.txt", "A", false}}), Mail("b", {{"b.txt", "B", true}})};
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  run.Job.SkipDuplicates = true;
  run.Choose(ListFolders(), {"SInbox"});
  auto saves = [&] {
    int n = 0;
    for (const std::string& c : o->Calls()) n += c.rfind("SaveAsFile", 0) == 0;
    return n;
  };
  bool failed = false;
  auto once = [&] {
    TOutlookExtracter worker(run.Job, run.LinkOptions);
    worker.Resume();
    worker.WaitFor();
    failed = worker.RunHadFailures();
  };
  once();
  EXPECT_TRUE(failed);
  EXPECT_EQ(run.View.Log[1], "    Ignore Previously Extracted Attachments");
  EXPECT_EQ(ListTree(run.Out()), (std::vector<std::string>{"2003.09.21/a/a.txt"}));
  const int first = saves();
  o->Stores[0].Folders[0].Items[1].Attachments[0].FailSave = false;
  once();
  EXPECT_FALSE(failed);
  EXPECT_EQ(saves(), first + 1);  // b only
  EXPECT_EQ(ListTree(run.Out()),
            (std::vector<std::string>{"2003.09.21/a/a.txt", "2003.09.21/b/b.txt"}));
  once();
  EXPECT_EQ(saves(), first + 1);
}

TEST(OutlookExtracter, FullFileNamePutsFilesInTheRoot) {
  auto o = std::make_shared<TFakeOutlook>();
  o->AddStore("S").AddFolder("Inbox").Items = {Mail("Offer", {{"report.doc", "D", false}})};
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  run.Job.Layout = 6;
  run.Job.FullFileName = true;
  run.Choose(ListFolders(), {"SInbox"});
  run.Run();
  EXPECT_EQ(ListTree(run.Out()), (std::vector<std::string>{"2003.09.21 - report.doc"}));
}

}  // namespace
}  // namespace qb

namespace qb {
namespace {

// Serves every link with the same few bytes.
class FixedFetcher : public IHttpFetcher {
 public:
  TFetchResult Fetch(const std::string& link, IDownloadSink& sink) override {
    Links.push_back(link);
    if (!sink.Opened()) return TFetchResult::Abandoned;
    sink.Write("GIF89a", 6);
    return TFetchResult::Completed;
  }
  std::vector<std::string> Links;
};

TEST(OutlookExtracterLinks, LinkedFilesOfBodyThenHtmlBodyCountAsExtracted) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeMail m = Mail("Pictures");
  m.Body = "<a href=\"http://example.com/plain.gif\">x</a>";
  m.HTMLBody = "<html><a href=\"http://example.com/rich.gif\">y</a></html>";
  o->AddStore("S").AddFolder("Inbox").Items = {m, Mail("Nothing")};
  TScopedOutlookProvider use(o->Factory());
  TOutlookRun run;
  auto fetcher = std::make_shared<FixedFetcher>();
  run.LinkOptions.Fetcher = fetcher;
  run.Job.DownloadLinks = true;
  run.Choose(ListFolders(), {"SInbox"});
  run.Run();
  EXPECT_EQ(fetcher->Links, (std::vector<std::string>{"http://example.com/plain.gif",
                                                      "http://example.com/rich.gif"}));
  EXPECT_TRUE(Has(run.View.Statuses,
                  "Inbox : Downloading embedded images from Internet for Message 1 of 2"));
  EXPECT_FALSE(Has(run.View.Statuses,
                   "Inbox : Downloading embedded images from Internet for Message 2 of 2"));
  EXPECT_EQ(run.View.Rows[0].Messages, 1);
  EXPECT_EQ(run.View.Rows[0].Extracted, 2);
  EXPECT_EQ(ListTree(run.Out()), (std::vector<std::string>{"2003.09.21/Pictures/plain.gif",
                                                           "2003.09.21/Pictures/rich.gif"}));
}

}  // namespace
}  // namespace qb
