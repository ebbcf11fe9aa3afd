// Selecting and finding folders in the folder trees, and the two tests for
// a ticked folder.
//
// For now the buttons and double clicks do nothing; the ticks are the
// user's clicks alone.
#include <QTreeWidget>

#include "wizard/oMain.h"

namespace qb::wiz {

void TfrmOEMain::btFolderSelectAllClick() {}
void TfrmOEMain::btFolderUnselectAllClick() {}
void TfrmOEMain::btFolderInverseClick() {}
void TfrmOEMain::btFindClick() {}
void TfrmOEMain::btFindNextClick() {}
void TfrmOEMain::ElTreeOEDblClick(QTreeWidgetItem*) {}

bool TfrmOEMain::isOEItemsChecked() const {
  for (TFolderItem* item : AllFolderItems(ElTreeOE))
    if (item->Ticked()) return true;
  return false;
}

bool TfrmOEMain::isOutlookItemsChecked() const {
  // Ticked store roots (no check box) do not count.
  for (TFolderItem* item : AllFolderItems(ElTreeOutLook))
    if (item->HasCheckBox() && item->Ticked()) return true;
  return false;
}

}  // namespace qb::wiz
