// The Netscape/Mozilla/Thunderbird pages: the profile list, the mail
// directory of a profile or of a directly chosen folder, the mailbox tree,
// and the grabbed-addresses window. A run from these pages starts in
// runcontrol.cpp (ProcessNSExtraction) like the other sources' runs.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "mbox/profiles.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "wizard/desktop.h"
#include "wizard/grabber.h"
#include "wizard/oMain.h"
#include "wizard/uitext.h"

namespace qb::wiz {

namespace {

const char* const kProfileNotSelected =
    N_("Profile not selected. Please select a folder before proceeding.");
const char* const kProfileEmpty = N_("Profile doesnt have any mails.");
const char* const kEmptyProfile = "[Empty Profile]";

// The wait cursor and a disabled window while a tree is built.
class TBusyWindow {
 public:
  explicit TBusyWindow(QWidget* window) : window_(window) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    window_->setEnabled(false);
  }
  ~TBusyWindow() {
    window_->setEnabled(true);
    QApplication::restoreOverrideCursor();
  }
  TBusyWindow(const TBusyWindow&) = delete;
  TBusyWindow& operator=(const TBusyWindow&) = delete;

 private:
  QWidget* window_;
};

void AddMailboxItems(QTreeWidget* tree, TFolderItem* parent, int kind,
                     const std::vector<TMailboxItem>& nodes) {
  for (const TMailboxItem& node : nodes) {
    auto* item = new TFolderItem;
    item->setText(0, UiText(node.Name));
    if (node.IsMailbox) {
      item->NS = std::make_unique<TNetscapeFolderInfo>(TNetscapeFolderInfo{kind, node.Path});
      item->SetCheckBox(true);
      item->SetTicked(false);
    } else {
      item->SetCheckBox(false);
    }
    if (parent)
      parent->addChild(item);
    else
      tree->addTopLevelItem(item);
    AddMailboxItems(tree, item, kind, node.Children);
  }
}

}  // namespace

void TfrmOEMain::rbNSChooseFolderClick() {
  const bool profile = rbNSChooseProfile->isChecked();
  txtNSCustomFolder->setEnabled(!profile);
  btChooseNSCustomFolder->setEnabled(!profile);
  elNSProfileList->setEnabled(profile);
}

void TfrmOEMain::btChooseNSCustomFolderClick() {
  const std::optional<QString> dir = desktop_.BrowseDirectory(
      this, Tr("Select the Netscape/Mozilla Mail Folder"), txtNSCustomFolder->text());
  if (dir) txtNSCustomFolder->setText(*dir);
}

void TfrmOEMain::FillNSProfileList(int kind) {
  elNSProfileList->clear();
  for (const TMailProfile& p : ListMailProfiles(static_cast<TMailFamily>(kind)))
    new QTreeWidgetItem(elNSProfileList, {UiText(p.Name), UiText(p.Directory)});
  if (elNSProfileList->topLevelItemCount() > 0)
    elNSProfileList->setCurrentItem(elNSProfileList->topLevelItem(0));
}

bool TfrmOEMain::processChooseNSFolder(int kind) {
  std::string& mailDir = kind == 0 ? NetscapeMailDir : ThunderbirdMailDir;
  std::string profileDir;
  if (rbNSChooseFolder->isChecked()) {
    profileDir = Trim(FromUi(txtNSCustomFolder->text()));
    if (profileDir.empty() || !DirectoryExists(profileDir)) {
      desktop_.ShowError(this, Tr("The folder \"%1\" does not exist. Please choose an existing "
                                  "mail folder.")
                                   .arg(UiText(profileDir)));
      return false;
    }
    mailDir = profileDir;
  } else {
    const QList<QTreeWidgetItem*> rows = elNSProfileList->selectedItems();
    QTreeWidgetItem* row = rows.isEmpty() ? nullptr : rows.first();
    if (!row) {
      desktop_.ShowError(this, Tr(kProfileNotSelected));
      return false;
    }
    profileDir = Trim(FromUi(row->text(1)));
    if (profileDir == kEmptyProfile) {
      desktop_.ShowError(this, Tr(kProfileEmpty));
      return false;
    }
  }
  // A profile's "Mail" (and "ImapMail" beside it); a folder chosen directly
  // that is no profile is taken as the mail directory itself.
  std::vector<std::string> dirs = ProfileMailDirectories(profileDir);
  if (dirs.empty() && rbNSChooseFolder->isChecked()) dirs.push_back(profileDir);
  if (dirs.empty()) return false;
  mailDir = IncludeTrailingSlash(dirs.front());
  {
    TBusyWindow busy(this);
    ElTreeNS->clear();
    for (const std::string& dir : dirs)
      AddMailboxItems(ElTreeNS, nullptr, kind, WalkMailboxTree(dir));
  }
  ElTreeNS->expandAll();
  return true;
}

void TfrmOEMain::btOpenMailsClick() {
  // Modal to the wizard but not blocking here; it frees itself when closed.
  auto* grabber = new TfrmOEGrabber(desktop_, this);
  grabber->setAttribute(Qt::WA_DeleteOnClose);
  grabber->open();
}

}  // namespace qb::wiz
