// A run through the window: the reports on the run page, a whole run on a
// store made of the reference .dbx files compared with quillbox-cli on the
// same job, the close question while running, To Tray, the finish with its
// destination and sound, and the sound player itself.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "oestore/dbxreader.h"
#include "oestore/dbxwriter.h"
#include "outlook/fakeoutlook.h"
#include "outlook/oOutlookThrd.h"
#include "platform/codepage.h"
#include "platform/keystore.h"
#include "platform/paths.h"
#include "platform/sha256.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "tests/app/cli_runner.h"
#include "tests/support/testsupport.h"
#include "tests/wizard/wizardtest.h"
#include "wizard/fakedesktop.h"
#include "wizard/oMain.h"
#include "wizard/runcontrol.h"
#include "wizard/runview.h"
#include "wizard/soundplayer.h"

using namespace qb;
using namespace qb::wiz;

namespace {

// The reference files as one store: its folders, their files and the
// parent each hangs under (a subfolder of Inbox among them).
struct TRefFolder {
  int Id, Parent;
  const char* Name;
  const char* File;    // in the store
  const char* Source;  // below refdata/dbx
};
const TRefFolder kRefFolders[] = {
    {4, 1, "Inbox", "Inbox.dbx", "dbxoutlookexpress/Inbox.dbx"},
    {5, 1, "Outbox", "Outbox.dbx", "dbxoutlookexpress/Outbox.dbx"},
    {10, 4, "Forwarded", "Forwarded.dbx", "iped/test_OutlookDBX.dbx"},
    {11, 1, "Romanito", "Romanito.dbx", "dbxconvert/test.dbx"},
    {12, 1, "Junk", "Junk.dbx", "mail-transport-dbx/test.dbx"},
    {13, 1, "Lists", "Lists.dbx", "mail-transport-dbx/test1.dbx"},
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// One window on a store of the reference files, with its own key store,
// history and destination, and an identity "Main Identity" naming the store.
class TRunFixture {
 public:
  explicit TRunFixture(unsigned pauseMs = 0)
      : data_("XDG_DATA_HOME", dir / "appdata"), config_("XDG_CONFIG_HOME", dir / "config") {
    std::vector<TDbxSynthFolder> folders;
    TDbxSynthFolder root;
    root.Id = 1;
    root.Name = "Local Folders";
    root.Marker6 = true;
    folders.push_back(root);
    ForceDirectories(Store());
    for (const TRefFolder& f : kRefFolders) {
      TDbxSynthFolder x;
      x.Id = f.Id;
      x.ParentId = f.Parent;
      x.Name = f.Name;
      folders.push_back(x);
      test::WriteFile(Store() + "/" + f.File,
                      test::ReadFile(test::RefDataDir() + "/dbx/" + f.Source));
    }
    // The message files are the reference files themselves; only the
    // folders file is composed.
    for (TDbxSynthFolder& x : folders)
      for (const TRefFolder& f : kRefFolders)
        if (x.Id == f.Id) x.FileName = f.File;
    test::WriteFile(Store() + "/Folders.dbx", BuildDbxFoldersFile(folders));
    test::WriteFile(dir / "config/Quillbox/registry.reg", test::IdentityRegistryExport(Store()));
    keys = std::make_unique<TKeyStore>(dir / "config/Quillbox/registry.reg");
    TWizardOptions options = qb::wiztest::TestOptions();
    options.PauseMs = pauseMs;
    w = std::make_unique<TfrmOEMain>(desktop, *keys, options);
    w->show();
    desktop.Clear();
  }

  std::string Store() const { return dir / "store"; }
  std::string Dest() const { return dir / "out"; }

  // Welcome -> OEChoose (the identity) -> OEFolderSelect -> Options ->
  // Options2, each with Next.
  void WalkToOptions2() {
    w->rbOE->setChecked(true);
    w->btNext->click();
    QCOMPARE(w->CurrentPageName(), QStringLiteral("OEChoose"));
    w->rbOEChooseProfile->setChecked(true);
    w->btNext->click();
    QCOMPARE(w->CurrentPageName(), QStringLiteral("OEFolderSelect"));
    w->btNext->click();
    w->btNext->click();
    QCOMPARE(w->CurrentPageName(), QStringLiteral("Options2"));
    w->txtOEDir->setText(QString::fromStdString(Dest()));
  }

  void Start() {
    WalkToOptions2();
    w->btNext->click();
    QVERIFY(w->Running);
    QCOMPARE(w->CurrentPageName(), QStringLiteral("Processing"));
  }

  // Processes events until the run has finished.
  void WaitForFinish(int seconds = 120) { QTRY_VERIFY_WITH_TIMEOUT(!w->Running, seconds * 1000); }

  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (int i = 0; i < w->elTreeStatus->topLevelItemCount(); ++i) {
      std::string r = "folder";
      for (int c = 0; c < kStatusColumns; ++c)
        r += "\t" + w->elTreeStatus->topLevelItem(i)->text(c).toStdString();
      rows.push_back(r);
    }
    return rows;
  }

  test::TempDir dir;
  test::ScopedEnv data_, config_;
  std::unique_ptr<TKeyStore> keys;
  TFakeDesktop desktop;
  std::unique_ptr<TfrmOEMain> w;
};

}  // namespace

namespace qb::wiztest {

class RunTest : public QObject {
  Q_OBJECT

 private slots:
  // The dispatcher runs a worker's calls on the UI thread and waits; on the
  // UI thread itself the call runs at once.
  void dispatcherCarriesWorkerCallsToTheUiThread() {
    TQtDispatcher dispatcher;
    QThread* ui = QThread::currentThread();
    bool direct = false;
    Synchronize([&] { direct = QThread::currentThread() == ui; });
    QVERIFY(direct);

    struct TCaller : TThread {
      QThread* Ui = nullptr;
      int OnUi = 0;
      void Execute() override {
        for (int i = 0; i < 200; ++i)
          Synchronize([this] { OnUi += QThread::currentThread() == Ui; });
      }
    } caller;
    caller.Ui = ui;
    bool ended = false;
    caller.OnTerminate = [&](TThread&) { ended = QThread::currentThread() == ui; };
    caller.Resume();
    // Generous: each call is a round trip, slow on a loaded machine.
    QTRY_VERIFY_WITH_TIMEOUT(caller.Finished(), 120000);
    caller.WaitFor();
    QCOMPARE(caller.OnUi, 200);
    QVERIFY(ended);
  }

  // Rows start as "unknown" waiting rows; the reports set cells, numbers,
  // images and texts.
  void reportsSetTheRunPage() {
    QPlainTextEdit log;
    QLabel status;
    QProgressBar bar;
    QTreeWidget list;
    SetUpStatusList(list);
    FillStatusList(list, {"Inbox", "Caf\xe9"});
    QCOMPARE(list.headerItem()->text(colExtracted), QStringLiteral("Extracted"));
    QCOMPARE(list.topLevelItem(1)->text(colFolder), QStringLiteral("Caf\u00e9"));
    for (int c : {colTotal, colMsgs, colExtracted})
      QCOMPARE(list.topLevelItem(0)->text(c), QStringLiteral("unknown"));
    QCOMPARE(list.topLevelItem(0)->text(colStatus), QStringLiteral("Waiting"));

    TRunView view(log, status, bar, list);
    // Reports reach the widgets at the next refresh, or at Flush.
    view.AddLog("one");
    view.AddLog("two");
    QCOMPARE(log.toPlainText(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(log.toPlainText(), QStringLiteral("one\ntwo"), 2000);
    view.AddLog("three");
    view.SetStatusText("Inbox : Processing Message 1 of 4 ...");
    view.Flush();
    QCOMPARE(log.toPlainText(), QStringLiteral("one\ntwo\nthree"));
    QCOMPARE(status.text(), QStringLiteral("Inbox : Processing Message 1 of 4 ..."));
    view.SetProgressMax(0);
    view.Flush();
    QCOMPARE(bar.maximum(), 1);
    view.SetProgressMax(40);
    view.SetProgressPosition(12);
    view.UpdateFolderRow("Inbox", 0, fsFinished, 3, 2, 4);
    view.ShowFolderRow(1);
    view.Flush();
    QCOMPARE(bar.maximum(), 40);
    QCOMPARE(bar.value(), 12);
    QCOMPARE(list.topLevelItem(0)->text(colTotal), QStringLiteral("4"));
    QCOMPARE(list.topLevelItem(0)->text(colMsgs), QStringLiteral("2"));
    QCOMPARE(list.topLevelItem(0)->text(colExtracted), QStringLiteral("3"));
    QCOMPARE(list.topLevelItem(0)->text(colStatus), QStringLiteral("Finished"));
    QVERIFY(!list.topLevelItem(0)->icon(colFolder).isNull());
    QCOMPARE(list.currentItem(), list.topLevelItem(1));
    // A row the list does not have is left alone.
    view.UpdateFolderRow("Ghost", 7, fsError, 0, 0, 0);
    view.ShowFolderRow(-1);
    view.Flush();
    QCOMPARE(list.topLevelItemCount(), 2);
    QCOMPARE(StatusImages().size(), size_t{4});
    QCOMPARE(BusyFrames().size(), size_t{24});
    QCOMPARE(BusyFrames()[5].size(), QSize(32, 32));
  }

  // A whole run on the reference store: the log is what quillbox-cli
  // prints for the same job (plus the window's closing line), the same
  // files are written, and the rows end with the command line's counters.
  void wholeRunMatchesTheCommandLine() {
    TRunFixture f;
    f.WalkToOptions2();
    std::string sound = test::SourceDir() + "/data/OnOK.WAV";
    f.w->txtWavFile->setText(QString::fromStdString("  " + sound + " "));
    // The job as the window will hand it over, for the command line.
    const int layout = f.w->LayoutIndex();
    const bool full = f.w->cbUseFullFilename->isChecked();
    // Nothing excluded: the reference mails carry few attachments, one of
    // them a forwarded message (".eml", excluded by the shipped list).
    for (int i = 0; i < f.w->lbExcludeExtensions->count(); ++i)
      f.w->lbExcludeExtensions->item(i)->setCheckState(Qt::Unchecked);
    const std::string include = TickedItems(f.w->lbIncludeExtensions);
    const std::string exclude = TickedItems(f.w->lbExcludeExtensions);
    // No fetching from the network in a test.
    f.w->cbGetEmbbededImages->setChecked(false);
    const bool skip = f.w->cbSkipDuplicates->isChecked();
    const bool selectedOnly = f.w->rbSelectedDoc->isChecked();
    QVERIFY(!f.w->cbUseDate->isChecked());
    f.w->btNext->click();
    QVERIFY(f.w->Running);
    QVERIFY(!f.w->btNext->isEnabled());
    QVERIFY(f.w->RunState->Animation.IsRunning());
    std::vector<std::string> folderArgs;
    for (const TJobFolder& j : f.w->RunFolderList) {
      folderArgs.push_back("--folder");
      folderArgs.push_back(j.FileName);
    }
    QCOMPARE(f.w->elTreeStatus->topLevelItemCount(), int(std::size(kRefFolders)));
    // Inbox first, its subfolder right after it.
    QCOMPARE(f.w->elTreeStatus->topLevelItem(0)->text(colFolder), QStringLiteral("Inbox"));
    QCOMPARE(f.w->elTreeStatus->topLevelItem(1)->text(colFolder), QStringLiteral("Forwarded"));
    f.WaitForFinish();

    std::vector<std::string> args = {"extract",
                                     "--identity",
                                     "Main Identity",
                                     "--dest",
                                     f.dir / "cli",
                                     "--layout",
                                     std::to_string(layout),
                                     full ? "--full-file-name" : "--no-full-file-name",
                                     "--include",
                                     include,
                                     "--exclude",
                                     exclude};
    if (skip) args.push_back("--skip-duplicates");
    if (selectedOnly) args.push_back("--selected-only");
    args.insert(args.end(), folderArgs.begin(), folderArgs.end());
    const test::CliResult cli = test::RunCli(
        args, {{"XDG_DATA_HOME", f.dir / "cli-appdata"}, {"XDG_CONFIG_HOME", f.dir / "config"}});
    QCOMPARE(cli.Status, 0);

    // The log, line for line as the screen shows text.
    std::string expected;
    for (const std::string& line : SplitLines(cli.Out)) expected += ToUtf8Edge(line) + "\n";
    // The window's own closing lines: the end, then the summary.
    const std::string summary = SummaryLine(f.w->RunState->Summary);
    expected += "Finished with Extraction.\n" + summary;
    QCOMPARE(f.w->txtLogs->toPlainText().toStdString(), expected);

    // The same files with the same bytes.
    const std::vector<std::string> files = test::ListTree(f.Dest());
    QCOMPARE(files, test::ListTree(f.dir / "cli"));
    QCOMPARE(files.size(), size_t{2});
    for (const std::string& file : files)
      QVERIFY2(test::ReadFile(f.Dest() + "/" + file) == test::ReadFile(f.dir / "cli/" + file),
               file.c_str());

    // The rows end as the command line's rows.
    std::vector<std::string> cliRows;
    for (const std::string& line : SplitLines(cli.Err))
      if (line.rfind("folder\t", 0) == 0) cliRows.push_back(ToUtf8Edge(line));
    QCOMPARE(f.Rows(), cliRows);

    // The finish: buttons, page, animation, lists, destination, sound.
    QCOMPARE(f.w->btNext->text(), QStringLiteral("Finish"));
    QVERIFY(f.w->btNext->isEnabled() && f.w->btBack->isEnabled());
    QVERIFY(f.w->btToTray->isHidden() && !f.w->btHelp->isHidden());
    QCOMPARE(f.w->lbOEStatus->text(),
             QStringLiteral("Finished with Extraction. ") + QString::fromStdString(summary));
    QVERIFY(cli.Err.find("\nMessages read: " + std::to_string(f.w->RunState->Summary.MessagesRead) +
                         "\n") != std::string::npos);
    QVERIFY(!f.w->RunState->Animation.IsRunning());
    QCOMPARE(f.w->RunState->Animation.Frame(), 0);
    QVERIFY(f.w->RunFolderList.empty() && f.w->IncludeExtList.empty() &&
            f.w->ExcludeExtList.empty());
    QCOMPARE(f.w->ElTreeOE->topLevelItemCount(), 0);
    QCOMPARE(f.w->txtWavFile->text().toStdString(), sound);
    const auto opened = f.desktop.CallsOf("OpenPath");
    QCOMPARE(opened.size(), size_t{1});
    QCOMPARE(opened[0].Text, f.Dest() + "/");
    const auto played = f.desktop.CallsOf("PlaySound");
    QCOMPARE(played.size(), size_t{1});
    QCOMPARE(played[0].Text, sound);
    QVERIFY(f.desktop.Errors().empty());

    // Double click on the status list after the run opens the destination.
    f.desktop.Clear();
    f.w->elTreeStatusDblClick();
    QCOMPARE(f.desktop.CallsOf("OpenPath").size(), size_t{1});
    QCOMPARE(f.desktop.CallsOf("OpenPath")[0].Text, f.Dest());
  }

  // An Outlook run: the worker gets the ticked Outlook folders and reports
  // into the same page; the finish is the same.
  void outlookRunThroughTheWindow() {
    auto outlook = std::make_shared<ole::TFakeOutlook>();
    ole::TFakeFolder& inbox = outlook->AddStore("Personal Folders").AddFolder("Inbox");
    ole::TFakeMail mail;
    mail.Subject = "Report";
    mail.SenderName = "Ann";
    mail.ReceivedTime = EncodeDate(2004, 3, 1);
    mail.Attachments = {{"report.pdf", "%PDF-1.4\n"}};
    inbox.Items = {mail, ole::TFakeMail{}};
    ole::TScopedOutlookProvider use(outlook->Factory());

    TRunFixture f;
    f.w->rbOutlook->setChecked(true);
    f.w->btNext->click();
    QCOMPARE(f.w->CurrentPageName(), QStringLiteral("OutlookChoose"));
    f.w->btNext->click();
    f.w->btNext->click();
    QCOMPARE(f.w->CurrentPageName(), QStringLiteral("Options2"));
    f.w->txtOEDir->setText(QString::fromStdString(f.Dest()));
    f.w->btNext->click();
    QVERIFY(f.w->Running);
    f.WaitForFinish();
    std::vector<std::string> rows = f.Rows();
    QVERIFY(std::find(rows.begin(), rows.end(), "folder\tInbox\t2\t1\t1\tFinished") != rows.end());
    const QStringList log = f.w->txtLogs->toPlainText().split('\n');
    QCOMPARE(log.mid(log.size() - 3, 2),
             (QStringList{QString::fromLatin1(TOutlookExtracter::kFinishedLine),
                          "Finished with Extraction."}));
    QVERIFY(log.last().startsWith("Summary: "));
    QCOMPARE(test::ListTree(f.Dest()).size(), size_t{1});
    QCOMPARE(f.w->ElTreeOutLook->topLevelItemCount(), 0);
    QCOMPARE(f.desktop.CallsOf("OpenPath").size(), size_t{1});
  }

  // Damage the store reader passed over reaches the window: a log line of
  // the notice colour, the folder's row in error and a line below the
  // closing status.
  void reportCheckBoxWritesTheReportIntoTheDestination() {
    TRunFixture f;
    f.WalkToOptions2();
    QVERIFY(!f.w->cbWriteReport->isChecked());  // off by default
    f.w->cbWriteReport->setChecked(true);
    f.w->btNext->click();
    f.WaitForFinish();
    std::vector<std::string> reports, files;
    for (const std::string& file : test::ListTree(f.Dest()))
      (file.rfind("Quillbox report ", 0) == 0 ? reports : files).push_back(file);
    QCOMPARE(reports.size(), size_t{1});
    const std::string& name = reports[0];
    QVERIFY2(name.size() == 36 && name.substr(name.size() - 4) == ".csv", name.c_str());
    // One row for each file written, with its digest.
    const std::string report = test::ReadFile(f.Dest() + "/" + name);
    QCOMPARE(report.rfind(ReportHeaderRow(), 0), size_t{0});
    QVERIFY(!files.empty());
    for (const std::string& file : files) {
      const std::string row = file + ",written,,";
      const std::size_t at = report.find("\r\n" + row);
      QVERIFY2(at != std::string::npos, file.c_str());
      QVERIFY(report.find(Sha256Hex(test::ReadFile(f.Dest() + "/" + file)), at) !=
              std::string::npos);
    }
    QCOMPARE(f.w->RunState->Summary.AttachmentsWritten, std::uint64_t{files.size()});
  }

  void skippedDamageIsShownAsANotice() {
    TRunFixture f;
    std::string image = test::ReadFile(f.Store() + "/Inbox.dbx");
    image.replace(196, 4, std::string("\xE7\x03\x00\x00", 4));  // item count 999
    test::WriteFile(f.Store() + "/Inbox.dbx", image);
    TDbxSkipped skipped;
    TDbxIndexList list;
    LoadDbxIndexFromImage(image, false, &list, &skipped);
    const QString notice =
        QString::fromStdString("Inbox.dbx: skipped damaged parts: " + skipped.Text());
    QVERIFY(skipped.Text().find("item count 999 in the header") == 0);

    f.Start();
    f.WaitForFinish();
    QCOMPARE(f.w->RunState->View.Notices(), QStringList{notice});
    QCOMPARE(f.w->lbOEStatus->text(),
             QStringLiteral("Finished with Extraction. ") +
                 QString::fromStdString(SummaryLine(f.w->RunState->Summary)) + "\n" + notice);
    QCOMPARE(f.w->RunState->Summary.MessagesUnreadable, std::uint64_t{998});
    QCOMPARE(QString::fromStdString(f.Rows()[0].substr(0, 13)), QStringLiteral("folder\tInbox\t"));
    QVERIFY(f.Rows()[0].size() > 6 && f.Rows()[0].substr(f.Rows()[0].size() - 6) == "\tError");
    // The notice is a line of its own colour; the log lines keep theirs.
    int notices = 0;
    for (QTextBlock b = f.w->txtLogs->document()->begin(); b.isValid(); b = b.next()) {
      const QColor colour = b.begin().fragment().charFormat().foreground().color();
      if (b.text() == notice) {
        ++notices;
        QCOMPARE(colour.rgb() & 0xFFFFFFu, TRunView::kNoticeColour);
      } else if (!b.text().isEmpty()) {
        QVERIFY2((colour.rgb() & 0xFFFFFFu) != TRunView::kNoticeColour, qPrintable(b.text()));
      }
    }
    QCOMPARE(notices, 1);
    const QString log = f.w->txtLogs->toPlainText();
    QVERIFY(log.contains(QStringLiteral("\nUnable to Read ")));
  }

  // Closing while a run is active: No lets it go on; Yes stops it, waits
  // for the finish (destination opened, sound played) and closes.
  void closeQuestionWhileRunning() {
    TRunFixture f(40);
    f.Start();
    f.w->txtWavFile->setText(QString::fromStdString(test::SourceDir() + "/data/OnOK.WAV"));
    QTest::qWait(100);

    f.desktop.ConfirmAnswers = {false};
    f.w->close();
    QCOMPARE(f.desktop.CallsOf("Confirm").size(), size_t{1});
    QCOMPARE(f.desktop.CallsOf("Confirm")[0].Text,
             std::string("Program is Extracting attachments. Do you want to stop it ?"));
    QVERIFY(f.w->isVisible());
    QVERIFY(f.w->Running);
    QCOMPARE(f.w->StopRequested.load(), std::uint8_t{0});
    QTest::qWait(100);
    QVERIFY(f.w->Running);

    f.desktop.Clear();
    f.desktop.ConfirmAnswers = {true};
    f.w->close();  // returns once the worker has ended
    QVERIFY(!f.w->Running);
    QVERIFY(!f.w->isVisible());
    QCOMPARE(f.desktop.CallsOf("Confirm").size(), size_t{1});
    QCOMPARE(f.desktop.CallsOf("OpenPath").size(), size_t{1});
    QCOMPARE(f.desktop.CallsOf("PlaySound").size(), size_t{1});
    const QStringList log = f.w->txtLogs->toPlainText().split('\n');
    QCOMPARE(log.mid(log.size() - 3, 2),
             (QStringList{"Stopped by User.", "Finished with Extraction."}));
    QVERIFY(log.last().startsWith("Summary: "));
  }

  // A window taken down during a run (the program ending otherwise) stops
  // the run and lets it end before the controls go.
  void windowDestroyedDuringARun() {
    TRunFixture f(20);
    f.Start();
    QTest::qWait(50);
    f.w.reset();
    QCOMPARE(f.desktop.CallsOf("OpenPath").size(), size_t{1});
  }

  // Closing after a run asks the other question.
  void closeQuestionAfterTheRun() {
    TRunFixture f;
    f.Start();
    f.WaitForFinish();
    f.desktop.Clear();
    f.desktop.ConfirmAnswers = {false};
    f.w->close();
    QVERIFY(f.w->isVisible());
    f.w->close();  // Enter: Yes
    QVERIFY(!f.w->isVisible());
    const auto asked = f.desktop.CallsOf("Confirm");
    QCOMPARE(asked.size(), size_t{2});
    QCOMPARE(asked[0].Text, std::string("Do you really want to close the program ?"));
  }

  // To Tray during a run puts the window away (into the notification area,
  // or minimised where there is none) and the end of the run brings it back.
  void toTrayAndBackAtTheEnd_data() {
    QTest::addColumn<bool>("tray");
    QTest::newRow("notification area") << true;
    QTest::newRow("no notification area") << false;
  }
  void toTrayAndBackAtTheEnd() {
    QFETCH(bool, tray);
    TRunFixture f(5);
    f.w->RunState->TrayAvailable = [tray] { return tray; };
    f.Start();
    QVERIFY(f.w->btToTray->isVisible());
    f.w->btToTray->click();
    if (tray) {
      QVERIFY(!f.w->isVisible());
      QVERIFY(f.w->ctrayApps->isVisible());
      QCOMPARE(f.w->ctrayApps->toolTip(), QStringLiteral("Quillbox"));
    } else {
      QVERIFY(f.w->isMinimized());
    }
    f.WaitForFinish();
    QVERIFY(f.w->isVisible());
    QVERIFY(!f.w->isMinimized());
    QVERIFY(!f.w->ctrayApps->isVisible());
  }

  // A sound file that is not there: nothing is played and nothing shown.
  // The real player is silent on a missing file and bounded on a machine
  // without sound.
  void missingSoundIsSilent() {
    TRunFixture f;
    f.WalkToOptions2();
    f.w->txtWavFile->setText(QString::fromStdString(f.dir / "nothing.wav"));
    f.w->btNext->click();
    f.WaitForFinish();
    QVERIFY(f.desktop.CallsOf("PlaySound").empty());
    QVERIFY(f.desktop.Errors().empty());

    QVERIFY(!PlaySoundFileAndWait(f.dir / "nothing.wav"));
    const auto start = std::chrono::steady_clock::now();
    PlaySoundFileAndWait(test::SourceDir() + "/data/OnOK.WAV", std::chrono::seconds(5));
    QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(6));
  }
};

QB_WIZARD_TEST(RunTest);

}  // namespace qb::wiztest

#include "run_test.moc"
