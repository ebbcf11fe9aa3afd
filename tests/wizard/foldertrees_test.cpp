// Selecting and finding folders in the folder trees.
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>

#include "platform/keystore.h"
#include "tests/wizard/wizardtest.h"
#include "wizard/fakedesktop.h"
#include "wizard/foldertrees.h"
#include "wizard/oMain.h"

namespace qb::wiztest {

using namespace qb::wiz;

namespace {

// Inbox > (Work Mail, private), Sent Items, Outbox-MAIL
void FillOE(QTreeWidget* tree) {
  TFolderItem* inbox = AddFolder(tree, nullptr, "Inbox");
  AddFolder(tree, inbox, "Work Mail");
  AddFolder(tree, inbox, "private");
  AddFolder(tree, nullptr, "Sent Items");
  AddFolder(tree, nullptr, "Outbox-MAIL");
}

QString Ticks(QTreeWidget* tree) {
  QString out;
  for (TFolderItem* item : AllFolderItems(tree)) out += item->Ticked() ? 'x' : '.';
  return out;
}

struct TForm {
  TForm() : Form(Desktop, Store, TestOptions()) {
    Form.show();
    FillOE(Form.ElTreeOE);
  }
  TKeyStore Store;
  TFakeDesktop Desktop;
  TfrmOEMain Form;
};

}  // namespace

class FolderSearch : public QObject {
  Q_OBJECT

 private slots:
  void matching_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("find");
    QTest::addColumn<bool>("match");
    QTest::newRow("inside") << "Work Mail"
                            << "k ma" << true;
    QTest::newRow("case") << "Outbox-MAIL"
                          << "mail" << true;
    QTest::newRow("accented") << QString::fromUtf8("Entw\xC3\xBCrfe")
                              << QString::fromUtf8("\xC3\x9C") << true;
    QTest::newRow("absent") << "Inbox"
                            << "sent" << false;
  }
  void matching() {
    QFETCH(QString, name);
    QFETCH(QString, find);
    QFETCH(bool, match);
    QCOMPARE(FolderNameMatches(name, find), match);
  }

  // Find and Find Next walk the whole tree in order and do not wrap; the
  // search text is one for the window.
  void find_data() {
    QTest::addColumn<QStringList>("steps");    // "find:TEXT", "find:<cancel>", "next"
    QTest::addColumn<QStringList>("current");  // the current item after each step ("" none)
    QTest::addColumn<QString>("findText");
    QTest::newRow("two matches, then none")
        << QStringList{"find:mail", "next", "next"}
        << QStringList{"Work Mail", "Outbox-MAIL", "Outbox-MAIL"} << "mail";
    QTest::newRow("case and blanks")
        << QStringList{"find: MAIL "} << QStringList{"Work Mail"} << "MAIL";
    QTest::newRow("no match") << QStringList{"find:zzz", "next"} << QStringList{"", ""} << "zzz";
    QTest::newRow("blanks keep the text")
        << QStringList{"find:sent", "find:   ", "next"}
        << QStringList{"Sent Items", "Sent Items", "Sent Items"} << "sent";
    QTest::newRow("next before any find asks")
        << QStringList{"next:priv"} << QStringList{"private"} << "priv";
    QTest::newRow("cancel") << QStringList{"find:<cancel>"} << QStringList{""} << "";
    QTest::newRow("find starts over") << QStringList{"find:box", "next", "find:box"}
                                      << QStringList{"Inbox", "Outbox-MAIL", "Inbox"} << "box";
  }
  void find() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, current);
    QFETCH(QString, findText);
    TForm f;
    f.Form.rbOE->setChecked(true);
    for (int i = 0; i < steps.size(); ++i) {
      const QString step = steps[i];
      const QString text = step.section(':', 1);
      if (!text.isEmpty())
        f.Desktop.TextAnswers.push_back(text == "<cancel>" ? std::nullopt
                                                           : std::optional<QString>(text));
      const size_t asked = f.Desktop.CallsOf("InputText").size();
      if (step.startsWith("find"))
        f.Form.btFindClick();
      else
        f.Form.btFindNextClick();
      QCOMPARE(f.Desktop.CallsOf("InputText").size(), asked + (text.isEmpty() ? 0 : 1));
      QTreeWidgetItem* item = f.Form.ElTreeOE->currentItem();
      QCOMPARE(item ? item->text(0) : QString(), current[i]);
      if (item) QVERIFY(item->isSelected());
    }
    QCOMPARE(QString::fromStdString(f.Form.FindText), findText);
    const auto asks = f.Desktop.CallsOf("InputText");
    if (!asks.empty()) {
      QCOMPARE(asks.front().Caption, std::string("Find a Mailbox"));
      QCOMPARE(asks.front().Text, std::string("Enter a Mailbox name (partial)"));
    }
  }

  // The buttons act on the tree of the chosen source, hidden store roots
  // included; the Outlook test ignores ticked roots.
  void tickButtons() {
    TForm f;
    TFolderItem* root = AddFolder(f.Form.ElTreeOutLook, nullptr, "Personal Folders", false);
    TFolderItem* inbox = AddFolder(f.Form.ElTreeOutLook, root, "Inbox");
    f.Form.rbOutlook->setChecked(true);
    f.Form.btFolderUnselectAllClick();
    QCOMPARE(Ticks(f.Form.ElTreeOutLook), QString(".."));
    QVERIFY(!f.Form.isOutlookItemsChecked());
    f.Form.btFolderSelectAllClick();
    QCOMPARE(Ticks(f.Form.ElTreeOutLook), QString("xx"));
    QVERIFY(f.Form.isOutlookItemsChecked());
    inbox->SetTicked(false);
    QVERIFY(root->Ticked() && !f.Form.isOutlookItemsChecked());
    QCOMPARE(Ticks(f.Form.ElTreeOE), QString("xxxxx"));  // another page's tree

    f.Form.rbOE->setChecked(true);
    AllFolderItems(f.Form.ElTreeOE)[1]->SetTicked(false);
    f.Form.btFolderInverseClick();
    QCOMPARE(Ticks(f.Form.ElTreeOE), QString(".x..."));
    QVERIFY(f.Form.isOEItemsChecked());
    f.Form.btFolderInverseClick();
    QCOMPARE(Ticks(f.Form.ElTreeOE), QString("x.xxx"));
    f.Form.btFolderUnselectAllClick();
    QVERIFY(!f.Form.isOEItemsChecked());

    f.Form.rbMbox->setChecked(true);  // a source without a tree
    f.Form.btFolderSelectAllClick();
    QCOMPARE(Ticks(f.Form.ElTreeOE), QString("....."));
  }

  // A double click toggles the focused item of the clicked tree only.
  void doubleClick() {
    TForm f;
    TFolderItem* ns = AddFolder(f.Form.ElTreeNS, nullptr, "Inbox");
    AddFolder(f.Form.ElTreeNS, nullptr, "Trash");
    f.Form.ElTreeOE->setCurrentItem(f.Form.ElTreeOE->topLevelItem(0));
    f.Form.ElTreeNS->setCurrentItem(ns);
    f.Form.ElTreeOEDblClick(f.Form.ElTreeNS->topLevelItem(1));
    QCOMPARE(Ticks(f.Form.ElTreeNS), QString(".x"));
    QCOMPARE(Ticks(f.Form.ElTreeOE), QString("xxxxx"));
    f.Form.ElTreeOEDblClick(f.Form.ElTreeNS->topLevelItem(0));
    QCOMPARE(Ticks(f.Form.ElTreeNS), QString("xx"));
    f.Form.ElTreeOE->setCurrentItem(nullptr);
    f.Form.ElTreeOEDblClick(f.Form.ElTreeOE->topLevelItem(0));
    QCOMPARE(Ticks(f.Form.ElTreeOE), QString("xxxxx"));
  }
};
QB_WIZARD_TEST(FolderSearch);

}  // namespace qb::wiztest

#include "foldertrees_test.moc"
