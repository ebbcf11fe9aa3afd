// How the folder trees are built from a store's folder list and from
// Outlook's folders.
#include <QTest>

#include "tests/wizard/wizardtest.h"
#include "wizard/periphery.h"

namespace qb::wiztest {

using FolderList = std::vector<TDbxSynthFolder>;
using Texts = std::vector<std::string>;

class FolderTrees : public QObject {
  Q_OBJECT
 private slots:
  void outlookExpressTree_data() {
    QTest::addColumn<FolderList>("folders");
    QTest::addColumn<Texts>("tree");
    QTest::newRow("children below their parent, in list order")
        << FolderList{Folder(1, 0, "Inbox", "Inbox.dbx"), Folder(2, 1, "Work", "Work.dbx"),
                      Folder(3, 1, "Home", "Home.dbx"), Folder(4, 0, "Outbox", "Outbox.dbx")}
        << Texts{"Inbox", "  Work", "  Home", "Outbox"};
    QTest::newRow("folders without a message file never appear")
        << FolderList{Folder(1, 0, "Local Folders", ""), Folder(2, 0, "Blank", " \t"),
                      Folder(3, 0, "Sent", "Sent.dbx")}
        << Texts{"Sent"};
    QTest::newRow("INBOX comes first at the top level, in any letter case")
        << FolderList{Folder(1, 0, "Sent", "Sent.dbx"), Folder(2, 0, "Drafts", "Drafts.dbx"),
                      Folder(3, 0, "inBox", "Inbox.dbx")}
        << Texts{"inBox", "Sent", "Drafts"};
    QTest::newRow("an INBOX below a parent keeps its place")
        << FolderList{Folder(1, 0, "Archive", "Archive.dbx"), Folder(2, 1, "Old", "Old.dbx"),
                      Folder(3, 1, "Inbox", "Inbox2.dbx")}
        << Texts{"Archive", "  Old", "  Inbox"};
    QTest::newRow("a parent that comes later leaves the child at the top")
        << FolderList{Folder(2, 1, "Child", "Child.dbx"), Folder(1, 0, "Parent", "Parent.dbx")}
        << Texts{"Child", "Parent"};
    QTest::newRow("a dropped parent leaves the child at the top")
        << FolderList{Folder(1, 0, "Local Folders", ""), Folder(2, 1, "Inbox", "Inbox.dbx"),
                      Folder(3, 1, "Sent", "Sent.dbx")}
        << Texts{"Inbox", "Sent"};
    QTest::newRow("deep nesting") << FolderList{Folder(1, 0, "A", "A.dbx"),
                                                Folder(2, 1, "B", "B.dbx"),
                                                Folder(3, 2, "C", "C.dbx"),
                                                Folder(4, 3, "D", "D.dbx")}
                                  << Texts{"A", "  B", "    C", "      D"};
  }
  void outlookExpressTree() {
    QFETCH(FolderList, folders);
    QFETCH(Texts, tree);
    TWindow w;
    test::TempDir dir;
    WriteStore(dir.Path(), folders);
    w.Next();
    w->rbOEChooseFolder->click();
    w->txtOECustomFolder->setText(QString::fromStdString(dir.Path()));
    QCOMPARE(w.Next(), std::string("OEFolderSelect"));
    QCOMPARE(TreeTexts(w->ElTreeOE), tree);
    for (wiz::TFolderItem* item : wiz::AllFolderItems(w->ElTreeOE)) {
      QVERIFY(item->HasCheckBox());
      QVERIFY(item->Ticked());  // never stored before: ticked
      QVERIFY(item->OE);
      QCOMPARE(item->Tag, std::int64_t(item->OE->FolderId));
      QCOMPARE(item->text(0).toStdString(), item->OE->FolderName);
      QVERIFY(item->childCount() == 0 || item->isExpanded());
    }
  }

  void outlookStoreRootsHaveNoCheckBox() {
    TWindow w;
    auto outlook = std::make_shared<ole::TFakeOutlook>();
    ole::TFakeFolder& first = outlook->AddStore("Personal Folders");
    first.AddFolder("Inbox").AddFolder("Projects");
    first.AddFolder("Calendar", ole::olAppointmentItem);  // not mail: left out
    outlook->AddStore("Archive").AddFolder("2003");
    ole::TScopedOutlookProvider use(outlook->Factory());
    QCOMPARE(WalkTo(w, "rbOutlook", "OutlookChoose"), std::string("OutlookChoose"));
    QCOMPARE(TreeTexts(w->ElTreeOutLook),
             (Texts{"Personal Folders", "  Inbox", "    Projects", "Archive", "  2003"}));
    for (wiz::TFolderItem* item : wiz::AllFolderItems(w->ElTreeOutLook)) {
      const bool root = item->parent() == nullptr;
      QCOMPARE(item->HasCheckBox(), !root);
      QCOMPARE(item->data(0, Qt::CheckStateRole).isValid(), !root);
      QCOMPARE(item->Ticked(), !root);
      QVERIFY(item->Outlook);
      QVERIFY(item->childCount() == 0 || item->isExpanded());
    }
    // The small progress window was shown with its line, and is gone.
    QVERIFY(!w->frmProgress->isVisible());
    QCOMPARE(w->frmProgress->Status(), QStringLiteral("Getting Outlook Folders... Wait..."));
    QVERIFY(w->isEnabled());
  }

  // A ticked root without a check box still goes into the run.
  void aTickedRootIsRunLikeAnyFolder() {
    TWindow w;
    auto outlook = std::make_shared<ole::TFakeOutlook>();
    outlook->AddStore("Personal Folders").AddFolder("Inbox");
    ole::TScopedOutlookProvider use(outlook->Factory());
    WalkTo(w, "rbOutlook", "OutlookChoose");
    wiz::TFolderItem* root = wiz::TFolderItem::From(w->ElTreeOutLook->topLevelItem(0));
    root->SetTicked(true);
    QVERIFY(root->Ticked());
    QVERIFY(!root->HasCheckBox());
    QCOMPARE(root->JobFolder().Name, std::string("Personal Folders"));
  }
};
QB_WIZARD_TEST(FolderTrees);

}  // namespace qb::wiztest

#include "trees_test.moc"
