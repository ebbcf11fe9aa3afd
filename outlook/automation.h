// Outlook's object model as the program calls it.
//
// Each interface has the members the folder listing and the Outlook worker
// call, and nothing else. Collections count from 1. A failing member throws
// EOleException, as an automation call raises an error. Objects are shared
// references; like automation objects they belong to the thread that
// created the application and are only used there.
//
// The application is reached by its identifier "Outlook.Application"
// through CreateOleObject, which asks the installed provider: the .pst
// provider (outlook/pstprovider.h) in the program, a scripted one in tests.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/datetime.h"
#include "platform/errors.h"

namespace qb::ole {

class EOleException : public EQuillboxError {
 public:
  explicit EOleException(const std::string& what, TErrorKind kind = TErrorKind::External)
      : EQuillboxError(kind, what) {}
};

// Outlook's item types (DefaultItemType of a folder).
enum TOlItemType : int {
  olMailItem = 0,
  olAppointmentItem = 1,
  olContactItem = 2,
  olTaskItem = 3,
  olJournalItem = 4,
  olNoteItem = 5,
  olPostItem = 6,
};

class IOlAddressEntry {
 public:
  virtual ~IOlAddressEntry() = default;
  virtual std::string Address() = 0;
};

class IOlRecipient {
 public:
  virtual ~IOlRecipient() = default;
  virtual std::shared_ptr<IOlAddressEntry> AddressEntry() = 0;
};

class IOlRecipients {
 public:
  virtual ~IOlRecipients() = default;
  virtual int Count() = 0;
  virtual std::shared_ptr<IOlRecipient> Item(int index) = 0;
};

class IOlAttachment {
 public:
  virtual ~IOlAttachment() = default;
  // The attachment's text value: its file name.
  virtual std::string Text() = 0;
  // Writes the attachment's content to path, creating or replacing the file.
  virtual void SaveAsFile(const std::string& path) = 0;
};

class IOlAttachments {
 public:
  virtual ~IOlAttachments() = default;
  virtual int Count() = 0;
  virtual std::shared_ptr<IOlAttachment> Item(int index) = 0;
};

class IOlMailItem {
 public:
  virtual ~IOlMailItem() = default;
  virtual std::shared_ptr<IOlRecipients> Recipients() = 0;
  // Delivery time, local time.
  virtual TDateTime ReceivedTime() = 0;
  virtual std::string Subject() = 0;
  virtual std::string SenderName() = 0;
  virtual std::shared_ptr<IOlAttachments> Attachments() = 0;
  virtual std::string Body() = 0;
  virtual std::string HTMLBody() = 0;
};

class IOlItems {
 public:
  virtual ~IOlItems() = default;
  virtual int Count() = 0;
  virtual std::shared_ptr<IOlMailItem> Item(int index) = 0;
};

class IOlFolders;

class IOlFolder {
 public:
  virtual ~IOlFolder() = default;
  virtual int DefaultItemType() = 0;
  virtual std::string EntryID() = 0;
  virtual std::string Name() = 0;
  virtual std::shared_ptr<IOlFolders> Folders() = 0;
  virtual std::shared_ptr<IOlItems> Items() = 0;
};

class IOlFolders {
 public:
  virtual ~IOlFolders() = default;
  virtual int Count() = 0;
  virtual std::shared_ptr<IOlFolder> Item(int index) = 0;
};

class IOlNameSpace {
 public:
  virtual ~IOlNameSpace() = default;
  // The stores, one top-level folder each.
  virtual std::shared_ptr<IOlFolders> Folders() = 0;
  virtual std::shared_ptr<IOlFolder> GetFolderFromID(const std::string& entryId) = 0;
};

class IOlApplication {
 public:
  virtual ~IOlApplication() = default;
  virtual std::shared_ptr<IOlNameSpace> GetNameSpace(const std::string& type) = 0;
};

// Makes the application object; throws EOleException when there is none.
using TOlApplicationFactory = std::function<std::shared_ptr<IOlApplication>()>;

// Installs the provider behind "Outlook.Application" for the whole program
// and returns the one installed before. An empty factory means Outlook is
// not installed. Install before any thread uses it.
TOlApplicationFactory SetOutlookProvider(TOlApplicationFactory factory);

// Installs a provider for the lifetime of the object (tests, the CLI).
class TScopedOutlookProvider {
 public:
  explicit TScopedOutlookProvider(TOlApplicationFactory factory)
      : previous_(SetOutlookProvider(std::move(factory))) {}
  ~TScopedOutlookProvider() { SetOutlookProvider(std::move(previous_)); }
  TScopedOutlookProvider(const TScopedOutlookProvider&) = delete;
  TScopedOutlookProvider& operator=(const TScopedOutlookProvider&) = delete;

 private:
  TOlApplicationFactory previous_;
};

// The per-thread initialisation of the automation layer. Nothing needs it
// here; it stays one call so that each thread's flow reads as it does where
// it is needed.
void CoInitialize();

// Creates an automation object by its programmatic identifier. Only
// "Outlook.Application" is known; throws EOleException otherwise, and when
// no provider is installed or the provider has no application to give.
std::shared_ptr<IOlApplication> CreateOleObject(const std::string& progId);

}  // namespace qb::ole
