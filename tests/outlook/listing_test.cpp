// The folder listing and the loading step, against a scripted Outlook.
#include <gtest/gtest.h>

#include <map>

#include "tests/outlook/outlook_test_util.h"

namespace qb {
namespace {

using ole::TFakeFolder;
using ole::TFakeOutlook;
using ole::TScopedOutlookProvider;
using test::FindRecord;
using test::ListFolders;

std::shared_ptr<TFakeOutlook> StoreWithInboxAndWork() {
  auto o = std::make_shared<TFakeOutlook>();
  o->AddStore("Store1").AddFolder("Inbox").AddFolder("Work");
  return o;
}

TEST(OutlookListing, NestedFoldersGetPathsAndParents) {
  auto o = StoreWithInboxAndWork();
  TScopedOutlookProvider use(o->Factory());
  bool ok = false;
  TOutlookFolderList list = ListFolders(&ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0]->Path, "Store1");
  EXPECT_EQ(list[1]->Path, "Store1Inbox");
  EXPECT_EQ(list[2]->Path, "Store1InboxWork");
  EXPECT_EQ(list[0]->ParentId, 0u);
  EXPECT_EQ(list[0]->ParentKey(), "");
  EXPECT_EQ(list[1]->ParentId, list[0]->Id);
  EXPECT_EQ(list[2]->ParentId, list[1]->Id);
  EXPECT_EQ(list[2]->Name, "Work");
  EXPECT_EQ(list[2]->EntryID, o->Stores[0].Folders[0].Folders[0].EntryID);
  EXPECT_EQ(list[2]->EntryKey, list[2]->EntryID);
  // Identities are unique, and stay unique across listings.
  TOutlookFolderList again = ListFolders();
  ASSERT_EQ(again.size(), 3u);
  EXPECT_NE(again[0]->Id, list[0]->Id);
  EXPECT_NE(list[0]->Id, list[1]->Id);
}

TEST(OutlookListing, NonMailFoldersAreLeftOutWithEverythingBelow) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeFolder& store = o->AddStore("Store1");
  store.AddFolder("Contacts", ole::olContactItem).AddFolder("Mail below contacts");
  store.AddFolder("Calendar", ole::olAppointmentItem);
  store.AddFolder("Tasks", ole::olTaskItem);
  store.AddFolder("Inbox");
  TScopedOutlookProvider use(o->Factory());
  TOutlookFolderList list = ListFolders();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1]->Path, "Store1Inbox");
}

TEST(OutlookListing, StoresInCollectionOrderDepthFirst) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeFolder& a = o->AddStore("A");
  a.AddFolder("One").AddFolder("Deep");
  a.AddFolder("Two");
  o->AddStore("B").AddFolder("Three");
  TScopedOutlookProvider use(o->Factory());
  std::vector<std::string> paths;
  for (const auto& r : ListFolders()) paths.push_back(r->Path);
  EXPECT_EQ(paths, (std::vector<std::string>{"A", "AOne", "AOneDeep", "ATwo", "B", "BThree"}));
}

TEST(OutlookListing, NoOutlookOrNoNamespaceFails) {
  {
    TScopedOutlookProvider none(ole::TOlApplicationFactory{});
    bool ok = true;
    EXPECT_TRUE(ListFolders(&ok).empty());
    EXPECT_FALSE(ok);
  }
  for (bool refuseNs : {false, true}) {
    auto o = StoreWithInboxAndWork();
    o->NoApplication = !refuseNs;
    o->RefuseNameSpace = refuseNs;
    TScopedOutlookProvider use(o->Factory());
    bool ok = true;
    EXPECT_TRUE(ListFolders(&ok).empty());
    EXPECT_FALSE(ok);
  }
  EXPECT_THROW(ole::CreateOleObject("Word.Application"), ole::EOleException);
}

TEST(OutlookListing, ErrorMidWalkKeepsWhatWasFound) {
  auto o = std::make_shared<TFakeOutlook>();
  TFakeFolder& store = o->AddStore("S");
  store.AddFolder("Before");
  store.AddFolder("Broken").FailFolders = true;  // its record is made, its children not
  store.AddFolder("After");
  o->AddStore("T").AddFolder("Never");
  TScopedOutlookProvider use(o->Factory());
  bool ok = false;
  std::vector<std::string> paths;
  for (const auto& r : ListFolders(&ok)) paths.push_back(r->Path);
  EXPECT_TRUE(ok);
  EXPECT_EQ(paths, (std::vector<std::string>{"S", "SBefore", "SBroken"}));

  o->Stores[0].Folders[1].FailFolders = false;
  o->Stores[0].Folders[1].FailEntryID = true;
  paths.clear();
  for (const auto& r : ListFolders(&ok)) paths.push_back(r->Path);
  EXPECT_EQ(paths, (std::vector<std::string>{"S", "SBefore"}));

  o->Stores[0].Folders[1].FailEntryID = false;
  o->Stores[0].Folders[2].FailAsItem = true;
  paths.clear();
  for (const auto& r : ListFolders(&ok)) paths.push_back(r->Path);
  EXPECT_EQ(paths, (std::vector<std::string>{"S", "SBefore", "SBroken"}));
}

struct LoadLog {
  std::vector<std::string> Calls;
  std::map<std::string, std::string> Remembered;
  TOutlookLoadHost Host() {
    TOutlookLoadHost h;
    h.InitialWaitMs = 0;
    h.ShowProgress = [this](const std::string& title, const std::string& text) {
      Calls.push_back("show " + title + " " + text);
    };
    h.HideProgress = [this] { Calls.push_back("hide"); };
    h.RememberedTick = [this](const std::string& path) {
      auto it = Remembered.find(path);
      return it == Remembered.end() ? std::string() : it->second;
    };
    return h;
  }
};

TEST(OutlookLoading, BuildsTheTreeWithTicksFromTheRememberedSelection) {
  auto o = StoreWithInboxAndWork();
  o->AddStore("Store2").AddFolder("Sent");
  TScopedOutlookProvider use(o->Factory());
  LoadLog log;
  log.Remembered["Store1InboxWork"] = "n";
  log.Remembered["Store2Sent"] = "y";
  TOutlookTree tree;
  ASSERT_TRUE(LoadOutlookFolders(tree, log.Host()));
  EXPECT_EQ(log.Calls, (std::vector<std::string>{
                           "show Checking... Getting Outlook Folders... Wait...", "hide"}));
  ASSERT_EQ(tree.Items.size(), 2u);
  const TOutlookTreeItem& store1 = *tree.Items[0];
  EXPECT_EQ(store1.Caption, "Store1");
  EXPECT_FALSE(store1.HasCheckBox);
  ASSERT_EQ(store1.Children.size(), 1u);
  const TOutlookTreeItem& inbox = *store1.Children[0];
  EXPECT_TRUE(inbox.HasCheckBox);
  EXPECT_TRUE(inbox.Checked);
  ASSERT_EQ(inbox.Children.size(), 1u);
  EXPECT_EQ(inbox.Children[0]->Caption, "Work");
  EXPECT_FALSE(inbox.Children[0]->Checked);
  EXPECT_EQ(inbox.Children[0]->Data->Path, "Store1InboxWork");
  EXPECT_EQ(tree.Items[1]->Caption, "Store2");
  for (TOutlookTreeItem* item : tree.AllItems()) EXPECT_TRUE(item->Expanded);

  std::vector<std::string> checked;
  for (const auto& r : tree.CheckedRecords()) checked.push_back(r->Path);
  EXPECT_EQ(checked, (std::vector<std::string>{"Store1Inbox", "Store2Sent"}));

  // A second load gives the same tree, from fresh records.
  const uint64_t firstId = tree.Items[0]->Data->Id;
  ASSERT_TRUE(LoadOutlookFolders(tree, log.Host()));
  ASSERT_EQ(tree.Items.size(), 2u);
  EXPECT_NE(tree.Items[0]->Data->Id, firstId);
  checked.clear();
  for (const auto& r : tree.CheckedRecords()) checked.push_back(r->Path);
  EXPECT_EQ(checked, (std::vector<std::string>{"Store1Inbox", "Store2Sent"}));
}

TEST(OutlookLoading, ARecordWhoseParentHasNoItemGoesToTheTopWithACheckBox) {
  auto record = [](uint64_t id, uint64_t parent, const std::string& name) {
    auto r = std::make_shared<TOutlookFolderInfo>();
    r->Id = id;
    r->ParentId = parent;
    r->Name = name;
    r->Path = name;
    return r;
  };
  TOutlookTree tree;
  FillOutlookTree(tree, {record(1, 0, "Store"), record(2, 99, "Orphan"), record(3, 2, "Child")},
                  [](const std::string& path) { return path == "Child" ? "n" : ""; });
  ASSERT_EQ(tree.Items.size(), 2u);
  EXPECT_FALSE(tree.Items[0]->HasCheckBox);
  EXPECT_EQ(tree.Items[1]->Caption, "Orphan");
  EXPECT_TRUE(tree.Items[1]->HasCheckBox);
  EXPECT_TRUE(tree.Items[1]->Checked);
  ASSERT_EQ(tree.Items[1]->Children.size(), 1u);
  EXPECT_FALSE(tree.Items[1]->Children[0]->Checked);
  EXPECT_EQ(tree.Items[1]->Children[0]->Parent, tree.Items[1].get());
}

TEST(OutlookLoading, NoOutlookLeavesTheTreeEmpty) {
  auto o = StoreWithInboxAndWork();
  TOutlookTree tree;
  {
    TScopedOutlookProvider use(o->Factory());
    LoadLog log;
    ASSERT_TRUE(LoadOutlookFolders(tree, log.Host()));
  }
  o->NoApplication = true;
  TScopedOutlookProvider use(o->Factory());
  LoadLog log;
  EXPECT_FALSE(LoadOutlookFolders(tree, log.Host()));
  EXPECT_TRUE(tree.Items.empty());
  EXPECT_EQ(log.Calls.back(), "hide");
}

}  // namespace
}  // namespace qb
