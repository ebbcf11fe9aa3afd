// The grabbed-addresses window on its own: the list as stored, Save As,
// Delete All with its question, Close.
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "tests/support/testsupport.h"
#include "tests/wizard/wizardtest.h"
#include "wizard/grabber.h"

namespace qb::wiztest {

namespace {
QStringList Items(QListWidget* list) {
  QStringList r;
  for (int i = 0; i < list->count(); ++i) r << list->item(i)->text();
  return r;
}
}  // namespace

class GrabberWindow : public QObject {
  Q_OBJECT
 private slots:
  void layoutAndEmptyList() {
    test::TempDir dir;
    wiz::TFakeDesktop desktop;
    wiz::TfrmOEGrabber w(desktop, nullptr, dir / "none/GrabbedEmails.txt");
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillbox - Grabbed Emails"));
    QCOMPARE(w.size(), QSize(346, 335));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(w.lbNumEmails->text(), QStringLiteral("Number of Emails : 0"));
    QCOMPARE(w.lbEmails->count(), 0);
    QVERIFY(!w.btSaveAs->isEnabled());
    QVERIFY(!w.btDeleteAll->isEnabled());
    QCOMPARE(w.btClose->text(), QStringLiteral("Close"));
    for (const char* name : {"lbNumEmails", "lbEmails", "btSaveAs", "btDeleteAll", "btClose"})
      QVERIFY2(w.findChild<QWidget*>(name), name);
    QVERIFY(desktop.Calls.empty());
  }

  void saveAsWritesOneAddressALine() {
    test::TempDir dir;
    test::WriteFile(dir / "GrabbedEmails.txt", "ann@example.org\nB\xE9la@example.org\n");
    wiz::TFakeDesktop desktop;
    wiz::TfrmOEGrabber w(desktop, nullptr, dir / "GrabbedEmails.txt");
    QCOMPARE(w.lbNumEmails->text(), QStringLiteral("Number of Emails : 2"));
    QCOMPARE(Items(w.lbEmails),
             QStringList({"ann@example.org", QString::fromUtf8("B\xC3\xA9la@example.org")}));

    // Cancelled: nothing written.
    w.btSaveAs->click();
    desktop.FileAnswers.push_back(QString::fromStdString(dir / "out.txt"));
    w.btSaveAs->click();
    const auto saves = desktop.CallsOf("SaveFile");
    QCOMPARE(saves.size(), size_t(2));
    QCOMPARE(saves[0].Filter, std::string("Text Files (*.txt)|*.txt|All Files|*.*"));
    QCOMPARE(test::ReadFile(dir / "out.txt"),
             std::string("ann@example.org\nB\xE9la@example.org\n"));

    // A file that cannot be written is reported.
    desktop.FileAnswers.push_back(QString::fromStdString(dir / "no/such/dir/out.txt"));
    w.btSaveAs->click();
    QCOMPARE(desktop.Errors().size(), size_t(1));
  }

  void deleteAllAsksFirst() {
    test::TempDir dir;
    const std::string path = dir / "GrabbedEmails.txt";
    test::WriteFile(path, "ann@example.org\n");
    wiz::TFakeDesktop desktop;
    wiz::TfrmOEGrabber w(desktop, nullptr, path);
    desktop.ConfirmAnswers.push_back(false);
    w.btDeleteAll->click();
    QCOMPARE(w.Count(), 1);
    QCOMPARE(test::ReadFile(path), std::string("ann@example.org\n"));
    w.btDeleteAll->click();  // Yes
    QCOMPARE(desktop.CallsOf("Confirm").size(), size_t(2));
    QCOMPARE(w.Count(), 0);
    QCOMPARE(w.lbEmails->count(), 0);
    QCOMPARE(w.lbNumEmails->text(), QStringLiteral("Number of Emails : 0"));
    QCOMPARE(test::ReadFile(path), std::string());
    QVERIFY(!w.btDeleteAll->isEnabled());

    w.show();
    w.btClose->click();
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Accepted));
  }
};
QB_WIZARD_TEST(GrabberWindow);

}  // namespace qb::wiztest

#include "grabber_test.moc"
