// The source of other mail folders: the keyboard walk from Welcome over a
// Maildir found in the home directory and a folder of .eml files added by
// hand to a finished run, what the key store keeps of it, and the choices
// the page refuses.
#include <filesystem>

#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include "tests/wizard/wizardtest.h"
#include "wizard/settingslayout.h"

namespace qb::wiztest {

namespace {

namespace fs = std::filesystem;

std::string Message(const std::string& subject, const std::string& file) {
  return "From: Ann Example <ann@example.org>\nTo: you@example.org\nSubject: " + subject +
         "\nDate: Mon, 17 May 2004 10:00:00 +0000\nMIME-Version: 1.0\n"
         "Content-Type: multipart/mixed; boundary=\"b\"\n\n--b\nContent-Type: text/plain\n\n"
         "See the attachment.\n--b\nContent-Type: text/plain; name=\"" +
         file + "\"\nContent-Disposition: attachment; filename=\"" + file + "\"\n\n" + subject +
         " notes\n--b--\n";
}

void MakeMaildirFolder(const std::string& dir) {
  for (const char* sub : {"cur", "new", "tmp"}) fs::create_directories(dir + "/" + sub);
}

// A home directory whose ~/Maildir holds Inbox (one message in new/) and the
// Maildir++ folder Work (one in cur/), and a folder of saved messages.
struct TLocalMail {
  TLocalMail()
      : Home(Dir / "home"),
        Maildir(Home + "/Maildir"),
        Saved(Dir / "saved"),
        UseHome("HOME", Home),
        UseData("XDG_DATA_HOME", Home + "/.local/share") {
    MakeMaildirFolder(Maildir);
    MakeMaildirFolder(Maildir + "/.Work");
    test::WriteFile(Maildir + "/new/1700000000.1.host", Message("Inbox one", "inbox.txt"));
    test::WriteFile(Maildir + "/.Work/cur/1700000001.2.host:2,S", Message("Work one", "work.txt"));
    fs::create_directories(Saved);
    test::WriteFile(Saved + "/kept.eml", Message("Saved one", "saved.txt"));
    test::WriteFile(Dir / "done.wav", "RIFF");
  }
  test::TempDir Dir;
  std::string Home, Maildir, Saved;
  test::ScopedEnv UseHome, UseData;
};

void PressKey(Qt::Key key) {
  QWidget* target = QApplication::focusWidget();
  QVERIFY(target);
  QTest::keyClick(target, key);
}

}  // namespace

class LocalMail : public QObject {
  Q_OBJECT
 private slots:
  // Down to the new source, Enter, Down and Space tick Inbox, Tab and Space
  // add the saved messages, Enter to the end: the run writes the ticked
  // folders' attachments below "maildir/", opens the destination and plays
  // the sound. A restart shows the same source, paths and ticks.
  void keyboardWalkToAFinishedRun() {
    TLocalMail mail;
    const std::string out = mail.Dir / "out";
    TWindow w;
    w->txtOEDir->setText(QString::fromStdString(out));
    w->txtWavFile->setText(QString::fromStdString(mail.Dir / "done.wav"));
    w.Desktop.FileAnswers = {QString::fromStdString(mail.Saved)};
    w->show();
    QApplication::setActiveWindow(w.Window.get());
    QVERIFY(QTest::qWaitForWindowActive(w.Window.get()));
    for (int i = 0; i < 4; ++i) PressKey(Qt::Key_Down);
    QVERIFY(w->rbLocalMail->isChecked());
    QCOMPARE(w->rbLocalMail->text(),
             QStringLiteral("Other mail folders (Maildir, mbox or .eml files)"));

    PressKey(Qt::Key_Return);
    QCOMPARE(w.Page(), std::string("LocalFolderSelect"));
    QCOMPARE(TreeTexts(w->ElTreeLocal),
             (std::vector<std::string>{"~/Maildir", "  Inbox", "  Work"}));
    QVERIFY(!w->isLocalItemsChecked());  // found, never ticked before
    PressKey(Qt::Key_Down);
    PressKey(Qt::Key_Space);
    PressKey(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->btLocalAdd));
    QCOMPARE(w->btLocalAdd->text(), QStringLiteral("Add folder or file..."));
    PressKey(Qt::Key_Space);
    QCOMPARE(w.Desktop.CallsOf("OpenFileOrDirectory").size(), size_t(1));
    QCOMPARE(TreeTexts(w->ElTreeLocal),
             (std::vector<std::string>{"~/Maildir", "  Inbox", "  Work", "saved"}));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->ElTreeLocal));

    for (const char* page : {"Options", "Options2", "Processing"}) {
      PressKey(Qt::Key_Return);
      QCOMPARE(w.Page(), std::string(page));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!w->Running, 30000);
    QCOMPARE(w->btNext->text(), QStringLiteral("Finish"));
    QCOMPARE(w.Desktop.Errors(), std::vector<std::string>{});
    QCOMPARE(w.Desktop.CallsOf("OpenPath").back().Text, out + "/");
    QCOMPARE(w.Desktop.CallsOf("PlaySound").size(), size_t(1));
    QCOMPARE(test::ListTree(out), (std::vector<std::string>{"maildir/2004.05.17 - inbox.txt",
                                                            "maildir/2004.05.17 - saved.txt"}));

    // A restart: the source, the added path and the ticks come back.
    w.Window.reset();
    QCOMPARE(w.Store.ReadString(std::string(wiz::kLocalPathsKey), "Path1"), mail.Saved);
    w.Window = std::make_unique<wiz::TfrmOEMain>(w.Desktop, w.Store, TestOptions());
    w->show();
    QVERIFY(w->rbLocalMail->isChecked());
    QCOMPARE(w.Next(), std::string("LocalFolderSelect"));
    std::vector<std::string> ticked;
    for (wiz::TFolderItem* item : wiz::AllFolderItems(w->ElTreeLocal))
      if (item->HasCheckBox() && item->Ticked()) ticked.push_back(item->text(0).toStdString());
    QCOMPARE(ticked, (std::vector<std::string>{"Inbox", "saved"}));

    // Only a path added by hand comes off the list, and off the key store.
    QVERIFY(!w->btLocalRemove->isEnabled());
    w->ElTreeLocal->setCurrentItem(w->ElTreeLocal->topLevelItem(1));
    QVERIFY(w->btLocalRemove->isEnabled());
    w->btLocalRemove->click();
    QCOMPARE(TreeTexts(w->ElTreeLocal),
             (std::vector<std::string>{"~/Maildir", "  Inbox", "  Work"}));
    QVERIFY(!w.Store.ValueExists(std::string(wiz::kLocalPathsKey), "Path1"));
    QVERIFY(fs::exists(mail.Saved));
  }

  // Cancel adds nothing; a path without mail is refused with its message, a
  // path shown already is ticked rather than added twice; Next needs a tick.
  void refusedChoices() {
    TLocalMail mail;
    TWindow w;
    w->rbLocalMail->setChecked(true);
    QCOMPARE(w.Next(), std::string("LocalFolderSelect"));
    const std::string empty = mail.Dir / "empty";
    fs::create_directories(empty);
    w.Desktop.FileAnswers = {std::nullopt, QString::fromStdString(empty),
                             QString::fromStdString(mail.Maildir + "/")};
    for (int i = 0; i < 3; ++i) w->btLocalAdd->click();
    QCOMPARE(w.Desktop.Errors(),
             std::vector<std::string>{"\"" + empty +
                                      "\" holds no mail: please choose a Maildir folder, an mbox "
                                      "file or a folder of .eml files."});
    QCOMPARE(TreeTexts(w->ElTreeLocal),
             (std::vector<std::string>{"~/Maildir", "  Inbox", "  Work"}));
    QVERIFY(w->isLocalItemsChecked());
    QVERIFY(!w.Store.ValueExists(std::string(wiz::kLocalPathsKey), "Path1"));
    w.Desktop.Clear();
    w->btFolderUnselectAllClick();
    QCOMPARE(w.Next(), std::string("LocalFolderSelect"));
    QCOMPARE(w.Desktop.Errors(),
             std::vector<std::string>{
                 "Please select atleast one Mail Folder before proceeding to the next step"});
    QCOMPARE(w.Back(), std::string("Welcome"));
  }
};
QB_WIZARD_TEST(LocalMail);

}  // namespace qb::wiztest

#include "localmail_test.moc"
