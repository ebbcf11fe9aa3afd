// The Netscape/Mozilla/Thunderbird pages: profiles, the mail directory, the
// mailbox tree, the direct choice, and the grabbed-addresses window behind
// "View Grabbed Emails".
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "tests/app/cli_runner.h"
#include "tests/support/testsupport.h"
#include "tests/wizard/wizardtest.h"
#include "wizard/grabber.h"
#include "wizard/runcontrol.h"
#include "wizard/runview.h"
#include "wizard/settingslayout.h"

namespace qb::wiztest {

namespace {

// An application-data folder, a home and a configuration of its own for
// one test.
struct TAppData {
  test::TempDir Dir;
  test::ScopedEnv Data{"XDG_DATA_HOME", Dir.Path()};
  test::ScopedEnv Home{"HOME", Dir.Path()};
  test::ScopedEnv Config{"XDG_CONFIG_HOME", Dir / "config"};
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

// One mbox message with an attachment and an HTML part naming an address.
std::string MboxMessage(const std::string& from, const std::string& subject,
                        const std::string& date, const std::string& file) {
  return "From - Mon Sep 22 10:30:00 2003\n"
         "X-Mozilla-Status: 0001\n"
         "From: " +
         from + "\nTo: Sam <sam@example.org>\nCc: cy@example.net\nSubject: " + subject +
         "\nDate: " + date +
         "\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b\"\n\n"
         "--b\nContent-Type: text/html\n\n<a href=\"mailto:Sales@Example.com\">us</a>\n"
         "--b\nContent-Type: application/octet-stream; name=\"" +
         file + "\"\nContent-Disposition: attachment; filename=\"" + file + "\"\n\n" + subject +
         " data\n--b--\n\n";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t p = 0; p < text.size();) {
    std::size_t end = text.find('\n', p);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(p, end - p));
    p = end + 1;
  }
  return lines;
}

const std::vector<std::string> kExpectedTree = {"[ ] Archives", "Archives", "  [ ] 2009",
                                                "[ ] Inbox",    "Plain",    "  [ ] Sent"};

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
    test::WriteFile(profile + "/ImapMail/imap.example.com/INBOX", "");
    test::WriteFile(profile + "/ImapMail/imap.example.com/INBOX.msf", "");
    TWindow w;
    ToNetscapeChoose(w, 1);
    QCOMPARE(TreeTexts(w->elNSProfileList), std::vector<std::string>({"k3x9.default"}));
    QCOMPARE(w.Next(), std::string("NSFolderSelect"));
    QCOMPARE(w->ThunderbirdMailDir, profile + "/Mail/");
    QCOMPARE(w->NetscapeMailDir, std::string());
    // The offline copies of IMAP folders come after the local mail.
    std::vector<std::string> expected = {"Local Folders"};
    for (const std::string& line : kExpectedTree) expected.push_back("  " + line);
    expected.push_back("imap.example.com");
    expected.push_back("  [ ] INBOX");
    QCOMPARE(Marked(w->ElTreeNS), expected);
    for (auto* item : wiz::AllFolderItems(w->ElTreeNS))
      if (item->NS) QCOMPARE(item->NS->Kind, 1);
    // The tree starts unticked and Next needs no tick; it stores the ticks.
    wiz::TFolderItem* inbox = nullptr;
    for (auto* item : wiz::AllFolderItems(w->ElTreeNS))
      if (item->NS && item->text(0) == "Inbox") inbox = item;
    QVERIFY(inbox);
    inbox->SetTicked(true);
    QCOMPARE(w.Next(), std::string("Options"));
    QVERIFY(wiz::ReadFolderSelection(w.Store, wiz::kTBSelectionKey, inbox->NS->Path));
    QVERIFY(!wiz::ReadFolderSelection(w.Store, wiz::kTBSelectionKey,
                                      profile + "/ImapMail/imap.example.com/INBOX"));
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

  // A Thunderbird profile in ~/.thunderbird, chosen on the first page: the
  // run's log is what quillbox-cli prints for the same job, the files land
  // below thunderbird/, and "View Grabbed Emails" lists the addresses.
  void wholeThunderbirdRunMatchesTheCommandLine() {
    TAppData data;
    test::WriteFile(data / ".thunderbird/profiles.ini",
                    "[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=default\n"
                    "IsRelative=1\nPath=k3x9.default\nDefault=1\n");
    const std::string mail = data / ".thunderbird/k3x9.default/Mail/Local Folders";
    test::WriteFile(mail + "/Inbox",
                    MboxMessage("\"Ann\" <Ann@Example.com>", "Report",
                                "Sun, 21 Sep 2003 10:30:00 +0200", "report.doc") +
                        MboxMessage("bob@example.org", "Photo", "Mon, 22 Sep 2003 11:00:00 +0200",
                                    "beach.png"));
    test::WriteFile(mail + "/Inbox.msf", "// index");
    test::WriteFile(mail + "/Archives", "");
    test::WriteFile(
        mail + "/Archives.sbd/2009",
        MboxMessage("ann@example.com", "Old", "Tue, 06 Jan 2009 09:00:00 +0100", "old.pdf"));
    TWindow w;
    w->show();
    ToNetscapeChoose(w, 1);
    QCOMPARE(TreeTexts(w->elNSProfileList), std::vector<std::string>({"default"}));
    QCOMPARE(w.Next(), std::string("NSFolderSelect"));
    std::vector<std::string> mailboxes;
    for (auto* item : wiz::AllFolderItems(w->ElTreeNS))
      if (item->NS) {
        item->SetTicked(true);
        mailboxes.push_back(item->NS->Path);
      }
    QCOMPARE(mailboxes.size(), size_t(3));
    QCOMPARE(w.Next(), std::string("Options"));
    QCOMPARE(w.Next(), std::string("Options2"));
    w->txtOEDir->setText(QString::fromStdString(data / "out"));
    w->cbGetEmbbededImages->setChecked(false);
    QVERIFY(w->cbGetEmails->isChecked());
    std::vector<std::string> args = {
        "extract",
        "--source",
        "thunderbird",
        "--dest",
        data / "cli",
        "--layout",
        std::to_string(w->LayoutIndex()),
        w->cbUseFullFilename->isChecked() ? "--full-file-name" : "--no-full-file-name",
        "--include",
        TickedItems(w->lbIncludeExtensions),
        "--exclude",
        TickedItems(w->lbExcludeExtensions)};
    if (w->cbSkipDuplicates->isChecked()) args.push_back("--skip-duplicates");
    if (w->rbSelectedDoc->isChecked()) args.push_back("--selected-only");
    for (const std::string& m : mailboxes) {
      args.push_back("--mailbox");
      args.push_back(m);
    }

    w->btNext->click();
    QVERIFY(w->Running);
    QCOMPARE(w->elTreeStatus->topLevelItemCount(), 3);
    QCOMPARE(w->elTreeStatus->topLevelItem(1)->text(wiz::colFolder), QStringLiteral("2009"));
    QTRY_VERIFY_WITH_TIMEOUT(!w->Running, 60000);
    QCOMPARE(w->btNext->text(), QStringLiteral("Finish"));

    const test::CliResult cli = test::RunCli(args, {{"XDG_DATA_HOME", data / "cli-appdata"}});
    QCOMPARE(cli.Status, 0);
    std::string expected;
    for (const std::string& line : Lines(cli.Out)) expected += ToUtf8Edge(line) + "\n";
    // The window's own closing lines: the end, then the summary.
    expected += "Finished with Extraction.\n" + SummaryLine(w->RunState->Summary);
    QCOMPARE(w->txtLogs->toPlainText().toStdString(), expected);
    std::vector<std::string> rows, cliRows;
    for (int i = 0; i < w->elTreeStatus->topLevelItemCount(); ++i) {
      std::string r = "folder";
      for (int c = 0; c < wiz::kStatusColumns; ++c)
        r += "\t" + w->elTreeStatus->topLevelItem(i)->text(c).toStdString();
      rows.push_back(r);
    }
    for (const std::string& line : Lines(cli.Err))
      if (line.rfind("folder\t", 0) == 0) cliRows.push_back(line);
    QCOMPARE(rows, cliRows);

    // The same files, with the addresses collected or not (the command line
    // does not collect them).
    const std::vector<std::string> files = test::ListTree(data / "out");
    QCOMPARE(files, test::ListTree(data / "cli"));
    QCOMPARE(files.size(), size_t(3));
    for (const std::string& f : files) QVERIFY2(f.rfind("thunderbird/", 0) == 0, f.c_str());
    QVERIFY(!FileExists(data / "cli-appdata/Quillbox/GrabbedEmails.txt"));

    w->btOpenMails->click();
    auto* grabber = w->findChild<wiz::TfrmOEGrabber*>();
    QVERIFY(grabber);
    QStringList shown;
    for (int i = 0; i < grabber->lbEmails->count(); ++i)
      shown << grabber->lbEmails->item(i)->text();
    QCOMPARE(shown, QStringList({"ann@example.com", "sam@example.org", "cy@example.net",
                                 "Sales@Example.com", "bob@example.org"}));
    grabber->btClose->click();
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
