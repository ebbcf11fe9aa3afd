// Next and Back: where each button leads from every page, by source.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "tests/wizard/wizardtest.h"

namespace qb::wiztest {

class Navigation : public QObject {
  Q_OBJECT

  // Columns shared by both tables: the source, the page shown when the
  // button is pressed, the page shown after it and whether Back is usable.
  static void Columns() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("backEnabled");
  }
  static void Row(const char* source, const char* from, const char* to, bool back) {
    QTest::addRow("%s on %s", source, from) << source << from << to << back;
  }

  // Shows the page of the row, walking there like a user where possible.
  static void Reach(TWindow& w, const QString& source, const QString& from) {
    if (from == "Finish" || from == "emlChoose") {
      w->ShowPage(w->Page(from));
      return;
    }
    QCOMPARE(QString::fromStdString(WalkTo(w, source.toStdString(), from.toStdString())), from);
  }

 private slots:
  void next_data() {
    Columns();
    Row("rbOE", "Welcome", "OEChoose", true);
    Row("rbOutlook", "Welcome", "OutlookChoose", true);
    Row("rbNS", "Welcome", "NetscapeChoose", true);
    Row("rbTB", "Welcome", "NetscapeChoose", true);
    Row("rbMbox", "Welcome", "Welcome", false);  // no page of its own: nothing happens
    Row("rbEML", "Welcome", "Welcome", false);
    Row("rbOE", "OEChoose", "OEFolderSelect", true);
    Row("rbOE", "OEFolderSelect", "Options", true);
    Row("rbOutlook", "OutlookChoose", "Options", true);
    Row("rbNS", "NSFolderSelect", "Options", true);
    Row("rbTB", "NSFolderSelect", "Options", true);
    Row("rbOE", "Options", "Options2", true);
    Row("rbOE", "Options2", "Processing", true);  // the run starts (and here ends at once)
    Row("rbOE", "Finish", "Finish", false);       // pages never shown: nothing happens
    Row("rbOE", "emlChoose", "emlChoose", false);
  }
  // Every other page is left alone; a run's own buttons are shown by ButtonStates.
  void next() {
    QFETCH(QString, source);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, backEnabled);
    TWindow w;
    TSources sources(w);
    Reach(w, source, from);
    w.Desktop.Clear();
    QCOMPARE(QString::fromStdString(w.Next()), to);
    if (to != "Processing") QCOMPARE(w->btBack->isEnabled(), backEnabled);
    QCOMPARE(w.Desktop.Errors(), std::vector<std::string>{});
  }

  void back_data() {
    Columns();
    Row("rbOE", "Welcome", "Welcome", false);
    Row("rbOE", "OEChoose", "Welcome", false);
    Row("rbOE", "OEFolderSelect", "OEChoose", true);
    Row("rbOutlook", "OutlookChoose", "Welcome", false);
    Row("rbNS", "NetscapeChoose", "Welcome", false);
    Row("rbNS", "NSFolderSelect", "NetscapeChoose", true);
    // Back from Options returns to the folder page of the source, whatever
    // page came before.
    Row("rbOE", "Options", "OEFolderSelect", true);
    Row("rbOutlook", "Options", "OutlookChoose", true);
    Row("rbNS", "Options", "NSFolderSelect", true);
    Row("rbTB", "Options", "NSFolderSelect", true);
    Row("rbOE", "Options2", "Options", true);
    Row("rbOE", "Processing", "Welcome", false);
  }
  void back() {
    QFETCH(QString, source);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, backEnabled);
    TWindow w;
    TSources sources(w);
    Reach(w, source, from);
    QCOMPARE(QString::fromStdString(w.Back()), to);
    QCOMPARE(w->btBack->isEnabled(), backEnabled);
  }

  void nextOnWelcomeListsTheIdentitiesWithTheFirstFocused() {
    TWindow w;
    TSources sources(w);
    AddIdentity(w.Store, "{00000000-0000-0000-0000-000000000002}", "Holidays", "");
    w.Next();
    QCOMPARE(w->elOEProfileList->topLevelItemCount(), 2);
    QCOMPARE(w->elOEProfileList->topLevelItem(0)->text(0), QStringLiteral("Main Identity"));
    QCOMPARE(w->elOEProfileList->topLevelItem(0)->text(1),
             QString::fromStdString(sources.StoreDir));
    QCOMPARE(w->elOEProfileList->topLevelItem(1)->text(1), QStringLiteral("[Empty Profile]"));
    QCOMPARE(w->elOEProfileList->currentItem(), w->elOEProfileList->topLevelItem(0));
  }

  void aStoreChosenDirectlyIsUsedAsItIs() {
    TWindow w;
    TSources sources(w);
    w.Next();
    w->rbOEChooseFolder->click();
    QVERIFY(w->txtOECustomFolder->isEnabled());
    QVERIFY(!w->elOEProfileList->isEnabled());
    w->txtOECustomFolder->setText(QString::fromStdString("  " + sources.StoreDir + "  "));
    QCOMPARE(w.Next(), std::string("OEFolderSelect"));
    QCOMPARE(w->StoreFolder, sources.StoreDir);
  }

  void theStoreDirectoryIsBrowsedForAndKeptOnlyWhenConfirmed() {
    TWindow w;
    w.Next();
    w->rbOEChooseFolder->click();
    w.Desktop.DirAnswers = {std::nullopt, QStringLiteral("/mail/store")};
    w->btChooseOECustomFolder->click();
    QCOMPARE(w->txtOECustomFolder->text(),
             QStringLiteral("Choose the Outlook Express Mail Folder"));
    w->btChooseOECustomFolder->click();
    QCOMPARE(w->txtOECustomFolder->text(), QStringLiteral("/mail/store"));
    const auto calls = w.Desktop.CallsOf("BrowseDirectory");
    QCOMPARE(calls.size(), size_t(2));
    QCOMPARE(calls[0].Caption, std::string("Select the Outlook Express Mail Folder"));
    QCOMPARE(calls[0].Initial, std::string("Choose the Outlook Express Mail Folder"));
  }

  void goingBackKeepsTheTreeAndGoingForwardRebuildsIt() {
    TWindow w;
    TSources sources(w);
    WalkTo(w, "rbOE", "OEFolderSelect");
    auto* inbox = TFolderItem_(w->ElTreeOE->topLevelItem(0));
    inbox->SetTicked(false);
    w.Back();
    QCOMPARE(w->ElTreeOE->topLevelItemCount(), 2);  // kept while on OEChoose
    w.Next();
    QVERIFY(TFolderItem_(w->ElTreeOE->topLevelItem(0))->Ticked());  // rebuilt from the store
  }

  void nextOnProcessingAsksToClose() {
    TWindow w;
    TSources sources(w);
    WalkTo(w, "rbOE", "Processing");
    w->show();
    w.Desktop.ConfirmAnswers = {false};
    w.Next();
    QCOMPARE(w.Desktop.CallsOf("Confirm").back().Text,
             std::string("Do you really want to close the program ?"));
    QVERIFY(w->isVisible());
    w.Next();  // Yes (Enter) closes
    QVERIFY(!w->isVisible());
  }

 private:
  static wiz::TFolderItem* TFolderItem_(QTreeWidgetItem* item) {
    return wiz::TFolderItem::From(item);
  }
};
QB_WIZARD_TEST(Navigation);

}  // namespace qb::wiztest

#include "navigation_test.moc"
