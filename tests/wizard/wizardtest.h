// Shared pieces of the window tests: the registration of QtTest classes in
// the one test program, a window on a scripted desktop and an in-memory key
// store, and small builders of identities and stores.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QtWidgets>

#include "oestore/dbxwriter.h"
#include "outlook/fakeoutlook.h"
#include "platform/keystore.h"
#include "tests/support/testsupport.h"
#include "wizard/fakedesktop.h"
#include "wizard/oMain.h"

namespace qb::wiztest {

// Registers a QtTest class; main runs every registered class in name order
// (or only the one named as the first argument).
int RegisterTestClass(const char* name, std::function<QObject*()> make);
#define QB_WIZARD_TEST(Class)              \
  static const int qb_registered_##Class = \
      ::qb::wiztest::RegisterTestClass(#Class, [] { return static_cast<QObject*>(new Class); })

// Start-up without waiting, without the .pst stores and at normal priority.
wiz::TWizardOptions TestOptions();

// A window on a scripted desktop and an in-memory key store.
struct TWindow {
  explicit TWindow(wiz::TWizardOptions options = TestOptions());
  ~TWindow();
  wiz::TfrmOEMain& operator*() { return *Window; }
  wiz::TfrmOEMain* operator->() { return Window.get(); }

  // Next and Back as the buttons do it; the name of the page then shown.
  std::string Next();
  std::string Back();
  std::string Page() const;

  wiz::TFakeDesktop Desktop;
  TKeyStore Store;
  std::unique_ptr<wiz::TfrmOEMain> Window;
};

// An Outlook Express identity with its store directory ("" for none).
void AddIdentity(TKeyStore& store, const std::string& guid, const std::string& name,
                 const std::string& storeRoot);

// A store directory with these folders (each with a message file unless its
// file name is empty).
void WriteStore(const std::string& dir, const std::vector<TDbxSynthFolder>& folders);
TDbxSynthFolder Folder(int id, int parent, const std::string& name, const std::string& file);

// What the window reads from: an identity "Main Identity" whose store holds
// Inbox (with a subfolder Invoices) and Sent Items, and a fake Outlook with
// the store "Personal Folders" holding Inbox and Sent Items.
struct TSources {
  explicit TSources(TWindow& w);
  test::TempDir Dir;
  std::string StoreDir;
  std::shared_ptr<ole::TFakeOutlook> Outlook;
  ole::TScopedOutlookProvider UseOutlook;
};

// Checks the radio button of a source ("rbOE", "rbOutlook", "rbNS", ...)
// and walks from Welcome to page the way a user does (the Netscape pages,
// which need profiles, are shown directly). Returns the page reached.
std::string WalkTo(TWindow& w, const std::string& source, const std::string& page);

// Adds a ticked folder item under parent (or at the top of tree); without
// checkBox the item has no box.
wiz::TFolderItem* AddFolder(QTreeWidget* tree, wiz::TFolderItem* parent, const QString& text,
                            bool checkBox = true);

// The trimmed texts of the ticked items of a list, joined by ",", as the
// command line takes an extension list.
std::string TickedItems(QListWidget* list);

// The texts of the items of a tree, each indented by two blanks per level.
std::vector<std::string> TreeTexts(QTreeWidget* tree);

}  // namespace qb::wiztest
