#include "outlook/outlooklist.h"

#include <chrono>

#include "engine/datetext.h"
#include "platform/i18n.h"

namespace qb {

namespace {

std::atomic<std::uint64_t> g_nextRecordId{1};

void ListCollection(ole::IOlFolders& folders, const TOutlookFolderInfo* parent,
                    TOutlookFolderList& list) {
  const int count = folders.Count();
  for (int i = 1; i <= count; ++i) {
    std::shared_ptr<ole::IOlFolder> folder = folders.Item(i);
    if (folder->DefaultItemType() != ole::olMailItem) continue;
    auto record = std::make_shared<TOutlookFolderInfo>();
    record->Id = g_nextRecordId.fetch_add(1);
    record->ParentId = parent ? parent->Id : 0;
    record->EntryKey = folder->EntryID();
    record->EntryID = folder->EntryID();
    record->Name = folder->Name();
    record->Path = parent ? parent->Path + record->Name : record->Name;
    list.push_back(record);
    ListCollection(*folder->Folders(), record.get(), list);
  }
}

}  // namespace

void ListOutlookFolders(ole::IOlFolders& stores, TOutlookFolderList& list) {
  try {
    ListCollection(stores, nullptr, list);
  } catch (const std::exception&) {
    // The walk stops quietly; what was found is shown.
  }
}

TOutlookTreeFill::TOutlookTreeFill(void* form) : form_(form) {}

void TOutlookTreeFill::Execute() {
  done_ = false;
  success_ = false;
  try {
    ole::CoInitialize();
  } catch (const std::exception&) {
  }
  std::shared_ptr<ole::IOlApplication> app;
  std::shared_ptr<ole::IOlNameSpace> ns;
  try {
    app = ole::CreateOleObject("Outlook.Application");
    ns = app->GetNameSpace("MAPI");
  } catch (const std::exception&) {
    ns.reset();
    app.reset();
    done_ = true;
    return;
  }
  try {
    std::shared_ptr<ole::IOlFolders> stores = ns->Folders();
    ListOutlookFolders(*stores, folders_);
  } catch (const std::exception&) {
    // Refusing the store list is an error of the walk: nothing listed.
  }
  ns.reset();
  app.reset();
  success_ = true;
  done_ = true;
}

TOutlookTreeItem* TOutlookTree::AddTop(const std::string& caption) {
  auto item = std::make_unique<TOutlookTreeItem>();
  item->Caption = caption;
  Items.push_back(std::move(item));
  return Items.back().get();
}

TOutlookTreeItem* TOutlookTree::AddChild(TOutlookTreeItem& parent, const std::string& caption) {
  auto item = std::make_unique<TOutlookTreeItem>();
  item->Caption = caption;
  item->Parent = &parent;
  parent.Children.push_back(std::move(item));
  return parent.Children.back().get();
}

std::vector<TOutlookTreeItem*> TOutlookTree::AllItems() const {
  std::vector<TOutlookTreeItem*> out;
  std::function<void(const std::vector<std::unique_ptr<TOutlookTreeItem>>&)> walk =
      [&](const std::vector<std::unique_ptr<TOutlookTreeItem>>& items) {
        for (const auto& item : items) {
          out.push_back(item.get());
          walk(item->Children);
        }
      };
  walk(Items);
  return out;
}

TOutlookTreeItem* TOutlookTree::FindByRecord(std::uint64_t id) const {
  if (id == 0) return nullptr;
  for (TOutlookTreeItem* item : AllItems())
    if (item->Data && item->Data->Id == id) return item;
  return nullptr;
}

void TOutlookTree::FullExpand() {
  for (TOutlookTreeItem* item : AllItems()) item->Expanded = true;
}

std::vector<std::shared_ptr<TOutlookFolderInfo>> TOutlookTree::CheckedRecords() const {
  std::vector<std::shared_ptr<TOutlookFolderInfo>> out;
  for (TOutlookTreeItem* item : AllItems())
    if (item->HasCheckBox && item->Checked && item->Data) out.push_back(item->Data);
  return out;
}

void FillOutlookTree(TOutlookTree& tree, const TOutlookFolderList& records,
                     const std::function<std::string(const std::string& path)>& rememberedTick) {
  auto ticked = [&](const TOutlookFolderInfo& record) {
    return !rememberedTick || rememberedTick(record.Path) != "n";
  };
  // A lookup per record keeps to the rule as written; the tree is small.
  for (const std::shared_ptr<TOutlookFolderInfo>& record : records) {
    TOutlookTreeItem* item = nullptr;
    if (TOutlookTreeItem* parent = tree.FindByRecord(record->ParentId)) {
      item = tree.AddChild(*parent, record->Name);
      item->HasCheckBox = true;
      item->Checked = ticked(*record);
    } else if (record->ParentId == 0) {
      item = tree.AddTop(record->Name);  // a store: no check box
    } else {
      item = tree.AddTop(record->Name);
      item->HasCheckBox = true;
      item->Checked = ticked(*record);
    }
    item->Data = record;
  }
}

bool LoadOutlookFolders(TOutlookTree& tree, const TOutlookLoadHost& host) {
  auto pump = [&] {
    if (host.ProcessMessages) host.ProcessMessages();
  };
  tree.Clear();
  const std::string text = N_("Getting Outlook Folders... Wait...");
  // The progress window switches date-time texts to two-digit hours,
  // minutes and seconds for the rest of the program's life.
  SetTwoDigitLongTime(true);
  if (host.ShowProgress) host.ShowProgress(N_("Checking..."), text);
  const auto until =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(host.InitialWaitMs);
  while (std::chrono::steady_clock::now() < until) {
    pump();
    Sleep(10);
  }
  TOutlookTreeFill fill;
  fill.Resume();
  while (!fill.Done()) {
    if (host.SetProgressText) host.SetProgressText(text);
    pump();
    Sleep(10);
  }
  fill.WaitFor();
  if (!fill.Success()) {
    if (host.HideProgress) host.HideProgress();
    return false;
  }
  FillOutlookTree(tree, fill.FolderList(), host.RememberedTick);
  tree.FullExpand();
  if (host.HideProgress) host.HideProgress();
  return true;
}

}  // namespace qb
