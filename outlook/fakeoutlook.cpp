#include "outlook/fakeoutlook.h"
#include "platform/paths.h"

#include <cstdio>

namespace qb::ole {

namespace {

using OutlookRef = std::shared_ptr<TFakeOutlook>;

[[noreturn]] void Fail(const std::string& what) {
  throw EOleException(what);
}

class FakeAddressEntry : public IOlAddressEntry {
 public:
  explicit FakeAddressEntry(std::string a) : a_(std::move(a)) {}
  std::string Address() override { return a_; }

 private:
  std::string a_;
};

class FakeRecipient : public IOlRecipient {
 public:
  explicit FakeRecipient(std::string a) : a_(std::move(a)) {}
  std::shared_ptr<IOlAddressEntry> AddressEntry() override {
    return std::make_shared<FakeAddressEntry>(a_);
  }

 private:
  std::string a_;
};

class FakeRecipients : public IOlRecipients {
 public:
  FakeRecipients(OutlookRef o, const TFakeMail* m) : o_(std::move(o)), m_(m) {}
  int Count() override { return static_cast<int>(m_->Recipients.size()); }
  std::shared_ptr<IOlRecipient> Item(int i) override {
    if (i < 1 || i > Count()) Fail("Array index out of bounds.");
    return std::make_shared<FakeRecipient>(m_->Recipients[i - 1]);
  }

 private:
  OutlookRef o_;
  const TFakeMail* m_;
};

class FakeAttachmentObj : public IOlAttachment {
 public:
  FakeAttachmentObj(OutlookRef o, const TFakeAttachment* a) : o_(std::move(o)), a_(a) {}
  std::string Text() override { return a_->FileName; }
  void SaveAsFile(const std::string& path) override {
    o_->NoteCall("SaveAsFile " + path);
    if (a_->FailSave) Fail("Cannot save the attachment.");
    if (!SaveBytesToFile(path, a_->Content)) Fail("Cannot write file " + path);
  }

 private:
  OutlookRef o_;
  const TFakeAttachment* a_;
};

class FakeAttachments : public IOlAttachments {
 public:
  FakeAttachments(OutlookRef o, const TFakeMail* m) : o_(std::move(o)), m_(m) {}
  int Count() override { return static_cast<int>(m_->Attachments.size()); }
  std::shared_ptr<IOlAttachment> Item(int i) override {
    if (i < 1 || i > Count()) Fail("Array index out of bounds.");
    return std::make_shared<FakeAttachmentObj>(o_, &m_->Attachments[i - 1]);
  }

 private:
  OutlookRef o_;
  const TFakeMail* m_;
};

class FakeMailItem : public IOlMailItem {
 public:
  FakeMailItem(OutlookRef o, const TFakeMail* m) : o_(std::move(o)), m_(m) {}
  std::shared_ptr<IOlRecipients> Recipients() override {
    if (m_->FailRecipients) Fail("The item has no recipients.");
    return std::make_shared<FakeRecipients>(o_, m_);
  }
  TDateTime ReceivedTime() override { return m_->ReceivedTime; }
  std::string Subject() override { return m_->Subject; }
  std::string SenderName() override { return m_->SenderName; }
  std::shared_ptr<IOlAttachments> Attachments() override {
    return std::make_shared<FakeAttachments>(o_, m_);
  }
  std::string Body() override { return m_->Body; }
  std::string HTMLBody() override { return m_->HTMLBody; }

 private:
  OutlookRef o_;
  const TFakeMail* m_;
};

class FakeItems : public IOlItems {
 public:
  FakeItems(OutlookRef o, const TFakeFolder* f) : o_(std::move(o)), f_(f) {}
  int Count() override { return static_cast<int>(f_->Items.size()); }
  std::shared_ptr<IOlMailItem> Item(int i) override {
    if (i < 1 || i > Count()) Fail("Array index out of bounds.");
    if (f_->Items[i - 1].FailOpen) Fail("The item cannot be opened.");
    return std::make_shared<FakeMailItem>(o_, &f_->Items[i - 1]);
  }

 private:
  OutlookRef o_;
  const TFakeFolder* f_;
};

class FakeFolders;

class FakeFolderObj : public IOlFolder {
 public:
  FakeFolderObj(OutlookRef o, const TFakeFolder* f) : o_(std::move(o)), f_(f) {}
  int DefaultItemType() override { return f_->ItemType; }
  std::string EntryID() override {
    if (f_->FailEntryID) Fail("EntryID is not available.");
    return f_->EntryID;
  }
  std::string Name() override { return f_->Name; }
  std::shared_ptr<IOlFolders> Folders() override;
  std::shared_ptr<IOlItems> Items() override {
    if (f_->FailItems) Fail("The folder's items cannot be read.");
    return std::make_shared<FakeItems>(o_, f_);
  }

 private:
  OutlookRef o_;
  const TFakeFolder* f_;
};

class FakeFolders : public IOlFolders {
 public:
  FakeFolders(OutlookRef o, const std::vector<TFakeFolder>* list) : o_(std::move(o)), list_(list) {}
  int Count() override { return static_cast<int>(list_->size()); }
  std::shared_ptr<IOlFolder> Item(int i) override {
    if (i < 1 || i > Count()) Fail("Array index out of bounds.");
    if ((*list_)[i - 1].FailAsItem) Fail("The folder cannot be opened.");
    return std::make_shared<FakeFolderObj>(o_, &(*list_)[i - 1]);
  }

 private:
  OutlookRef o_;
  const std::vector<TFakeFolder>* list_;
};

std::shared_ptr<IOlFolders> FakeFolderObj::Folders() {
  if (f_->FailFolders) Fail("The sub-folders cannot be read.");
  return std::make_shared<FakeFolders>(o_, &f_->Folders);
}

const TFakeFolder* FindById(const std::vector<TFakeFolder>& list, const std::string& id) {
  for (const TFakeFolder& f : list) {
    if (f.EntryID == id) return &f;
    if (const TFakeFolder* found = FindById(f.Folders, id)) return found;
  }
  return nullptr;
}

class FakeNameSpace : public IOlNameSpace {
 public:
  explicit FakeNameSpace(OutlookRef o) : o_(std::move(o)) {}
  std::shared_ptr<IOlFolders> Folders() override {
    return std::make_shared<FakeFolders>(o_, &o_->Stores);
  }
  std::shared_ptr<IOlFolder> GetFolderFromID(const std::string& entryId) override {
    o_->NoteCall("GetFolderFromID " + entryId);
    const TFakeFolder* f = FindById(o_->Stores, entryId);
    if (!f || f->FailGetFromID) Fail("The folder could not be found.");
    return std::make_shared<FakeFolderObj>(o_, f);
  }

 private:
  OutlookRef o_;
};

class FakeApplication : public IOlApplication {
 public:
  explicit FakeApplication(OutlookRef o) : o_(std::move(o)) {}
  std::shared_ptr<IOlNameSpace> GetNameSpace(const std::string& type) override {
    if (o_->RefuseNameSpace || type != "MAPI") Fail("The namespace is not available.");
    return std::make_shared<FakeNameSpace>(o_);
  }

 private:
  OutlookRef o_;
};

void AssignIds(std::vector<TFakeFolder>& list, int& next) {
  for (TFakeFolder& f : list) {
    if (f.EntryID.empty()) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "0000FAKE%08X", next++);
      f.EntryID = buf;
    }
    AssignIds(f.Folders, next);
  }
}

}  // namespace

TOlApplicationFactory TFakeOutlook::Factory() {
  int next = 1;
  AssignIds(Stores, next);
  OutlookRef self = shared_from_this();
  return [self]() -> std::shared_ptr<IOlApplication> {
    if (self->NoApplication) Fail("Class not registered");
    return std::make_shared<FakeApplication>(self);
  };
}

std::vector<std::string> TFakeOutlook::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

void TFakeOutlook::NoteCall(const std::string& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(call);
}

}  // namespace qb::ole
