// What the window remembers from one start to the next: the stored control
// values and placement, the folder ticks, the first start's key layout, an
// export taken on Windows, and the save on a termination signal.
#include <sys/resource.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTreeWidget>
#include <QtTest>
#include <csignal>
#include <memory>

#include "platform/codepage.h"
#include "platform/keystore.h"
#include "platform/paths.h"
#include "tests/support/testsupport.h"
#include "tests/wizard/wizardtest.h"
#include "wizard/fakedesktop.h"
#include "wizard/oMain.h"
#include "wizard/settings.h"
#include "wizard/settingslayout.h"

namespace qb::wiztest {

using namespace qb::wiz;

namespace {

// A window on a key store file, restarted as the user would: the window is
// destroyed (storing everything) and a new one opens on a fresh load of the
// same file.
struct TSession {
  explicit TSession(std::string storePath, TWizardOptions options = TestOptions())
      : Path(std::move(storePath)), Options(options) {
    Start();
  }
  ~TSession() { Stop(); }
  void Start() {
    Store = std::make_unique<TKeyStore>(Path);
    Form = std::make_unique<TfrmOEMain>(Desktop, *Store, Options);
    Form->show();
    QCoreApplication::processEvents();
  }
  void Stop() {
    Form.reset();
    Store.reset();
  }
  void Restart() {
    Stop();
    Desktop.Clear();
    Start();
  }
  TfrmOEMain& operator*() { return *Form; }
  TfrmOEMain* operator->() { return Form.get(); }

  std::string Path;
  TWizardOptions Options;
  TFakeDesktop Desktop;
  std::unique_ptr<TKeyStore> Store;
  std::unique_ptr<TfrmOEMain> Form;
};

TFolderItem* AddOE(QTreeWidget* tree, const std::string& file, bool ticked) {
  TFolderItem* item = AddFolder(tree, nullptr, QString::fromStdString(file));
  item->OE = std::make_unique<Toe5_FolderInfo>();
  item->OE->FileName = file;
  item->SetTicked(ticked);
  return item;
}

TFolderItem* AddOutlook(QTreeWidget* tree, TFolderItem* parent, const std::string& name,
                        const std::string& path, bool ticked) {
  TFolderItem* item = AddFolder(tree, parent, QString::fromStdString(name));
  item->Outlook = std::make_shared<TOutlookFolderInfo>();
  item->Outlook->Name = name;
  item->Outlook->Path = path;
  item->SetTicked(ticked);
  return item;
}

TFolderItem* AddNS(QTreeWidget* tree, const std::string& path, bool ticked) {
  TFolderItem* item = AddFolder(tree, nullptr, QString::fromStdString(path));
  item->NS = std::make_unique<TNetscapeFolderInfo>();
  item->NS->Path = path;
  item->SetTicked(ticked);
  return item;
}

}  // namespace

class StoredSettings : public QObject {
  Q_OBJECT

 private slots:
  // Every stored control value comes back after a restart, and the radio
  // button that chose the store directory acts as if clicked.
  void everyPropertySurvivesRestart() {
    test::TempDir dir;
    TSession s(dir / "cfg/registry.reg");
    s->txtWavFile->setText("/home/u/sounds/done.wav");
    s->txtOECustomFolder->setText("/home/u/oe store");
    s->txtOEDir->setText("/home/u/Out \xC3\xA9/");
    s->rbOutlook->click();
    s->rbOEChooseFolder->click();
    s->rb_SE_DA_SU_OF->click();
    s->cmbSelector->setCurrentIndex(4);
    s->cbSkipDuplicates->setChecked(false);
    s->cbGetEmails->setChecked(false);
    s->cbUseDate->setChecked(true);
    s->cbGetEmbbededImages->setChecked(false);
    s->cbUseFullFilename->setChecked(false);
    s->dtpFrom->setDate(QDate(2003, 4, 5));
    s->dtpTo->setDate(QDate(2004, 12, 31));
    s->move(37, 41);
    const QPoint pos = s->pos();

    s.Restart();
    QCOMPARE(s->txtWavFile->text(), QString("/home/u/sounds/done.wav"));
    QCOMPARE(s->txtOECustomFolder->text(), QString("/home/u/oe store"));
    QCOMPARE(s->txtOEDir->text(), QString("/home/u/Out \xC3\xA9/"));
    QVERIFY(s->rbOutlook->isChecked() && !s->rbOE->isChecked());
    QVERIFY(s->rbOEChooseFolder->isChecked() && !s->rbOEChooseProfile->isChecked());
    QVERIFY(s->txtOECustomFolder->isEnabled() && s->btChooseOECustomFolder->isEnabled());
    QVERIFY(s->rb_SE_DA_SU_OF->isChecked() && !s->rb_DA_OF->isChecked());
    QCOMPARE(s->cmbSelector->currentIndex(), 4);
    QVERIFY(!s->cbSkipDuplicates->isChecked());
    QVERIFY(!s->cbGetEmails->isChecked());
    QVERIFY(s->cbUseDate->isChecked());
    QVERIFY(!s->cbGetEmbbededImages->isChecked());
    QVERIFY(!s->cbUseFullFilename->isChecked());
    QCOMPARE(s->dtpFrom->date(), QDate(2003, 4, 5));
    QCOMPARE(s->dtpTo->date(), QDate(2004, 12, 31));
    QCOMPARE(s->pos(), pos);
    QCOMPARE(s.Store->ReadString(kFormKey, "dtpFrom_Date"), std::string("37716"));
  }

  // Coming back from the notification area keeps what the user chose since
  // the start; the values of the last close are not brought back.
  void trayReturnKeepsCurrentValues() {
    test::TempDir dir;
    TSession s(dir / "registry.reg");
    s->txtOEDir->setText("/srv/first/");
    s.Restart();
    s->txtOEDir->setText("/srv/second/");
    s->rb_DA_SU_OF->click();
    s->hide();
    s->show();
    QCoreApplication::processEvents();
    QCOMPARE(s->txtOEDir->text(), QString("/srv/second/"));
    QVERIFY(s->rb_DA_SU_OF->isChecked());
  }

  // Each source, hidden ones included, is the current one after a restart.
  void sourceSurvivesRestart_data() {
    QTest::addColumn<QString>("source");
    for (const char* name : {"rbOE", "rbOutlook", "rbNS", "rbTB", "rbMbox", "rbEML"})
      QTest::newRow(name) << name;
  }
  void sourceSurvivesRestart() {
    QFETCH(QString, source);
    test::TempDir dir;
    TSession s(dir / "registry.reg");
    s->findChild<QRadioButton*>(source)->setChecked(true);
    s.Restart();
    QVERIFY(s->findChild<QRadioButton*>(source)->isChecked());
    int checked = 0;
    for (QRadioButton* b : {s->rbOE, s->rbOutlook, s->rbNS, s->rbTB, s->rbMbox, s->rbEML})
      checked += b->isChecked();
    QCOMPARE(checked, 1);
  }

  // Values that do not parse, of another type, or naming a Windows
  // location leave the control as it is; a Windows path stays in the store.
  void unusableValuesKeepDefaults() {
    test::TempDir dir;
    const std::string path = dir / "registry.reg";
    {
      TKeyStore store(path);
      store.WriteString(kRootKey, "StartValue", "1.0");
      store.WriteString(kFormKey, "cbUseDate_Checked", "maybe");
      store.WriteString(kFormKey, "cbGetEmails_Checked", "fALSE");
      store.WriteString(kFormKey, "cmbSelector_ItemIndex", "99");
      store.WriteString(kFormKey, "dtpTo_Date", "soon");
      store.WriteInteger(kFormKey, "dtpFrom_Date", 37716);
      store.WriteString(kFormKey, "rbOutlook_Checked", "TRUE");
      store.WriteString(kFormKey, "txtOEDir_Text", "c:\\Attachments\\");
      store.WriteString(kFormKey, "txtWavFile_Text", "C:\\Program Files\\Quillbox\\OnOK.WAV");
    }
    TSession s(path);
    QVERIFY(!s->cbUseDate->isChecked());
    QVERIFY(!s->cbGetEmails->isChecked());
    QCOMPARE(s->cmbSelector->currentIndex(), 1);
    QCOMPARE(s->dtpTo->date(), QDate::currentDate());
    QCOMPARE(s->dtpFrom->date(), QDate::currentDate());
    QVERIFY(s->rbOutlook->isChecked());
    QCOMPARE(s->txtOEDir->text(), QDir::homePath() + "/Attachments/");
    QCOMPARE(s->txtWavFile->text(), QString::fromStdString(ProgramDataDir() + "/OnOK.WAV"));
    s.Restart();
    QCOMPARE(s.Store->ReadString(kFormKey, "txtOEDir_Text"), std::string("c:\\Attachments\\"));
    QCOMPARE(s.Store->ReadString(kFormKey, "cbUseDate_Checked"), std::string("False"));
    // Once the user picks a directory here, that one is stored.
    s->txtOEDir->setText("/srv/out/");
    s.Restart();
    QCOMPARE(s->txtOEDir->text(), QString("/srv/out/"));
  }

  // A stored position is used only on the same resolution and when it is on
  // a screen attached now; otherwise the window is centred.
  void placement_data() {
    QTest::addColumn<QString>("normPos");
    QTest::addColumn<int>("ppiOffset");
    QTest::addColumn<QString>("showCmd");
    QTest::addColumn<QString>("formVersion");
    QTest::addColumn<bool>("moved");
    QTest::addColumn<bool>("minimized");
    const QString pos = "20,30,620,530";
    QTest::newRow("on screen") << pos << 0 << "1"
                               << "0" << true << false;
    QTest::newRow("minimised") << pos << 0 << "2"
                               << "0" << true << true;
    QTest::newRow("show state 9") << pos << 0 << "9"
                                  << "" << true << false;
    QTest::newRow("other resolution") << pos << 24 << "1"
                                      << "0" << false << false;
    QTest::newRow("off every screen") << "5000,4000,5600,4500" << 0 << "1"
                                      << "0" << false << false;
    QTest::newRow("above the screen") << "20,-900,620,-400" << 0 << "1"
                                      << "0" << false << false;
    QTest::newRow("unreadable") << "20,30" << 0 << "1"
                                << "0" << false << false;
    QTest::newRow("form version -1") << pos << 0 << "2"
                                     << "-1" << false << false;
  }
  void placement() {
    QFETCH(QString, normPos);
    QFETCH(int, ppiOffset);
    QFETCH(QString, showCmd);
    QFETCH(QString, formVersion);
    QFETCH(bool, moved);
    QFETCH(bool, minimized);
    test::TempDir dir;
    const std::string path = dir / "registry.reg";
    QScreen* screen = QGuiApplication::primaryScreen();
    {
      TKeyStore store(path);
      if (!formVersion.isEmpty())
        store.WriteString(kFormKey, "FormVersion", formVersion.toStdString());
      store.WriteString(kFormKey, "ShowCmd", showCmd.toStdString());
      store.WriteString(kFormKey, "PixelsPerInch",
                        std::to_string(qRound(screen->logicalDotsPerInch()) + ppiOffset));
      store.WriteString(kFormKey, "NormPos", normPos.toStdString());
    }
    TSession s(path);
    QCOMPARE(s->isMinimized(), minimized);
    if (moved) {
      QCOMPARE(s->pos(), QPoint(20, 30));
    } else {
      QVERIFY(s->pos() != QPoint(20, 30));
      QVERIFY(std::abs(s->frameGeometry().center().x() -
                       screen->availableGeometry().center().x()) <= 1);
    }
  }

  // Ticks per source, written on Next from a folder page and read while a
  // tree is built; items without a file, folder name or path are skipped.
  void folderTicksSurviveRestart() {
    test::TempDir dir;
    TSession s(dir / "registry.reg");
    AddOE(s->ElTreeOE, "Inbox.dbx ", false);
    AddOE(s->ElTreeOE, "Sent Items.dbx", true);
    AddOE(s->ElTreeOE, "  ", false);
    TFolderItem* root =
        AddOutlook(s->ElTreeOutLook, nullptr, "Personal Folders", "Personal Folders", false);
    root->SetCheckBox(false);
    AddOutlook(s->ElTreeOutLook, root, "Inbox", "Personal FoldersInbox", false);
    AddOutlook(s->ElTreeOutLook, root, "Drafts/Old", "Personal FoldersDrafts/Old", false);
    AddNS(s->ElTreeNS, "/home/u/.thunderbird/p/Mail/Local Folders/Inbox", false);
    s->StoreFolderSelection(s->ElTreeOE, "OEFolderSelection");
    s->StoreFolderSelection(s->ElTreeOutLook, "OutlookFolderSelection");
    s->StoreFolderSelection(s->ElTreeNS, "TBFolderSelection");
    s.Restart();
    // Two stores with a folder file of the same name share its value.
    QVERIFY(!s->IsFolderSelected("OEFolderSelection", "Inbox.dbx"));
    QVERIFY(s->IsFolderSelected("OEFolderSelection", "Sent Items.dbx"));
    QVERIFY(s->IsFolderSelected("OEFolderSelection", "Never Seen.dbx"));
    QVERIFY(!s->IsFolderSelected("OutlookFolderSelection", "Personal Folders"));
    QVERIFY(!s->IsFolderSelected("OutlookFolderSelection", "Personal FoldersInbox"));
    QVERIFY(!s->IsFolderSelected("OutlookFolderSelection", "Personal FoldersDrafts/Old"));
    QVERIFY(!s->IsFolderSelected("TBFolderSelection",
                                 "/home/u/.thunderbird/p/Mail/Local Folders/Inbox"));
    QVERIFY(s->IsFolderSelected("NSFolderSelection",
                                "/home/u/.thunderbird/p/Mail/Local Folders/Inbox"));
    QCOMPARE(s.Store->ValueNames("Software\\Quillbox\\OEFolderSelection"),
             (std::vector<std::string>{"Inbox.dbx", "Sent Items.dbx"}));
    QCOMPARE(s.Store->ReadString("Software\\Quillbox\\TBFolderSelection\\home\\u\\.thunderbird\\p"
                                 "\\Mail\\Local Folders",
                                 "Inbox"),
             std::string("n"));
  }

  // As a user would: pick a store directory, untick a folder, go on with
  // Next, close, start again: the choice and the tick come back.
  void userFlowSurvivesRestart() {
    test::TempDir dir;
    WriteStore(dir / "store",
               {Folder(1, 0, "Inbox", "Inbox.dbx"), Folder(2, 0, "Sent Items", "Sent Items.dbx")});
    TSession s(dir / "registry.reg");
    auto next = [&s] {
      s->btNext->click();
      return s->CurrentPageName();
    };
    QCOMPARE(next(), QString("OEChoose"));
    s->rbOEChooseFolder->click();
    s->txtOECustomFolder->setText(QString::fromStdString(dir / "store"));
    QCOMPARE(next(), QString("OEFolderSelect"));
    AllFolderItems(s->ElTreeOE)[1]->SetTicked(false);
    QCOMPARE(next(), QString("Options"));
    s.Restart();
    QVERIFY(s->rbOEChooseFolder->isChecked() && s->txtOECustomFolder->isEnabled());
    QCOMPARE(next(), QString("OEChoose"));
    QCOMPARE(next(), QString("OEFolderSelect"));
    QCOMPARE(TreeTexts(s->ElTreeOE), (std::vector<std::string>{"Inbox", "Sent Items"}));
    QVERIFY(AllFolderItems(s->ElTreeOE)[0]->Ticked());
    QVERIFY(!AllFolderItems(s->ElTreeOE)[1]->Ticked());
  }

  // Both lists with their ticks and order come back; the first start's two
  // "TIFF" entries become one.
  void extensionListsSurviveRestart() {
    test::TempDir dir;
    TSession s(dir / "registry.reg");
    QCOMPARE(s->lbIncludeExtensions->count(), 42);
    s->lbIncludeExtensions->item(0)->setCheckState(Qt::Unchecked);
    s->lbExcludeExtensions->item(2)->setText("js ");
    s->lbExcludeExtensions->item(2)->setCheckState(Qt::Unchecked);
    delete s->lbExcludeExtensions->takeItem(0);
    s.Restart();
    QCOMPARE(s->lbIncludeExtensions->count(), 41);
    QCOMPARE(s->lbIncludeExtensions->findItems("TIFF", Qt::MatchExactly).size(), 1);
    QCOMPARE(s->lbIncludeExtensions->item(0)->text(), QString("BMP"));
    QCOMPARE(s->lbIncludeExtensions->item(0)->checkState(), Qt::Unchecked);
    QCOMPARE(s->lbIncludeExtensions->item(1)->checkState(), Qt::Checked);
    QCOMPARE(s->lbExcludeExtensions->count(), 19);
    QCOMPARE(s->lbExcludeExtensions->item(0)->text(), QString("VB"));
    QCOMPARE(s->lbExcludeExtensions->item(1)->text(), QString("js "));
    QCOMPARE(s->lbExcludeExtensions->item(1)->checkState(), Qt::Unchecked);
  }

  // A value of the wrong type among the stored extensions is reported once;
  // the lists start from the shipped entries and the start-up goes on.
  void damagedExtensionListReportedOnce() {
    test::TempDir dir;
    const std::string path = dir / "registry.reg";
    {
      TKeyStore store(path);
      store.WriteString(kOptionsKey, "newValue", "y");
      store.WriteFlag(kIncludeExtKey, "JPG", false);
      store.WriteString(kIncludeExtKey, "PNG", "1");
    }
    TSession s(path);
    QCOMPARE(s.Desktop.Errors().size(), size_t{1});
    QVERIFY(s.Desktop.Errors()[0].find("PNG") != std::string::npos);
    QCOMPARE(s->lbIncludeExtensions->count(), 42);
    QCOMPARE(s->CurrentPageName(), QString("Welcome"));
    s.Restart();
    QVERIFY(s.Desktop.Errors().empty());
    QCOMPARE(s->lbIncludeExtensions->count(), 41);
  }

  // A key store imported from a Windows export shows the user's lists,
  // ticks and options.
  void windowsExportRestores() {
    test::TempDir dir;
    const std::string path = dir / "registry.reg";
    {
      TKeyStore store(path);
      auto bytes = ReadWholeFile(test::TestDataDir("wizard") + "/windows_export.reg");
      QVERIFY(bytes);
      store.ImportRegText(*bytes);
    }
    TSession s(path);
    QVERIFY(s.Desktop.Errors().empty());
    QCOMPARE(s->lbIncludeExtensions->count(), 3);
    QCOMPARE(s->lbIncludeExtensions->item(2)->text(), QString("MP4"));
    QCOMPARE(s->lbIncludeExtensions->item(1)->checkState(), Qt::Unchecked);
    QCOMPARE(s->lbExcludeExtensions->count(), 2);
    QVERIFY(s->rb_SE_DA_OF->isChecked());
    QVERIFY(!s->cbUseFullFilename->isChecked());
    QCOMPARE(s->dtpFrom->date(), QDate(2004, 1, 1));
    QCOMPARE(s->dtpTo->date(), QDate(2004, 12, 31));  // written under a "," locale
    QCOMPARE(s->txtOEDir->text(), QDir::homePath() + "/Attachments/");
    QCOMPARE(s->txtWavFile->text(), QString::fromStdString(ProgramDataDir() + "/OnOK.WAV"));
    QVERIFY(!s->IsFolderSelected("OEFolderSelection", "Inbox.dbx"));
    QVERIFY(s->IsFolderSelected("OEFolderSelection", "Deleted Items.dbx"));
    QVERIFY(!s->IsFolderSelected("OutlookFolderSelection", "Personal FoldersSent Items"));
  }

  // SIGTERM stores what a confirmed close stores.
  void terminationSignalSaves() {
    test::TempDir dir;
    const std::string path = dir / "registry.reg";
    TSession s(path);
    SaveOnTerminationSignals(*s);
    s->txtOEDir->setText("/srv/mail-out/");
    s->lbIncludeExtensions->item(3)->setCheckState(Qt::Unchecked);
    std::raise(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(
        TKeyStore(path).ReadString(kFormKey, "txtOEDir_Text") == "/srv/mail-out/", 5000);
    QVERIFY(!TKeyStore(path).ReadFlag(kIncludeExtKey, "JPG"));
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) std::signal(sig, SIG_DFL);
  }
  // The file after a first start and a confirmed close, byte for byte; the
  // values that depend on the day, the home directory and the window's size
  // are masked.
  void firstStartLayout() {
    test::TempDir dir;
    test::ScopedEnv data("QUILLBOX_DATA_DIR", "/usr/share/quillbox");
    test::ScopedEnv home("HOME", "/home/user");
    TWizardOptions options = TestOptions();
    options.IdlePriority = true;  // the step that writes "debugThreadMode"
    const int priority = ::getpriority(PRIO_PROCESS, 0);
    {
      TSession s(dir / "Quillbox/registry.reg", options);
      QCOMPARE(s.Store->ReadString(kOptionsKey, "newValue"), std::string("y"));
    }
    ::setpriority(PRIO_PROCESS, 0, priority);  // the other tests at their own
    std::string text = test::ReadFile(dir / "Quillbox/registry.reg");
    QString masked = QString::fromStdString(text);
    masked.replace(QRegularExpression("\"(NormPos[^\"]*|dtpFrom_Date|dtpTo_Date)\"=\"[^\"]*\""),
                   "\"\\1\"=\"*\"");
    const std::string golden = test::TestDataDir("wizard") + "/first_start.reg";
    if (qEnvironmentVariableIsSet("QB_UPDATE_GOLDEN"))
      test::WriteFile(golden, masked.toStdString());
    QCOMPARE(masked, QString::fromStdString(test::ReadFile(golden)));
  }
};
QB_WIZARD_TEST(StoredSettings);

}  // namespace qb::wiztest

#include "settings_test.moc"
