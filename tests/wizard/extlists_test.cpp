// Add, Edit and Delete on both extension lists, every dialog path.
#include <QListWidget>
#include <QtTest>
#include <memory>

#include "platform/keystore.h"
#include "tests/wizard/wizardtest.h"
#include "wizard/fakedesktop.h"
#include "wizard/oMain.h"

namespace qb::wiztest {

using namespace qb::wiz;

namespace {

// "GIF+" a ticked entry, "JPG-" an unticked one.
void SetEntries(QListWidget* list, const QStringList& entries) {
  list->clear();
  for (const QString& e : entries) {
    auto* item = new QListWidgetItem(e.chopped(1), list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(e.endsWith('+') ? Qt::Checked : Qt::Unchecked);
  }
}

QStringList Entries(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i)
    out << list->item(i)->text() + (list->item(i)->checkState() == Qt::Checked ? "+" : "-");
  return out;
}

// The dialogs shown, as "InputText|caption|prompt|initial", "ShowError|text"
// or "Confirm|text".
QStringList Dialogs(const TFakeDesktop& desktop) {
  QStringList out;
  for (const TDesktopCall& c : desktop.Calls) {
    QString line = QString::fromStdString(c.Kind);
    if (c.Kind == "InputText")
      line += "|" + QString::fromStdString(c.Caption) + "|" + QString::fromStdString(c.Text) + "|" +
              QString::fromStdString(c.Initial);
    else
      line += "|" + QString::fromStdString(c.Text);
    out << line;
  }
  return out;
}

// A double click as the user makes it: a click, then the second press.
void DoubleClick(QListWidget* list, QPoint at) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

const QString kAdd = "InputText|Add new Extension|Extension|";
const QString kEdit = "InputText|Edit Extension Name|Extension Name|";
const QString kInvalid = "ShowError|You should enter a valid name.";
const QString kDuplicate = "ShowError|You already have a Extension name. Please enter a new name.";

}  // namespace

class ExtensionLists : public QObject {
  Q_OBJECT

 private slots:
  void dialogs_data() {
    QTest::addColumn<bool>("include");
    QTest::addColumn<QString>("action");  // add, edit, delete, dblclick-item, dblclick-empty
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("selected");         // -1: none
    QTest::addColumn<QStringList>("answers");  // text answers; "<cancel>" cancels; "yes"/"no"
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QStringList>("dialogs");

    const QStringList two = {"GIF+", "JPG-"};
    const QString cancel = "<cancel>";
    for (bool include : {true, false}) {
      const QString l = include ? "include " : "exclude ";
      const QString noneToDelete =
          include
              ? "ShowError|You dont have any Extension to Delete. \r\n\r\nAdd some before deleting."
              : "ShowError|You dont have any Extensions to Delete. \r\n\r\nAdd some before "
                "deleting.";
      const QString confirm = include
                                  ? "Confirm|Do you really want to delete the selected Extension ?"
                                  : "Confirm|Do you really want to delete the selected Extension?";
      auto row = [&](const char* name) -> QTestData& {
        return QTest::newRow(qPrintable(l + name)) << include;
      };
      row("add cancelled") << "add" << two << -1 << QStringList{cancel} << two << QStringList{kAdd};
      row("add blank") << "add" << two << -1 << QStringList{"  "} << two
                       << QStringList{kAdd, kInvalid};
      row("add duplicate") << "add" << two << -1 << QStringList{" jpg "} << two
                           << QStringList{kAdd, kDuplicate};
      row("add kept as typed") << "add" << two << 0 << QStringList{" mov"}
                               << QStringList{"GIF+", "JPG-", " mov-"} << QStringList{kAdd};
      row("edit empty list") << "edit" << QStringList{} << -1 << QStringList{} << QStringList{}
                             << QStringList{
                                    "ShowError|You dont have any Extensions to Edit. "
                                    "\r\n\r\nAdd some before editing."};
      row("edit nothing selected")
          << "edit" << two << -1 << QStringList{} << two
          << QStringList{"ShowError|Please select a Extension before trying to edit."};
      row("edit cancelled") << "edit" << two << 1 << QStringList{cancel} << two
                            << QStringList{kEdit + "JPG"};
      row("edit to own text") << "edit" << two << 1 << QStringList{"jpg "}
                              << QStringList{"GIF+", "jpg -"} << QStringList{kEdit + "JPG"};
      row("edit to other entry") << "edit" << two << 1 << QStringList{" Gif"} << two
                                 << QStringList{kEdit + "JPG", kDuplicate};
      row("edit blank") << "edit" << two << 0 << QStringList{""} << two
                        << QStringList{kEdit + "GIF", kInvalid};
      row("edit keeps tick and place") << "edit" << two << 0 << QStringList{"PNG"}
                                       << QStringList{"PNG+", "JPG-"} << QStringList{kEdit + "GIF"};
      row("delete empty list") << "delete" << QStringList{} << -1 << QStringList{} << QStringList{}
                               << QStringList{noneToDelete};
      row("delete nothing selected")
          << "delete" << two << -1 << QStringList{} << two
          << QStringList{"ShowError|Please select a Extension before trying to delete."};
      row("delete answered no") << "delete" << two << 0 << QStringList{"no"} << two
                                << QStringList{confirm};
      row("delete answered yes") << "delete" << two << 0 << QStringList{"yes"}
                                 << QStringList{"JPG-"} << QStringList{confirm};
      row("double click on entry") << "dblclick-item" << two << -1 << QStringList{"TIF"}
                                   << QStringList{"GIF+", "TIF-"} << QStringList{kEdit + "JPG"};
      row("double click, nothing selected")
          << "dblclick-empty" << two << -1 << QStringList{} << two
          << QStringList{"ShowError|Please select a Extension before trying to edit."};
    }
  }
  void dialogs() {
    QFETCH(bool, include);
    QFETCH(QString, action);
    QFETCH(QStringList, before);
    QFETCH(int, selected);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, after);
    QFETCH(QStringList, dialogs);

    TKeyStore store;
    TFakeDesktop desktop;
    TfrmOEMain form(desktop, store, TestOptions());
    form.show();
    form.ShowPage(form.Options);
    QListWidget* list = include ? form.lbIncludeExtensions : form.lbExcludeExtensions;
    SetEntries(list, before);
    list->setCurrentRow(selected);
    if (selected < 0) list->clearSelection();
    for (const QString& a : answers) {
      if (a == "yes" || a == "no")
        desktop.ConfirmAnswers.push_back(a == "yes");
      else if (a == "<cancel>")
        desktop.TextAnswers.push_back(std::nullopt);
      else
        desktop.TextAnswers.push_back(a);
    }
    desktop.Clear();

    if (action == "add")
      include ? form.btIncludeExtAddClick() : form.btExcludeExtAddClick();
    else if (action == "edit")
      include ? form.btIncludeExtEditClick() : form.btExcludeExtEditClick();
    else if (action == "delete")
      include ? form.btIncludeExtDeleteClick() : form.btExcludeExtDeleteClick();
    else
      DoubleClick(list, action == "dblclick-item" ? list->visualItemRect(list->item(1)).center()
                                                  : QPoint(5, list->viewport()->height() - 3));

    QCOMPARE(Entries(list), after);
    QCOMPARE(Dialogs(desktop), dialogs);
  }
};
QB_WIZARD_TEST(ExtensionLists);

}  // namespace qb::wiztest

#include "extlists_test.moc"
