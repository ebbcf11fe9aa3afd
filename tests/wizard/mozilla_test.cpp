// The Netscape/Mozilla/Thunderbird pages: profiles, the mail directory, the
// mailbox tree, the direct choice, and the grabbed-addresses window behind
// "View Grabbed Emails".
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include "tests/support/testsupport.h"
#include "tests/wizard/wizardtest.h"
#include "wizard/grabber.h"

namespace qb::wiztest {

namespace {

// An application-data folder of its own for one test.
struct TAppData {
  test::TempDir Dir;
  test::ScopedEnv Data{"XDG_DATA_HOME", Dir.Path()};
  test::ScopedEnv Home{"HOME", Dir.Path()};
  std::string operator/(const std::string& name) const { return Dir / name; }
};

void MakeMailDir(const std::string& mail) {
  test::WriteFile(mail + "/Inbox", "");
  test::WriteFile(mail + "/Inbox.msf", "");
  test::WriteFile(mail + "/Archives", "");
  test::WriteFile(mail + "/Archives.sbd/2009", "");
  test::WriteFile(mail + "/Archives.sbd/2009.msf", "");
  test::WriteFile(mail + "/Plain/Sent", "");
  test::WriteFile(mail + "/popstate.dat", "");
}

// The tree as texts: indented by level, "[ ]" for an unticked check box.
std::vector<std::string> Marked(QTreeWidget* tree) {
  std::vector<std::string> out;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    auto* item = wiz::TFolderItem::From(*it);
    int depth = 0;
    for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent()) ++depth;
    out.push_back(std::string(2 * depth, ' ') + (item->HasCheckBox() ? "[ ] " : "") +
                  (*it)->text(0).toStdString());
  }
  return out;
}

// Welcome -> NetscapeChoose with the source of kind.
void ToNetscapeChoose(TWindow& w, int kind) {
  (kind == 0 ? w->rbNS : w->rbTB)->setChecked(true);
  QCOMPARE(w.Next(), std::string("NetscapeChoose"));
}

const std::vector<std::string> kExpectedTree = {
    "[ ] Archives", "Archives", "  [ ] 2009", "[ ] Inbox", "Plain", "  [ ] Sent"};

}  // namespace

class MozillaPages : public QObject {
  Q_OBJECT
 private slots:
  void sourcesAreOfferedOnWelcome() {
    TWindow w;
    w->show();
    QVERIFY(w->rbNS->isVisible());
    QVERIFY(w->rbTB->isVisible());
    QVERIFY(!w->rbMbox->isVisible());
    QVERIFY(!w->rbEML->isVisible());
  }

  void noProfilesRootGivesTwoMessages() {
    TAppData data;
    TWindow w;
    ToNetscapeChoose(w, 0);
    QCOMPARE(w->elNSProfileList->topLevelItemCount(), 0);
    QCOMPARE(w.Next(), std::string("NetscapeChoose"));
    QCOMPARE(w.Desktop.Errors(),
             std::vector<std::string>(
                 {"Profile not selected. Please select a folder before proceeding.", "Error"}));
  }

  void saltedProfilesOfTheOldLayout() {
    TAppData data;
    MakeMailDir(data / "Mozilla/Profiles/default/ab12cd.slt/Mail/Local Folders");
    test::WriteFile(data / "Mozilla/Profiles/second/x.slt/Mail/Inbox", "");
    test::WriteFile(data / "Mozilla/Profiles/second/stray.txt", "");
    test::WriteFile(data / "Mozilla/Profiles/.hidden/x.slt/Mail/Inbox", "");
    TWindow w;
    ToNetscapeChoose(w, 0);
    QCOMPARE(TreeTexts(w->elNSProfileList), std::vector<std::string>({"default", "second"}));
    QCOMPARE(w->elNSProfileList->topLevelItem(0)->text(1),
             QString::fromStdString(data / "Mozilla/Profiles/default"));
    QCOMPARE(w.Next(), std::string("NSFolderSelect"));
    QCOMPARE(w->NetscapeMailDir, data / "Mozilla/Profiles/default/ab12cd.slt/Mail/");
    std::vector<std::string> expected = {"Local Folders"};
    for (const std::string& line : kExpectedTree) expected.push_back("  " + line);
    QCOMPARE(Marked(w->ElTreeNS), expected);
    auto* inbox = wiz::TFolderItem::From(w->ElTreeNS->topLevelItem(0)->child(2));
    QVERIFY(inbox->NS);
    QCOMPARE(inbox->NS->Kind, 0);
    QCOMPARE(inbox->NS->Path,
             data / "Mozilla/Profiles/default/ab12cd.slt/Mail/Local Folders/Inbox");
    QVERIFY(w.Desktop.Errors().empty());

    // A profile with a further visible file: "Error" alone.
    QCOMPARE(w.Back(), std::string("NetscapeChoose"));
    w->elNSProfileList->setCurrentItem(w->elNSProfileList->topLevelItem(1));
    QCOMPARE(w.Next(), std::string("NetscapeChoose"));
    QCOMPARE(w.Desktop.Errors(), std::vector<std::string>({"Error"}));

    // No row selected.
    w.Desktop.Clear();
    w->elNSProfileList->clearSelection();
    QCOMPARE(w.Next(), std::string("NetscapeChoose"));
    QCOMPARE(w.Desktop.Errors().size(), size_t(2));
  }

  void currentThunderbirdProfile() {
    TAppData data;
    const std::string profile = data / "ThunderBird/Profiles/k3x9.default";
    MakeMailDir(profile + "/Mail/Local Folders");
    test::WriteFile(profile + "/prefs.js", "");
    TWindow w;
    ToNetscapeChoose(w, 1);
    QCOMPARE(TreeTexts(w->elNSProfileList), std::vector<std::string>({"k3x9.default"}));
    QCOMPARE(w.Next(), std::string("NSFolderSelect"));
    QCOMPARE(w->ThunderbirdMailDir, profile + "/Mail/");
    QCOMPARE(w->NetscapeMailDir, std::string());
    QCOMPARE(Marked(w->ElTreeNS).size(), kExpectedTree.size() + 1);
    for (auto* item : wiz::AllFolderItems(w->ElTreeNS))
      if (item->NS) QCOMPARE(item->NS->Kind, 1);
    // The tree starts unticked and Next needs no tick.
    QCOMPARE(w.Next(), std::string("Options"));
  }

  void directChoice() {
    TAppData data;
    MakeMailDir(data / "mail");
    TWindow w;
    ToNetscapeChoose(w, 1);
    QVERIFY(w->elNSProfileList->isEnabled());
    QVERIFY(!w->txtNSCustomFolder->isEnabled());
    w->rbNSChooseFolder->click();
    QVERIFY(!w->elNSProfileList->isEnabled());
    QVERIFY(w->txtNSCustomFolder->isEnabled());
    QVERIFY(w->btChooseNSCustomFolder->isEnabled());

    // The browser: cancelled keeps the text, confirmed replaces it.
    w->txtNSCustomFolder->setText(QString::fromStdString(data / "missing"));
    w->btChooseNSCustomFolder->click();
    QCOMPARE(w->txtNSCustomFolder->text(), QString::fromStdString(data / "missing"));
    const auto browse = w.Desktop.CallsOf("BrowseDirectory");
    QCOMPARE(browse.size(), size_t(1));
    QCOMPARE(browse[0].Caption, std::string("Select the Netscape/Mozilla Mail Folder"));
    QCOMPARE(browse[0].Initial, data / "missing");

    // A missing directory has a message of its own.
    QCOMPARE(w.Next(), std::string("NetscapeChoose"));
    const auto errors = w.Desktop.Errors();
    QCOMPARE(errors.size(), size_t(2));
    QVERIFY(errors[0].find("does not exist") != std::string::npos);
    QCOMPARE(errors[1], std::string("Error"));

    // A mail directory chosen directly is walked as it is.
    w.Desktop.DirAnswers.push_back(QString::fromStdString(data / "mail"));
    w->btChooseNSCustomFolder->click();
    QCOMPARE(w.Next(), std::string("NSFolderSelect"));
    QCOMPARE(Marked(w->ElTreeNS), kExpectedTree);
  }

  void viewGrabbedEmails() {
    TAppData data;
    test::WriteFile(data / "Quillbox/GrabbedEmails.txt", "ann@example.org\n");
    TWindow w;
    w->btOpenMails->click();
    auto* grabber = w->findChild<wiz::TfrmOEGrabber*>();
    QVERIFY(grabber);
    QVERIFY(grabber->isVisible());
    QCOMPARE(grabber->Count(), 1);
    grabber->btClose->click();
  }
};
QB_WIZARD_TEST(MozillaPages);

}  // namespace qb::wiztest

#include "mozilla_test.moc"
