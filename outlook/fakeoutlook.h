// A scripted Outlook for tests and demonstrations: stores, folders, mail
// items and attachments built in code, with a failure that can be switched
// on at each member the program calls.
//
//   auto outlook = std::make_shared<TFakeOutlook>();
//   TFakeFolder& inbox = outlook->AddStore("Store1").AddFolder("Inbox");
//   inbox.Items.push_back(TFakeMail{...});
//   TScopedOutlookProvider use(outlook->Factory());
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "outlook/automation.h"

namespace qb::ole {

struct TFakeAttachment {
  std::string FileName;  // the attachment's text value
  std::string Content;   // what SaveAsFile writes
  bool FailSave = false;
};

struct TFakeMail {
  std::vector<std::string> Recipients;  // each recipient's address
  TDateTime ReceivedTime = 0;
  std::string Subject;
  std::string SenderName;
  std::string Body;
  std::string HTMLBody;
  std::vector<TFakeAttachment> Attachments;
  bool FailOpen = false;        // Items(J) raises for this item
  bool FailRecipients = false;  // Recipients raises
};

struct TFakeFolder {
  std::string Name;
  int ItemType = olMailItem;
  std::string EntryID;  // assigned by the factory when empty
  std::vector<TFakeFolder> Folders;
  std::vector<TFakeMail> Items;
  bool FailAsItem = false;     // the parent collection's Item(i) raises for it
  bool FailFolders = false;    // Folders raises
  bool FailEntryID = false;    // EntryID raises
  bool FailItems = false;      // Items raises
  bool FailGetFromID = false;  // GetFolderFromID raises for its entry id

  TFakeFolder& AddFolder(const std::string& name, int itemType = olMailItem) {
    Folders.push_back(TFakeFolder{});
    Folders.back().Name = name;
    Folders.back().ItemType = itemType;
    return Folders.back();
  }
};

class TFakeOutlook : public std::enable_shared_from_this<TFakeOutlook> {
 public:
  std::vector<TFakeFolder> Stores;
  bool NoApplication = false;    // creating "Outlook.Application" fails
  bool RefuseNameSpace = false;  // GetNameSpace raises

  TFakeFolder& AddStore(const std::string& name) {
    Stores.push_back(TFakeFolder{});
    Stores.back().Name = name;
    return Stores.back();
  }

  // The provider to install. Gives every folder without an entry id one.
  // The tree must not change while objects made from it are in use.
  TOlApplicationFactory Factory();

  // Every GetFolderFromID and SaveAsFile call, in order
  // ("GetFolderFromID <id>", "SaveAsFile <path>").
  std::vector<std::string> Calls() const;
  void NoteCall(const std::string& call);

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

}  // namespace qb::ole
