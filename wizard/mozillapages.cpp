// The Netscape/Mozilla/Thunderbird pages: profiles, the mailbox tree, and
// what a run from them prepares.
//
// For now no profile is found and the pages only switch their controls.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "wizard/oMain.h"

namespace qb::wiz {

void TfrmOEMain::rbNSChooseFolderClick() {
  const bool profile = rbNSChooseProfile->isChecked();
  txtNSCustomFolder->setEnabled(!profile);
  btChooseNSCustomFolder->setEnabled(!profile);
  elNSProfileList->setEnabled(profile);
}

void TfrmOEMain::btChooseNSCustomFolderClick() {}

void TfrmOEMain::FillNSProfileList(int) {
  elNSProfileList->clear();
}

bool TfrmOEMain::processChooseNSFolder(int) {
  return false;
}

void TfrmOEMain::ProcessNSExtraction() {}

}  // namespace qb::wiz
