// Next and Back, the source pages, building the Outlook Express and Outlook
// folder trees, and the checks made before a run starts.
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <unordered_map>

#include "oestore/folderlist.h"
#include "oestore/identities.h"
#include "outlook/pstprovider.h"
#include "platform/codepage.h"
#include "platform/keystore.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "wizard/desktop.h"
#include "wizard/oMain.h"
#include "wizard/periphery.h"
#include "wizard/uitext.h"

namespace qb::wiz {

namespace {

const char* const kNoFolderTicked =
    N_("Please select atleast one Mail Folder before proceeding to the next step");
const char* const kNoFoldersDbx =
    N_("Selected Folder doesnt seems to have the folders.dbx of Outlook Express.");
const char* const kProfileNotSelected =
    N_("Profile not selected. Please select a folder before proceeding.");
const char* const kProfileEmpty = N_("Profile doesnt have any mails.");
const char* const kDestinationFailed =
    N_("Unable to Create the Destination directory.\r\n\r\nPlease select a new directory");

// The key-store value under which the .pst file chosen in the wizard is kept.
std::string NewStoreValueName(const TKeyStore& store) {
  for (int n = 1;; ++n) {
    std::string name = "Store" + std::to_string(n);
    if (!store.ValueExists(kOutlookStoresKey, name)) return name;
  }
}

// Copies one item of the Outlook tree model, with its children, below parent
// (or at the top of tree when parent is nullptr).
void AddOutlookItem(QTreeWidget* tree, TFolderItem* parent, TOutlookTreeItem& model) {
  auto* item = new TFolderItem;
  item->setText(0, UiText(model.Caption));
  item->Outlook = model.Data;
  if (model.Data) item->Tag = static_cast<std::int64_t>(model.Data->Id);
  item->SetCheckBox(model.HasCheckBox);
  item->SetTicked(model.Checked);
  if (parent)
    parent->addChild(item);
  else
    tree->addTopLevelItem(item);
  for (auto& child : model.Children) AddOutlookItem(tree, item, *child);
}

}  // namespace

QString UiText(const std::string& bytes) {
  return QString::fromStdString(ToUtf8Edge(bytes));
}

std::string FromUi(const QString& text) {
  return text.toStdString();
}

// ---- Next ------------------------------------------------------------------------

void TfrmOEMain::btNextClick() {
  QWidget* page = nbOE->currentWidget();
  if (page == Welcome) {
    if (rbOE->isChecked()) {
      ShowPage(OEChoose);
      btBack->setEnabled(true);
      FillOEProfileList();
    } else if (rbOutlook->isChecked()) {
      if (ConnectOutlook()) {
        ShowPage(OutlookChoose);
        btBack->setEnabled(true);
      } else {
        desktop_.ShowError(this, Tr(kOutlookUnavailableMessage));
      }
    } else if (rbNS->isChecked() || rbTB->isChecked()) {
      ShowPage(NetscapeChoose);
      btBack->setEnabled(true);
      FillNSProfileList(rbNS->isChecked() ? 0 : 1);
    } else if (rbLocalMail->isChecked()) {
      BuildLocalFolderTree();
      ShowPage(LocalFolderSelect);
      btBack->setEnabled(true);
    }
    // rbMbox and rbEML have no page of their own: nothing happens.
  } else if (page == OEChoose) {
    if (processChooseOEFolder()) ShowPage(OEFolderSelect);
  } else if (page == OEFolderSelect) {
    StoreFolderSelection(ElTreeOE, "OEFolderSelection");
    if (!isOEItemsChecked())
      desktop_.ShowError(this, Tr(kNoFolderTicked));
    else if (rbOE->isChecked())
      ShowPage(Options);
  } else if (page == OutlookChoose) {
    StoreFolderSelection(ElTreeOutLook, "OutlookFolderSelection");
    if (isOutlookItemsChecked() && rbOutlook->isChecked())
      ShowPage(Options);
    else
      desktop_.ShowError(this, Tr(kNoFolderTicked));
  } else if (page == NetscapeChoose) {
    if (rbNS->isChecked() || rbTB->isChecked()) {
      if (processChooseNSFolder(rbNS->isChecked() ? 0 : 1))
        ShowPage(NSFolderSelect);
      else
        desktop_.ShowError(this, Tr("Error"));
    }
  } else if (page == NSFolderSelect) {
    if (rbNS->isChecked() || rbTB->isChecked()) {
      StoreFolderSelection(ElTreeNS, rbNS->isChecked() ? "NSFolderSelection" : "TBFolderSelection");
      ShowPage(Options);
    }
  } else if (page == LocalFolderSelect) {
    StoreFolderSelection(ElTreeLocal, "LocalFolderSelection");
    if (isLocalItemsChecked() && rbLocalMail->isChecked())
      ShowPage(Options);
    else
      desktop_.ShowError(this, Tr(kNoFolderTicked));
  } else if (page == Options) {
    ShowPage(Options2);
  } else if (page == Options2) {
    StartRun();
  } else if (page == Processing) {
    close();
  }
}

// ---- Back ------------------------------------------------------------------------

void TfrmOEMain::btBackClick() {
  QWidget* page = nbOE->currentWidget();
  if (page == OEFolderSelect) {
    ShowPage(OEChoose);
  } else if (page == OEChoose || page == OutlookChoose || page == NetscapeChoose ||
             page == LocalFolderSelect) {
    ShowPage(Welcome);
    btBack->setEnabled(false);
  } else if (page == NSFolderSelect) {
    ShowPage(NetscapeChoose);
  } else if (page == Options) {
    if (rbOE->isChecked())
      ShowPage(OEFolderSelect);
    else if (rbNS->isChecked() || rbTB->isChecked())
      ShowPage(NSFolderSelect);
    else if (rbOutlook->isChecked())
      ShowPage(OutlookChoose);
    else if (rbLocalMail->isChecked())
      ShowPage(LocalFolderSelect);
  } else if (page == Options2) {
    ShowPage(Options);
  } else if (page == Processing) {
    btHelp->show();
    btToTray->hide();
    ShowPage(Welcome);
    btBack->setEnabled(false);
    txtLogs->clear();
    btNext->setText(Tr("Next >"));
  }
}

// ---- OEChoose ----------------------------------------------------------------------

void TfrmOEMain::rbOEChooseProfileClick() {
  const bool profile = rbOEChooseProfile->isChecked();
  txtOECustomFolder->setEnabled(!profile);
  btChooseOECustomFolder->setEnabled(!profile);
  elOEProfileList->setEnabled(profile);
}

void TfrmOEMain::rbOEChooseFolderClick() {
  rbOEChooseProfileClick();
}

void TfrmOEMain::btChooseOECustomFolderClick() {
  if (std::optional<QString> dir = desktop_.BrowseDirectory(
          this, Tr("Select the Outlook Express Mail Folder"), txtOECustomFolder->text()))
    txtOECustomFolder->setText(*dir);
}

void TfrmOEMain::FillOEProfileList() {
  elOEProfileList->clear();
  std::vector<std::string> names, roots;
  ListOEIdentities(names, roots, store_);
  for (size_t i = 0; i < names.size() && i < roots.size(); ++i)
    new QTreeWidgetItem(elOEProfileList, {UiText(names[i]), UiText(roots[i])});
  if (elOEProfileList->topLevelItemCount() > 0)
    elOEProfileList->setCurrentItem(elOEProfileList->topLevelItem(0));
}

bool TfrmOEMain::processChooseOEFolder() {
  if (rbOEChooseFolder->isChecked()) {
    StoreFolder = Trim(FromUi(txtOECustomFolder->text()));
    // Stores copied from Windows may spell it "Folders.dbx".
    if (StoreFolder.empty() || !FileExists(ResolveNoCase(StoreFolder, "folders.dbx"))) {
      desktop_.ShowError(this, Tr(kNoFoldersDbx));
      return false;
    }
  } else {
    QTreeWidgetItem* row = elOEProfileList->currentItem();
    if (!row) {
      desktop_.ShowError(this, Tr(kProfileNotSelected));
      return false;
    }
    const std::string dir = Trim(FromUi(row->text(1)));
    if (dir == kEmptyProfileRoot) {
      desktop_.ShowError(this, Tr(kProfileEmpty));
      return false;
    }
    StoreFolder = dir;
  }
  try {
    BuildOEFolderTree();
  } catch (const std::exception& e) {
    // The folder list could not be read: its own message, and the page stays.
    desktop_.ShowError(this, UiText(e.what()));
    return false;
  }
  ShowPage(OEFolderSelect);
  return true;
}

void TfrmOEMain::BuildOEFolderTree() {
  btBack->setEnabled(true);
  std::vector<Toe5_FolderInfo> folders = LoadOEFolderList(StoreFolder);
  // Folders without a message file never appear.
  std::erase_if(folders, [](const Toe5_FolderInfo& f) { return IsBlank(f.FileName); });
  ElTreeOE->clear();
  // The first item made for each folder id: a child goes below it.
  std::unordered_map<std::int32_t, TFolderItem*> byTag;
  const QLocale locale;
  for (Toe5_FolderInfo& folder : folders) {
    auto* item = new TFolderItem;
    item->setText(0, UiText(folder.FolderName));
    item->Tag = folder.FolderId;
    item->SetCheckBox(true);
    item->SetTicked(IsFolderSelected("OEFolderSelection", Trim(folder.FileName)));
    const auto parent = byTag.find(folder.ParentId);
    if (parent != byTag.end())
      parent->second->addChild(item);
    else if (locale.toUpper(item->text(0)) == QStringLiteral("INBOX"))
      ElTreeOE->insertTopLevelItem(0, item);
    else
      ElTreeOE->addTopLevelItem(item);
    byTag.emplace(folder.FolderId, item);
    item->OE = std::make_unique<Toe5_FolderInfo>(std::move(folder));
  }
  ElTreeOE->expandAll();
}

// ---- Outlook ----------------------------------------------------------------------

bool TfrmOEMain::ConnectOutlook() {
  ElTreeOutLook->clear();
  // Outlook's stores are the configured .pst files; without one, ask for it.
  std::string addedValue;
  if (options_.PstOutlook && ConfiguredPstStores().empty()) {
    const std::optional<QString> file =
        desktop_.OpenFile(this, Tr("Open Outlook Data File"),
                          Tr("Outlook Data Files (*.pst)|*.pst|All Files|*.*"), QString());
    if (!file || file->isEmpty()) return false;
    try {
      addedValue = NewStoreValueName(UserKeyStore());
      UserKeyStore().WriteString(kOutlookStoresKey, addedValue, FromUi(*file));
    } catch (const std::exception&) {
      return false;
    }
  }

  TOutlookTree model;
  TOutlookLoadHost host;
  host.ShowProgress = [this](const std::string& caption, const std::string& text) {
    frmProgress->ShowProgress(Tr(caption.c_str()), Tr(text.c_str()));
  };
  host.SetProgressText = [this](const std::string& text) {
    frmProgress->SetStatus(Tr(text.c_str()));
  };
  host.HideProgress = [this] { frmProgress->HideProgress(); };
  host.ProcessMessages = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); };
  host.RememberedTick = [this](const std::string& path) {
    return IsFolderSelected("OutlookFolderSelection", path) ? std::string("y") : std::string("n");
  };
  host.InitialWaitMs = options_.OutlookInitialWaitMs;
  bool ok = false;
  try {
    ok = LoadOutlookFolders(model, host);
  } catch (const std::exception&) {
    frmProgress->HideProgress();
    ok = false;
  }
  if (!ok) {
    // A file that does not open as a store is not kept as one.
    if (!addedValue.empty()) UserKeyStore().DeleteValue(kOutlookStoresKey, addedValue);
    return false;
  }
  for (auto& top : model.Items) AddOutlookItem(ElTreeOutLook, nullptr, *top);
  ElTreeOutLook->expandAll();
  return true;
}

// ---- Options2 and the run start ----------------------------------------------------------

void TfrmOEMain::btSaveDirClick() {
  if (std::optional<QString> dir =
          desktop_.BrowseDirectory(this, Tr("Please select a Directory."), txtOEDir->text()))
    txtOEDir->setText(*dir);
}

void TfrmOEMain::Button2Click() {
  if (std::optional<QString> file = desktop_.OpenFile(
          this, QString(), Tr("Wave Files|*.wav|All Files|*.*"), txtWavFile->text()))
    txtWavFile->setText(*file);
}

std::string TfrmOEMain::DestinationDir() const {
  return IncludeTrailingSlash(Trim(FromUi(txtOEDir->text())));
}

int TfrmOEMain::LayoutIndex() {
  const QRadioButton* order[] = {rb_DA_SU_OF,    rb_DA_SE_SU_OF, rb_SE_DA_OF, rb_SE_DA_SU_OF,
                                 rb_SU_DA_SE_OF, rb_SU_SE_DA_OF, rb_DA_OF};
  for (int i = 0; i < 7; ++i)
    if (order[i]->isChecked()) return i;
  rb_DA_SU_OF->setChecked(true);
  return 0;
}

QTreeWidget* TfrmOEMain::CurrentFolderTree() const {
  if (rbOutlook->isChecked()) return ElTreeOutLook;
  if (rbOE->isChecked()) return ElTreeOE;
  if (rbNS->isChecked() || rbTB->isChecked()) return ElTreeNS;
  if (rbLocalMail->isChecked()) return ElTreeLocal;
  return nullptr;
}

void TfrmOEMain::StartRun() {
  const std::string dest = DestinationDir();
  if (dest.empty() || (!DirectoryExists(dest) && !ForceDirectories(dest))) {
    desktop_.ShowError(this, Tr(kDestinationFailed));
    txtOEDir->setFocus(Qt::OtherFocusReason);
    return;
  }
  btHelp->hide();
  btToTray->show();
  btBack->setEnabled(false);
  btNext->setEnabled(false);
  txtLogs->clear();
  IncludeExtList.clear();
  ExcludeExtList.clear();
  RunFolderList.clear();
  const QLocale locale;
  auto build = [&](QListWidget* list, std::vector<std::string>& out) {
    for (int i = 0; i < list->count(); ++i) {
      QListWidgetItem* entry = list->item(i);
      if (entry->checkState() != Qt::Checked) continue;
      out.push_back("." + FromUi(locale.toUpper(UiText(Trim(FromUi(entry->text()))))));
    }
  };
  build(lbIncludeExtensions, IncludeExtList);
  build(lbExcludeExtensions, ExcludeExtList);
  if (rbOE->isChecked()) {
    ProcessOEExtraction();
  } else if (rbNS->isChecked() || rbTB->isChecked()) {
    ProcessNSExtraction();
  } else if (!rbTB->isChecked() && rbOutlook->isChecked()) {
    ProcessOutlookExtraction();
  } else if (rbLocalMail->isChecked()) {
    ProcessLocalExtraction();
  } else {
    // No worker exists for this source: nothing runs, so the page is left
    // usable rather than with every way forward and back disabled.
    SetIdleButtons(false);
  }
}

}  // namespace qb::wiz
