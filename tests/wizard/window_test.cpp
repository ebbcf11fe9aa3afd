// The window as a whole: its buttons in each phase, the keyboard walk with
// Enter, start-up, the help menu, and the dialogs of the desktop seam.
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include <QTest>
#include <QTimer>

#include "platform/paths.h"
#include "tests/wizard/wizardtest.h"
#include "wizard/periphery.h"
#include "wizard/qtdesktop.h"

namespace qb::wiztest {

namespace {

struct TBar {
  bool Back, Next;
  QString NextCaption;
  bool Help, ToTray;
};

TBar Bar(TWindow& w) {
  return {w->btBack->isEnabled(), w->btNext->isEnabled(), w->btNext->text(),
          w->btHelp->isVisibleTo(w.Window.get()), w->btToTray->isVisibleTo(w.Window.get())};
}

void CompareBar(TWindow& w, const TBar& expected) {
  const TBar bar = Bar(w);
  QCOMPARE(bar.Back, expected.Back);
  QCOMPARE(bar.Next, expected.Next);
  QCOMPARE(bar.NextCaption, expected.NextCaption);
  QCOMPARE(bar.Help, expected.Help);
  QCOMPARE(bar.ToTray, expected.ToTray);
}

// Presses Enter where the keyboard focus is, as a user does.
void PressEnter(QWidget* window) {
  QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
  QTest::keyClick(target, Qt::Key_Return);
}

}  // namespace

class ButtonStates : public QObject {
  Q_OBJECT
 private slots:
  void byPhase() {
    TWindow w;
    TSources sources(w);
    // on Welcome
    CompareBar(w, {false, true, "Next &>", true, false});
    // on each later page before the run
    for (const char* page : {"OEChoose", "OEFolderSelect", "Options", "Options2"}) {
      QCOMPARE(WalkTo(w, "rbOE", page), std::string(page));
      CompareBar(w, {true, true, "Next &>", true, false});
    }
    // the run active: the worker has been started when Next returns
    w->txtOEDir->setText(QString::fromStdString(sources.Dir / "out"));
    QCOMPARE(w.Next(), std::string("Processing"));
    QVERIFY(w->Running);
    CompareBar(w, {false, false, "Next &>", false, true});
    // the run finished
    QTRY_VERIFY_WITH_TIMEOUT(!w->Running, 30000);
    CompareBar(w, {true, true, "Finish", true, false});
    // back on Welcome after a run
    w.Back();
    CompareBar(w, {false, true, "Next >", true, false});
    QVERIFY(w->txtLogs->toPlainText().isEmpty());
  }

  // The run start builds the extension lists from the ticked entries; a
  // Thunderbird run with no mailbox ticked starts and ends like any other.
  void runStartBuildsTheExtensionLists() {
    TWindow w;
    WalkTo(w, "rbTB", "Options2");
    w->lbIncludeExtensions->clear();
    for (const char* text : {"jpg", " mov ", "gif"}) {
      auto* item = new QListWidgetItem(QString::fromLatin1(text), w->lbIncludeExtensions);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(QString::fromLatin1(text) == "gif" ? Qt::Unchecked : Qt::Checked);
    }
    for (int i = 0; i < w->lbExcludeExtensions->count(); ++i)
      w->lbExcludeExtensions->item(i)->setCheckState(i < 2 ? Qt::Checked : Qt::Unchecked);
    w->txtOEDir->setText(QString::fromStdString(test::TempDir().Path() + "-dest"));
    w.Next();
    QCOMPARE(w.Page(), std::string("Processing"));
    QCOMPARE(w->IncludeExtList, (std::vector<std::string>{".JPG", ".MOV"}));
    QCOMPARE(w->ExcludeExtList, (std::vector<std::string>{".VBS", ".VB"}));
    QTRY_VERIFY_WITH_TIMEOUT(!w->Running, 30000);
    CompareBar(w, {true, true, "Finish", true, false});
  }
};
QB_WIZARD_TEST(ButtonStates);

class KeyboardWalk : public QObject {
  Q_OBJECT
 private slots:
  // Enter on each page walks Welcome to the run; Enter on "Finish" asks
  // whether to close, and Enter (Yes) closes.
  void enterWalksThePagesAndCloses() {
    TWindow w;
    TSources sources(w);
    w->txtOEDir->setText(QString::fromStdString(sources.Dir / "out"));
    w->show();
    QApplication::setActiveWindow(w.Window.get());
    QVERIFY(QTest::qWaitForWindowActive(w.Window.get()));
    for (const char* page : {"OEChoose", "OEFolderSelect", "Options", "Options2", "Processing"}) {
      PressEnter(w.Window.get());
      QCOMPARE(w.Page(), std::string(page));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!w->Running, 30000);
    QCOMPARE(w->btNext->text(), QStringLiteral("Finish"));
    PressEnter(w.Window.get());
    QCOMPARE(w.Desktop.CallsOf("Confirm").size(), size_t(1));
    QCOMPARE(w.Desktop.CallsOf("Confirm")[0].Text,
             std::string("Do you really want to close the program ?"));
    QVERIFY(!w->isVisible());
    QCOMPARE(w.Desktop.Errors(), std::vector<std::string>{});
  }

  void escapeAsksToCloseLikeTheCloseButton() {
    TWindow w;
    w->show();
    QApplication::setActiveWindow(w.Window.get());
    w.Desktop.ConfirmAnswers = {false};
    QTest::keyClick(w.Window.get(), Qt::Key_Escape);
    QVERIFY(w->isVisible());
    w->btCancel->click();
    QVERIFY(!w->isVisible());
    QCOMPARE(w.Desktop.CallsOf("Confirm").size(), size_t(2));
  }

  void enterClosesTheAboutBox() {
    wiz::TfrmAbout about;
    about.show();
    QApplication::setActiveWindow(&about);
    QTest::keyClick(&about, Qt::Key_Return);
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Accepted));
  }
};
QB_WIZARD_TEST(KeyboardWalk);

class StartUp : public QObject {
  Q_OBJECT
 private slots:
  // The About box comes first; the window opens on Welcome with its caption
  // and Next as the default button.
  void opensOnWelcomeAfterTheAboutBox() {
    TWindow w;
    QCOMPARE(w.Desktop.Calls.size(), size_t(1));
    QCOMPARE(w.Desktop.Calls[0].Kind, std::string("ShowAbout"));
    QCOMPARE(w.Page(), std::string("Welcome"));
    QCOMPARE(w->windowTitle(), QStringLiteral("Quillbox 2.0"));
    QVERIFY(w->btNext->isDefault());
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w->minimumSize(), w->maximumSize());  // fixed size
  }

  // The manual opens beside the wizard right after the About box; a missing
  // manual (as above) says nothing.
  void opensTheManualAfterTheAboutBox() {
    test::ScopedEnv data("QUILLBOX_DATA_DIR", test::SourceDir() + "/data");
    TWindow w;
    QCOMPARE(w.Desktop.Calls.size(), size_t(2));
    QCOMPARE(w.Desktop.Calls[0].Kind, std::string("ShowAbout"));
    QCOMPARE(w.Desktop.Calls[1].Kind, std::string("OpenPath"));
    QCOMPARE(w.Desktop.Calls[1].Text, test::SourceDir() + "/data/help/index.html");
  }

  void firstStartSetsTheShippedSoundOnce() {
    TKeyStore store;
    wiz::TFakeDesktop desktop;
    {
      wiz::TfrmOEMain w(desktop, store, TestOptions());
      QCOMPARE(w.txtWavFile->text().toStdString(), ProgramDataDir() + "/OnOK.WAV");
      QCOMPARE(w.txtOEDir->text(), QDir::homePath() + QStringLiteral("/Attachments/"));
    }
    QCOMPARE(store.ReadString("Software\\Quillbox", "StartValue"), std::string("1.0"));
    wiz::TfrmOEMain again(desktop, store, TestOptions());
    QCOMPARE(again.txtWavFile->text(), QStringLiteral("ok.wav"));
    QCOMPARE(desktop.CallsOf("ShowAbout").size(), size_t(2));
  }

  // Every thread of the process, also one that was running before.
  void runsAtIdlePriority() {
    TKeyStore store;
    wiz::TFakeDesktop desktop;
    wiz::TWizardOptions options = TestOptions();
    options.IdlePriority = true;
    const int before = ::getpriority(PRIO_PROCESS, 0);
    std::atomic<pid_t> earlier{0};
    std::atomic<bool> done{false};
    std::thread thread([&] {
      earlier = ::gettid();
      while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (earlier == 0) std::this_thread::yield();
    {
      wiz::TfrmOEMain w(desktop, store, options);
      QCOMPARE(::getpriority(PRIO_PROCESS, 0), 19);
      QCOMPARE(::getpriority(PRIO_PROCESS, static_cast<id_t>(earlier.load())), 19);
    }
    done = true;
    thread.join();
    // The rest of the tests at their own priority.
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
      ::setpriority(PRIO_PROCESS, static_cast<id_t>(std::stoul(task.path().filename())), before);
    QCOMPARE(store.ReadString("Software\\Quillbox", "debugThreadMode"), std::string("idle"));
  }

  void helpMenuOpensTheManualAndTheProjectPage() {
    test::ScopedEnv data("QUILLBOX_DATA_DIR", test::SourceDir() + "/data");
    TWindow w;
    w.Desktop.Clear();
    w->pmnuItemHelp->trigger();
    w->pmnuItemHelpReportaproblem->trigger();
    w->pmnuItemHelpSendaSuggestion->trigger();
    const auto opened = w.Desktop.CallsOf("OpenPath");
    QCOMPARE(opened.size(), size_t(3));
    QCOMPARE(opened[0].Text, test::SourceDir() + "/data/help/index.html");
    QCOMPARE(opened[1].Text, std::string(wiz::kSupportUrl));
    QCOMPARE(opened[2].Text, std::string(wiz::kSupportUrl));
    // A missing manual is not reported and opens nothing.
    test::TempDir empty;
    test::ScopedEnv none("QUILLBOX_DATA_DIR", empty.Path());
    w.Desktop.Clear();
    w->pmnuItemHelp->trigger();
    QVERIFY(w.Desktop.Calls.empty());
  }

  void theDirectoryAndSoundChoosersReplaceTheTextOnlyWhenConfirmed() {
    TWindow w;
    w.Desktop.DirAnswers = {std::nullopt, QStringLiteral("/data/out")};
    w.Desktop.FileAnswers = {QStringLiteral("/sounds/done.wav")};
    const QString dest = w->txtOEDir->text();
    w->btSaveDir->click();
    QCOMPARE(w->txtOEDir->text(), dest);
    w->btSaveDir->click();
    QCOMPARE(w->txtOEDir->text(), QStringLiteral("/data/out"));
    w->Button2->click();
    QCOMPARE(w->txtWavFile->text(), QStringLiteral("/sounds/done.wav"));
    QCOMPARE(w.Desktop.CallsOf("BrowseDirectory")[0].Caption,
             std::string("Please select a Directory."));
    QCOMPARE(w.Desktop.CallsOf("OpenFile")[0].Filter,
             std::string("Wave Files|*.wav|All Files|*.*"));
  }
};
QB_WIZARD_TEST(StartUp);

// The Qt side of the seam: Enter answers Yes to a confirmation and OK to an
// error; filters are turned into Qt's form.
class QtDesktopDialogs : public QObject {
  Q_OBJECT

  static void PressEnterInNextModal() {
    QTimer::singleShot(0, [] {
      QWidget* box = QApplication::activeModalWidget();
      if (box) QTest::keyClick(box, Qt::Key_Return);
    });
  }

 private slots:
  void enterAnswersYes() {
    wiz::TQtDesktop desktop;
    PressEnterInNextModal();
    QVERIFY(desktop.Confirm(nullptr, QStringLiteral("Do you really want to close the program ?")));
    PressEnterInNextModal();
    desktop.ShowError(nullptr, QStringLiteral("Profile doesnt have any mails."));
  }

  void filtersInQtForm() {
    QCOMPARE(wiz::QtFileFilter(QStringLiteral("Outlook Data Files (*.pst)|*.pst|All Files|*.*")),
             QStringLiteral("Outlook Data Files (*.pst) (*.pst);;All Files (*)"));
    QCOMPARE(wiz::QtFileFilter(QStringLiteral("Pictures|*.png;*.jpg")),
             QStringLiteral("Pictures (*.png *.jpg)"));
  }
};
QB_WIZARD_TEST(QtDesktopDialogs);

}  // namespace qb::wiztest

#include "window_test.moc"
