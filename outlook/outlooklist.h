// The Outlook folder list: the listing thread that walks Outlook's folders,
// the records it makes, and the loading step that turns them into the
// wizard's folder tree.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/job.h"
#include "outlook/automation.h"
#include "platform/i18n.h"
#include "platform/thread.h"

namespace qb {

// One Outlook mail folder.
class TOutlookFolderInfo {
 public:
  // The record's identity, unique in the running program; children name
  // their parent by it. Its decimal text is the folder key.
  std::uint64_t Id = 0;
  std::uint64_t ParentId = 0;  // 0: a store, at the top
  std::string EntryKey;        // the folder's EntryID, first read
  std::string Name;
  std::string EntryID;  // the folder's EntryID, second read: what GetFolderFromID gets
  // Names of the ancestors from the store down and the folder's own name,
  // joined without separator; the key of the remembered tick.
  std::string Path;

  std::string Key() const { return std::to_string(Id); }
  std::string ParentKey() const { return ParentId ? std::to_string(ParentId) : std::string(); }
  // The folder as a run's job carries it.
  TJobFolder ToJobFolder() const { return TJobFolder{Name, "", Key(), EntryID}; }
};

using TOutlookFolderList = std::vector<std::shared_ptr<TOutlookFolderInfo>>;

// Lists every mail folder of every store in discovery order (parents before
// children, depth first, siblings in collection order). Folders whose
// DefaultItemType is not 0 are left out with everything below them. An
// error in the walk ends it where it stands; the records made so far stay.
void ListOutlookFolders(ole::IOlFolders& stores, TOutlookFolderList& list);

// The listing thread. Created suspended; Resume starts it.
class TOutlookTreeFill : public TThread {
 public:
  explicit TOutlookTreeFill(void* form = nullptr);

  bool Success() const { return success_.load(); }
  bool Done() const { return done_.load(); }
  // Read only after Done().
  const TOutlookFolderList& FolderList() const { return folders_; }

  void* Form() const { return form_; }

 protected:
  void Execute() override;

 private:
  void* form_;
  std::atomic<bool> done_{false};
  TOutlookFolderList folders_;
  std::atomic<bool> success_{false};
};

// The wizard's Outlook folder tree, as the loading step builds it.
struct TOutlookTreeItem {
  std::string Caption;
  bool HasCheckBox = false;
  bool Checked = false;
  bool Expanded = false;
  std::shared_ptr<TOutlookFolderInfo> Data;  // the record the item owns
  TOutlookTreeItem* Parent = nullptr;
  std::vector<std::unique_ptr<TOutlookTreeItem>> Children;
};

class TOutlookTree {
 public:
  std::vector<std::unique_ptr<TOutlookTreeItem>> Items;  // top level

  // Frees every item with its record.
  void Clear() { Items.clear(); }
  TOutlookTreeItem* AddTop(const std::string& caption);
  TOutlookTreeItem* AddChild(TOutlookTreeItem& parent, const std::string& caption);
  // The item whose record has this identity, or nullptr.
  TOutlookTreeItem* FindByRecord(std::uint64_t id) const;
  void FullExpand();
  // Every item in tree order (depth first).
  std::vector<TOutlookTreeItem*> AllItems() const;
  // The records of the ticked items in tree order: a run's folder list.
  std::vector<std::shared_ptr<TOutlookFolderInfo>> CheckedRecords() const;
};

// What the loading step needs from the wizard: the small progress window,
// the message pump, and the remembered tick of a folder path ("n" means
// unticked).
struct TOutlookLoadHost {
  std::function<void(const std::string& title, const std::string& text)> ShowProgress;
  std::function<void(const std::string& text)> SetProgressText;
  std::function<void()> HideProgress;
  std::function<void()> ProcessMessages;
  std::function<std::string(const std::string& path)> RememberedTick;
  // The pause before the listing starts, with messages processed meanwhile.
  unsigned InitialWaitMs = 1000;
};

// Adds an item for each record, in list order: below the item of its parent
// record, with a check box; a store at the top without one; a record whose
// parent has no item at the top with a check box. Ticked unless
// rememberedTick gives "n" for the record's path. The items own the records.
void FillOutlookTree(TOutlookTree& tree, const TOutlookFolderList& records,
                     const std::function<std::string(const std::string& path)>& rememberedTick);

// Lists Outlook's folders on a listing thread and fills tree from them.
// False, with the tree left empty, when Outlook is not reachable.
bool LoadOutlookFolders(TOutlookTree& tree, const TOutlookLoadHost& host);

// The message box the wizard shows when LoadOutlookFolders fails.
inline constexpr const char* kOutlookUnavailableMessage =
    N_("Unable to connect to Outlook. \r\n\r\nPlease make sure you have installed MS outlook "
       "Properly");

}  // namespace qb
