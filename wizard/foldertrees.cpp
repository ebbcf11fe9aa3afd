// Selecting and finding folders in the folder trees: Select All, Unselect
// All, Inverse, Find, Find Next, double click, and the tests for a ticked
// folder that Next makes.
#include <QLocale>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "platform/text.h"
#include "wizard/desktop.h"
#include "wizard/foldertrees.h"
#include "wizard/oMain.h"
#include "wizard/uitext.h"

namespace qb::wiz {

bool FolderNameMatches(const QString& name, const QString& findText) {
  const QLocale locale;
  return locale.toUpper(name).contains(locale.toUpper(findText));
}

std::vector<QTreeWidgetItem*> TreeItemsInOrder(QTreeWidget* tree) {
  std::vector<QTreeWidgetItem*> items;
  if (!tree) return items;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) items.push_back(*it);
  return items;
}

namespace {

enum class TTickChange { All, None, Inverse };

void ChangeTicks(QTreeWidget* tree, TTickChange change) {
  if (!tree) return;
  for (TFolderItem* item : AllFolderItems(tree)) {
    switch (change) {
      case TTickChange::All:
        item->SetTicked(true);
        break;
      case TTickChange::None:
        item->SetTicked(false);
        break;
      case TTickChange::Inverse:
        item->SetTicked(!item->Ticked());
        break;
    }
  }
}

// The match becomes the current item, scrolled into view, with the keyboard
// focus on the tree.
void FocusMatch(QTreeWidget* tree, QTreeWidgetItem* match) {
  if (QTreeWidgetItem* previous = tree->currentItem()) previous->setSelected(false);
  tree->scrollToItem(match);
  tree->setCurrentItem(match);
  match->setSelected(true);
  tree->setFocus(Qt::OtherFocusReason);
}

// The first item from index first on whose text contains findText.
QTreeWidgetItem* FindFrom(QTreeWidget* tree, size_t first, const QString& findText) {
  const std::vector<QTreeWidgetItem*> items = TreeItemsInOrder(tree);
  for (size_t i = first; i < items.size(); ++i)
    if (FolderNameMatches(items[i]->text(0), findText)) return items[i];
  return nullptr;
}

}  // namespace

void TfrmOEMain::btFolderSelectAllClick() {
  ChangeTicks(CurrentFolderTree(), TTickChange::All);
}

void TfrmOEMain::btFolderUnselectAllClick() {
  ChangeTicks(CurrentFolderTree(), TTickChange::None);
}

void TfrmOEMain::btFolderInverseClick() {
  ChangeTicks(CurrentFolderTree(), TTickChange::Inverse);
}

void TfrmOEMain::ElTreeOEDblClick(QTreeWidgetItem* item) {
  QTreeWidget* tree = item ? item->treeWidget() : nullptr;
  if (!tree) return;
  if (TFolderItem* focused = TFolderItem::From(tree->currentItem()))
    focused->SetTicked(!focused->Ticked());
}

void TfrmOEMain::btFindClick() {
  auto text = Desktop().InputText(this, Tr("Find a Mailbox"), Tr("Enter a Mailbox name (partial)"),
                                  QString::fromStdString(FindText));
  if (!text) return;
  const std::string trimmed = Trim(text->toStdString());
  if (trimmed.empty()) return;
  FindText = trimmed;
  QTreeWidget* tree = CurrentFolderTree();
  if (!tree) return;
  if (QTreeWidgetItem* match = FindFrom(tree, 0, QString::fromStdString(FindText)))
    FocusMatch(tree, match);
}

void TfrmOEMain::btFindNextClick() {
  if (IsBlank(FindText)) return btFindClick();
  QTreeWidget* tree = CurrentFolderTree();
  if (!tree || !tree->currentItem()) return;
  const std::vector<QTreeWidgetItem*> items = TreeItemsInOrder(tree);
  size_t at = 0;
  while (at < items.size() && items[at] != tree->currentItem()) ++at;
  if (QTreeWidgetItem* match = FindFrom(tree, at + 1, QString::fromStdString(FindText)))
    FocusMatch(tree, match);
}

bool TfrmOEMain::isOEItemsChecked() const {
  for (TFolderItem* item : AllFolderItems(ElTreeOE))
    if (item->Ticked()) return true;
  return false;
}

bool TfrmOEMain::isOutlookItemsChecked() const {
  for (TFolderItem* item : AllFolderItems(ElTreeOutLook))
    if (item->HasCheckBox() && item->Ticked()) return true;
  return false;
}

}  // namespace qb::wiz
