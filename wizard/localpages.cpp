// The page of other mail folders: the Maildir stores found on this machine
// (Evolution, KMail, ~/Maildir, ~/Mail, ~/.mail), the Thunderbird profiles
// kept in maildir format, and the Maildir directories, mbox files and
// directories of .eml files the user adds by hand, as one tree with ticks.
// The paths added by hand are kept under kLocalPathsKey; the ticks under
// "LocalFolderSelection" when Next leaves the page. A folder never stored
// starts unticked, one added by hand ticked.
#include <QDir>
#include <QPushButton>
#include <QTreeWidget>

#include "maildir/discovery.h"
#include "maildir/maildir.h"
#include "mbox/profiles.h"
#include "platform/keystore.h"
#include "platform/paths.h"
#include "wizard/desktop.h"
#include "wizard/oMain.h"
#include "wizard/settingslayout.h"
#include "wizard/uitext.h"

namespace qb::wiz {

namespace {

const char* const kNoMailThere =
    N_("\"%1\" holds no mail: please choose a Maildir folder, an mbox file or a folder of .eml "
       "files.");

// The stored tick of a folder; unknown when it was never stored.
bool RememberedTick(const TKeyStore& store, const std::string& path, bool unknown) {
  const TValuePath value = SelectionValue(kLocalSelectionKey, path);
  try {
    if (!store.ValueExists(value.Key, value.Name)) return unknown;
  } catch (const std::exception&) {
    return unknown;
  }
  return ReadFolderSelection(store, kLocalSelectionKey, path);
}

std::string BaseName(const std::string& path) {
  const std::string p = StripTrailingSlashes(path);
  const std::size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

TFolderItem* NewItem(QTreeWidget* tree, TFolderItem* parent, const std::string& name,
                     const std::string& path, TMailPathKind kind) {
  auto* item = new TFolderItem;
  item->setText(0, UiText(name));
  item->setToolTip(0, UiText(path));
  item->Local = std::make_unique<TLocalFolderInfo>(TLocalFolderInfo{path, kind, ""});
  item->SetCheckBox(kind != TMailPathKind::None);
  if (parent)
    parent->addChild(item);
  else
    tree->addTopLevelItem(item);
  return item;
}

// Adds the tree of a Maildir store or of a Thunderbird mail directory.
void AddMailboxItems(const TKeyStore& store, QTreeWidget* tree, TFolderItem* parent,
                     const std::vector<TMailboxItem>& nodes, bool unknownTick) {
  for (const TMailboxItem& node : nodes) {
    const bool maildir = node.IsMailbox && node.IsMaildir;
    TFolderItem* item = NewItem(tree, parent, node.Name, node.Path,
                                maildir ? TMailPathKind::Maildir : TMailPathKind::None);
    if (maildir) item->SetTicked(RememberedTick(store, node.Path, unknownTick));
    AddMailboxItems(store, tree, item, node.Children, unknownTick);
  }
}

// Leaves the Maildir folders of a Thunderbird mail directory and what holds
// them: its mbox files are the Thunderbird source's.
void KeepMaildirFolders(std::vector<TMailboxItem>& nodes) {
  for (TMailboxItem& node : nodes) KeepMaildirFolders(node.Children);
  std::erase_if(nodes, [](const TMailboxItem& n) { return !n.IsMaildir && n.Children.empty(); });
  for (TMailboxItem& node : nodes)
    if (!node.IsMaildir) node.IsMailbox = false;
}

// The item whose folder is path, nullptr for none.
TFolderItem* FindPath(QTreeWidget* tree, const std::string& path) {
  for (TFolderItem* item : AllFolderItems(tree))
    if (item->Local && item->Local->Path == path) return item;
  return nullptr;
}

void TickAll(TFolderItem* item) {
  if (item->HasCheckBox()) item->SetTicked(true);
  for (int i = 0; i < item->childCount(); ++i)
    if (TFolderItem* child = TFolderItem::From(item->child(i))) TickAll(child);
}

enum class TAdded { NoMail, New, Known };

// The items of what a path holds, at the top of the tree. byHand: just
// chosen by the user, so shown ticked; else the stored ticks apply.
TAdded AddPathItems(const TKeyStore& store, QTreeWidget* tree, const std::string& path, bool byHand,
                    TFolderItem** shown) {
  const TMailPath what = ClassifyMailPath(path);
  if (what.Kind == TMailPathKind::None) return TAdded::NoMail;
  const std::string top =
      what.Kind == TMailPathKind::Maildir ? what.Path : StripTrailingSlashes(path);
  if (TFolderItem* known = FindPath(tree, what.Path)) {
    if (byHand) TickAll(known);
    *shown = known;
    return TAdded::Known;
  }
  TFolderItem* item = nullptr;
  if (what.Kind == TMailPathKind::Maildir) {
    item = NewItem(tree, nullptr, BaseName(top), what.Path, TMailPathKind::None);
    AddMailboxItems(store, tree, item, MaildirMailboxTree(ListMaildirFolders(what.Path)), true);
    if (byHand) TickAll(item);
  } else {
    item = NewItem(tree, nullptr, BaseName(top), what.Path, what.Kind);
    item->SetTicked(byHand || RememberedTick(store, what.Path, true));
  }
  item->Local->AddedAs = path;
  *shown = item;
  return TAdded::New;
}

std::vector<std::string> AddedPaths(const TKeyStore& store) {
  std::vector<std::string> paths;
  try {
    for (int n = 1;; ++n) {
      const std::string name = "Path" + std::to_string(n);
      if (!store.ValueExists(kLocalPathsKey, name)) break;
      paths.push_back(store.ReadString(kLocalPathsKey, name));
    }
  } catch (const std::exception&) {
    // what could be read is shown
  }
  return paths;
}

void KeepAddedPath(TKeyStore& store, const std::string& path) {
  const std::vector<std::string> known = AddedPaths(store);
  for (const std::string& p : known)
    if (p == path) return;
  try {
    store.WriteString(kLocalPathsKey, "Path" + std::to_string(known.size() + 1), path);
  } catch (const std::exception&) {
    // a store that cannot be written shows the path this time only
  }
}

// Takes path off the kept list; the others keep their order.
void ForgetAddedPath(TKeyStore& store, const std::string& path) {
  std::vector<std::string> kept = AddedPaths(store);
  const std::size_t before = kept.size();
  std::erase(kept, path);
  if (kept.size() == before) return;
  try {
    for (std::size_t n = 0; n < before; ++n) {
      const std::string name = "Path" + std::to_string(n + 1);
      if (n < kept.size())
        store.WriteString(kLocalPathsKey, name, kept[n]);
      else
        store.DeleteValue(kLocalPathsKey, name);
    }
  } catch (const std::exception&) {
    // a store that cannot be written shows the path again at the next start
  }
}

// The item of a path added by hand that is current, nullptr for none.
TFolderItem* CurrentAddedItem(QTreeWidget* tree) {
  TFolderItem* item = TFolderItem::From(tree->currentItem());
  return item && !item->parent() && item->Local && !item->Local->AddedAs.empty() ? item : nullptr;
}

}  // namespace

void TfrmOEMain::BuildLocalFolderTree() {
  ElTreeLocal->clear();
  const TKeyStore& store = Registry();
  for (const TMaildirStore& found : ListMaildirStores()) {
    TFolderItem* top = NewItem(ElTreeLocal, nullptr, found.Name, found.Path, TMailPathKind::None);
    AddMailboxItems(store, ElTreeLocal, top, MaildirMailboxTree(ListMaildirFolders(found.Path)),
                    false);
  }
  for (const TMailProfile& profile : ListMailProfiles(TMailFamily::Thunderbird)) {
    TFolderItem* top = nullptr;
    for (const std::string& dir : ProfileMailDirectories(profile.Directory)) {
      std::vector<TMailboxItem> boxes = WalkMailboxTree(dir);
      KeepMaildirFolders(boxes);
      if (boxes.empty()) continue;
      if (!top)
        top = NewItem(ElTreeLocal, nullptr, profile.Name + " (Thunderbird)", profile.Directory,
                      TMailPathKind::None);
      TFolderItem* parent = top;
      if (BaseName(dir) != "Mail")
        parent = NewItem(ElTreeLocal, top, BaseName(dir), dir, TMailPathKind::None);
      AddMailboxItems(store, ElTreeLocal, parent, boxes, false);
    }
  }
  for (const std::string& path : AddedPaths(store)) {
    TFolderItem* shown = nullptr;
    AddPathItems(store, ElTreeLocal, path, false, &shown);
  }
  ElTreeLocal->expandAll();
  if (QTreeWidgetItem* first = ElTreeLocal->topLevelItem(0)) ElTreeLocal->setCurrentItem(first);
  UpdateLocalRemove();
}

void TfrmOEMain::UpdateLocalRemove() {
  btLocalRemove->setEnabled(CurrentAddedItem(ElTreeLocal) != nullptr);
}

void TfrmOEMain::btLocalRemoveClick() {
  TFolderItem* item = CurrentAddedItem(ElTreeLocal);
  if (!item) return;
  ForgetAddedPath(Registry(), item->Local->AddedAs);
  delete item;
  UpdateLocalRemove();
  ElTreeLocal->setFocus(Qt::OtherFocusReason);
}

void TfrmOEMain::btLocalAddClick() {
  const std::optional<QString> chosen = desktop_.OpenFileOrDirectory(
      this, Tr("Choose a Maildir folder, an mbox file or a folder of .eml files"),
      Tr("All Files|*.*|Mailbox Files|*.mbox;*.mbx"), QDir::homePath());
  if (!chosen || chosen->isEmpty()) return;
  const std::string path = FromUi(*chosen);
  TFolderItem* shown = nullptr;
  switch (AddPathItems(Registry(), ElTreeLocal, path, true, &shown)) {
    case TAdded::NoMail:
      desktop_.ShowError(this, Tr(kNoMailThere).arg(*chosen));
      return;
    case TAdded::New:
      KeepAddedPath(Registry(), path);
      break;
    case TAdded::Known:
      break;
  }
  ElTreeLocal->expandItem(shown);
  for (int i = 0; i < shown->childCount(); ++i) ElTreeLocal->expandItem(shown->child(i));
  ElTreeLocal->scrollToItem(shown);
  ElTreeLocal->setCurrentItem(shown);
  UpdateLocalRemove();
  ElTreeLocal->setFocus(Qt::OtherFocusReason);
}

bool TfrmOEMain::isLocalItemsChecked() const {
  for (TFolderItem* item : AllFolderItems(ElTreeLocal))
    if (item->HasCheckBox() && item->Ticked()) return true;
  return false;
}

}  // namespace qb::wiz
