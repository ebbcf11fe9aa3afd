// The include and exclude extension lists of the Options page: loading and
// storing them, and their Add, Edit and Delete buttons.
#include <QEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <functional>

#include "platform/codepage.h"
#include "platform/keystore.h"
#include "wizard/desktop.h"
#include "wizard/extrules.h"
#include "wizard/oMain.h"
#include "wizard/uitext.h"

namespace qb::wiz {

namespace {

// The dialogs' texts as the user reads them.
QString Q(std::string_view text) {
  return Tr(text);
}

void Fill(QListWidget* list, const TExtList& entries) {
  list->clear();
  for (const TExtEntry& e : entries) {
    auto* item = new QListWidgetItem(QString::fromStdString(ToUtf8Edge(e.Text)), list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(e.Checked ? Qt::Checked : Qt::Unchecked);
  }
}

TExtList Entries(const QListWidget* list) {
  TExtList entries;
  for (int i = 0; i < list->count(); ++i) {
    const QListWidgetItem* item = list->item(i);
    entries.push_back({item->text().toStdString(), item->checkState() == Qt::Checked});
  }
  return entries;
}

// The selected entry's row, -1 when none is selected.
int SelectedRow(const QListWidget* list) {
  const QListWidgetItem* current = list->currentItem();
  if (current && current->isSelected()) return list->row(current);
  const auto selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->row(selected.front());
}

void AddEntry(TfrmOEMain& form, QListWidget* list) {
  auto text = form.Desktop().InputText(&form, Q(kAddCaption), Q(kAddPrompt), QString());
  if (!text) return;
  if (auto error = CheckExtensionText(Entries(list), text->toStdString())) {
    form.Desktop().ShowError(&form, Q(*error));
    return;
  }
  auto* item = new QListWidgetItem(*text, list);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(Qt::Unchecked);
}

void EditEntry(TfrmOEMain& form, QListWidget* list) {
  if (list->count() == 0) return form.Desktop().ShowError(&form, Q(kNothingToEdit));
  const int row = SelectedRow(list);
  if (row < 0) return form.Desktop().ShowError(&form, Q(kSelectToEdit));
  auto text =
      form.Desktop().InputText(&form, Q(kEditCaption), Q(kEditPrompt), list->item(row)->text());
  if (!text) return;
  if (auto error = CheckExtensionText(Entries(list), text->toStdString(), row)) {
    form.Desktop().ShowError(&form, Q(*error));
    return;
  }
  list->item(row)->setText(*text);
}

void DeleteEntry(TfrmOEMain& form, QListWidget* list, TExtListKind kind) {
  if (list->count() == 0) return form.Desktop().ShowError(&form, Q(NothingToDeleteMessage(kind)));
  const int row = SelectedRow(list);
  if (row < 0) return form.Desktop().ShowError(&form, Q(kSelectToDelete));
  if (form.Desktop().Confirm(&form, Q(ConfirmDeleteMessage(kind)))) delete list->takeItem(row);
}

// A double click on a list's empty area edits too (and so reports that no
// entry is selected); a double click on an entry reaches Edit through the
// list's own signal.
class TEmptyAreaDoubleClick : public QObject {
 public:
  TEmptyAreaDoubleClick(QListWidget* list, std::function<void()> edit)
      : QObject(list), list_(list), edit_(std::move(edit)) {
    setObjectName(QStringLiteral("emptyAreaDoubleClick"));
    list->viewport()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonDblClick &&
        !list_->itemAt(static_cast<QMouseEvent*>(event)->position().toPoint()))
      edit_();
    return false;
  }

 private:
  QListWidget* list_;
  std::function<void()> edit_;
};

}  // namespace

void TfrmOEMain::InitExtensionLists() {
  if (!lbIncludeExtensions->findChild<QObject*>(QStringLiteral("emptyAreaDoubleClick"))) {
    new TEmptyAreaDoubleClick(lbIncludeExtensions, [this] { btIncludeExtEditClick(); });
    new TEmptyAreaDoubleClick(lbExcludeExtensions, [this] { btExcludeExtEditClick(); });
  }
  TExtLists lists;
  try {
    lists = InitOrLoadExtLists(Registry());
  } catch (const std::exception&) {
    // The store could not be written: the shipped lists are shown all the same.
    lists.Include = ShippedExtList(TExtListKind::Include);
    lists.Exclude = ShippedExtList(TExtListKind::Exclude);
  }
  Fill(lbIncludeExtensions, lists.Include);
  Fill(lbExcludeExtensions, lists.Exclude);
  if (!lists.Error.empty()) Desktop().ShowError(this, QString::fromStdString(lists.Error));
}

void TfrmOEMain::LoadExtensionLists() {
  Fill(lbIncludeExtensions, LoadExtList(Registry(), TExtListKind::Include));
  Fill(lbExcludeExtensions, LoadExtList(Registry(), TExtListKind::Exclude));
}

void TfrmOEMain::StoreExtensionLists() {
  try {
    TKeyStore::TBatch batch(Registry());
    StoreExtList(Registry(), TExtListKind::Include, Entries(lbIncludeExtensions));
    StoreExtList(Registry(), TExtListKind::Exclude, Entries(lbExcludeExtensions));
  } catch (const std::exception&) {
  }
}

void TfrmOEMain::btIncludeExtAddClick() {
  AddEntry(*this, lbIncludeExtensions);
}
void TfrmOEMain::btIncludeExtEditClick() {
  EditEntry(*this, lbIncludeExtensions);
}
void TfrmOEMain::btIncludeExtDeleteClick() {
  DeleteEntry(*this, lbIncludeExtensions, TExtListKind::Include);
}
void TfrmOEMain::btExcludeExtAddClick() {
  AddEntry(*this, lbExcludeExtensions);
}
void TfrmOEMain::btExcludeExtEditClick() {
  EditEntry(*this, lbExcludeExtensions);
}
void TfrmOEMain::btExcludeExtDeleteClick() {
  DeleteEntry(*this, lbExcludeExtensions, TExtListKind::Exclude);
}

}  // namespace qb::wiz
