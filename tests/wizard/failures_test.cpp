// The checks made on the way: each failure shows its error (OK button only)
// and leaves the wizard on the page it was on.
#include <unistd.h>

#include <QTest>

#include "outlook/pstprovider.h"
#include "platform/keystore.h"
#include "platform/paths.h"
#include "tests/wizard/wizardtest.h"

namespace qb::wiztest {

namespace {

const char* const kNoFolder =
    "Please select atleast one Mail Folder before proceeding to the next step";
const char* const kNoOutlook =
    "Unable to connect to Outlook. \r\n\r\nPlease make sure you have installed MS outlook Properly";

}  // namespace

class FailureMessages : public QObject {
  Q_OBJECT
 private slots:
  void eachFailureShowsItsMessageAndThePageStays_data() {
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("message");
    auto row = [](const char* situation, const char* page, const char* message) {
      QTest::newRow(situation) << situation << page << message;
    };
    row("store directory without folders.dbx", "OEChoose",
        "Selected Folder doesnt seems to have the folders.dbx of Outlook Express.");
    row("no identity", "OEChoose",
        "Profile not selected. Please select a folder before proceeding.");
    row("identity without a store", "OEChoose", "Profile doesnt have any mails.");
    row("store whose folders all lack a file", "OEFolderSelect", kNoFolder);
    row("no Outlook Express folder ticked", "OEFolderSelect", kNoFolder);
    row("Outlook lists no folders", "OutlookChoose", kNoFolder);
    row("only an Outlook store root ticked", "OutlookChoose", kNoFolder);
    row("Outlook not reachable", "Welcome", kNoOutlook);
    row("Netscape profile unusable", "NetscapeChoose", "Error");
    row("destination cannot be created", "Options2",
        "Unable to Create the Destination directory.\r\n\r\nPlease select a new directory");
  }
  void eachFailureShowsItsMessageAndThePageStays() {
    QFETCH(QString, situation);
    QFETCH(QString, page);
    QFETCH(QString, message);
    TWindow w;
    test::TempDir dir;
    auto outlook = std::make_shared<ole::TFakeOutlook>();
    ole::TScopedOutlookProvider useOutlook(outlook->Factory());
    const std::string guid = "{00000000-0000-0000-0000-00000000000A}";
    const std::string store = dir / "store";

    if (situation == "store directory without folders.dbx") {
      w.Next();
      w->rbOEChooseFolder->click();
      w->txtOECustomFolder->setText(QString::fromStdString(dir.Path()));
    } else if (situation == "no identity") {
      w.Next();
    } else if (situation == "identity without a store") {
      AddIdentity(w.Store, guid, "Nobody", "");
      w.Next();
    } else if (situation == "store whose folders all lack a file") {
      WriteStore(store, {Folder(1, 0, "Outbox", ""), Folder(2, 0, "Blank", "  ")});
      AddIdentity(w.Store, guid, "Main", store);
      QCOMPARE(WalkTo(w, "rbOE", "OEFolderSelect"), std::string("OEFolderSelect"));
      QCOMPARE(w->ElTreeOE->topLevelItemCount(), 0);
    } else if (situation == "no Outlook Express folder ticked") {
      WriteStore(store, {Folder(1, 0, "Inbox", "Inbox.dbx"), Folder(2, 1, "Sub", "Sub.dbx")});
      AddIdentity(w.Store, guid, "Main", store);
      WalkTo(w, "rbOE", "OEFolderSelect");
      for (wiz::TFolderItem* item : wiz::AllFolderItems(w->ElTreeOE)) item->SetTicked(false);
    } else if (situation == "Outlook lists no folders") {
      outlook->AddStore("Personal Folders");
      QCOMPARE(WalkTo(w, "rbOutlook", "OutlookChoose"), std::string("OutlookChoose"));
    } else if (situation == "only an Outlook store root ticked") {
      outlook->AddStore("Personal Folders").AddFolder("Inbox");
      WalkTo(w, "rbOutlook", "OutlookChoose");
      for (wiz::TFolderItem* item : wiz::AllFolderItems(w->ElTreeOutLook))
        item->SetTicked(!item->HasCheckBox());
    } else if (situation == "Outlook not reachable") {
      outlook->NoApplication = true;
      w->rbOutlook->setChecked(true);
    } else if (situation == "Netscape profile unusable") {
      WalkTo(w, "rbNS", "NetscapeChoose");
    } else if (situation == "destination cannot be created") {
      test::WriteFile(dir / "file", "x");
      WriteStore(store, {Folder(1, 0, "Inbox", "Inbox.dbx")});
      AddIdentity(w.Store, guid, "Main", store);
      WalkTo(w, "rbOE", "Options2");
      w->txtOEDir->setText(QString::fromStdString(dir / "file/below/a/file"));
    }
    QCOMPARE(QString::fromStdString(w.Page()), page);
    w.Desktop.Clear();
    w.Next();
    QCOMPARE(QString::fromStdString(w.Page()), page);
    QVERIFY(!w.Desktop.Errors().empty());
    QCOMPARE(QString::fromStdString(w.Desktop.Errors().back()), message);
    if (page == "Options2") {
      QCOMPARE(w->focusWidget(), static_cast<QWidget*>(w->txtOEDir));
      QVERIFY(w->btNext->isEnabled());
      QVERIFY(w->btBack->isEnabled());
    }
  }

  // A store directory of an identity whose folder list cannot be read: the
  // reader's own message, and OEChoose stays.
  void anUnreadableFolderListReportsItsErrorText() {
    TWindow w;
    test::TempDir dir;
    AddIdentity(w.Store, "{00000000-0000-0000-0000-00000000000B}", "Main", dir / "missing");
    w.Next();
    w.Next();
    QCOMPARE(w.Page(), std::string("OEChoose"));
    QCOMPARE(w.Desktop.Errors().size(), size_t(1));
    QVERIFY(!w.Desktop.Errors()[0].empty());
  }

  // An existing destination is used as it is; a nested one is created with
  // all its parents.
  void theDestinationIsCreatedWithItsParents() {
    TWindow w;
    TSources sources(w);
    WalkTo(w, "rbOE", "Options2");
    const std::string dest = sources.Dir / "a/b/c";
    w->txtOEDir->setText(QString::fromStdString(" " + dest + " "));
    w.Next();
    QCOMPARE(w.Page(), std::string("Processing"));
    QVERIFY(DirectoryExists(dest));
    QCOMPARE(w.Desktop.Errors(), std::vector<std::string>{});
  }
};
QB_WIZARD_TEST(FailureMessages);

// Outlook's stores on this system are .pst files: without one configured,
// the wizard asks for it and remembers the choice.
class OutlookDataFile : public QObject {
  Q_OBJECT
  test::TempDir appData_;
  std::unique_ptr<test::ScopedEnv> env_;

  static wiz::TWizardOptions PstOptions() {
    wiz::TWizardOptions o = TestOptions();
    o.PstOutlook = true;
    return o;
  }
  static std::vector<std::string> Remembered() { return OutlookStoreKeyValues(); }

 private slots:
  void init() {
    env_ = std::make_unique<test::ScopedEnv>("XDG_DATA_HOME", appData_.Path());
    UserKeyStore().DeleteKey(kOutlookStoresKey);
  }
  void cleanup() {
    UserKeyStore().DeleteKey(kOutlookStoresKey);
    env_.reset();
  }

  void cancellingTheFileDialogMeansNoOutlook() {
    TWindow w(PstOptions());
    w->rbOutlook->setChecked(true);
    w.Next();
    QCOMPARE(w.Page(), std::string("Welcome"));
    const auto asked = w.Desktop.CallsOf("OpenFile");
    QCOMPARE(asked.size(), size_t(1));
    QCOMPARE(asked[0].Caption, std::string("Open Outlook Data File"));
    QCOMPARE(asked[0].Filter, std::string("Outlook Data Files (*.pst)|*.pst|All Files|*.*"));
    QCOMPARE(w.Desktop.Errors(), std::vector<std::string>{kNoOutlook});
    QVERIFY(Remembered().empty());
  }

  void aChosenStoreIsOpenedAndRemembered() {
    const std::string pst = test::RefDataDir() + "/pst/sample1.pst";
    TWindow w(PstOptions());
    w->rbOutlook->setChecked(true);
    w.Desktop.FileAnswers = {QString::fromStdString(pst)};
    QCOMPARE(w.Next(), std::string("OutlookChoose"));
    QVERIFY(w->ElTreeOutLook->topLevelItemCount() >= 1);
    QCOMPARE(Remembered(), std::vector<std::string>{pst});
    // Next time the remembered store is used without asking.
    w.Back();
    w.Desktop.Clear();
    QCOMPARE(w.Next(), std::string("OutlookChoose"));
    QVERIFY(w.Desktop.CallsOf("OpenFile").empty());
  }

  void aFileThatIsNoStoreIsNotRemembered() {
    test::TempDir dir;
    test::WriteFile(dir / "notes.pst", "not a personal folders file");
    TWindow w(PstOptions());
    w->rbOutlook->setChecked(true);
    w.Desktop.FileAnswers = {QString::fromStdString(dir / "notes.pst")};
    QCOMPARE(w.Next(), std::string("Welcome"));
    QCOMPARE(w.Desktop.Errors(), std::vector<std::string>{kNoOutlook});
    QVERIFY(Remembered().empty());
  }
};
QB_WIZARD_TEST(OutlookDataFile);

}  // namespace qb::wiztest

#include "failures_test.moc"
