// The .pst provider on real stores that nobody here wrote, checked against
// libpff's own pffexport where that is installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "outlook/pstprovider.h"
#include "platform/paths.h"
#include "tests/outlook/outlook_test_util.h"

namespace qb {
namespace {

namespace fs = std::filesystem;
using ole::TScopedOutlookProvider;
using test::FindRecord;
using test::ListFolders;

std::string Pst(const std::string& name) {
  return test::RefDataDir() + "/pst/" + name;
}

std::vector<std::string> Paths(const TOutlookFolderList& list) {
  std::vector<std::string> out;
  for (const auto& r : list) out.push_back(r->Path);
  return out;
}

TEST(PstProvider, ListsMailFoldersBelowTheTopOfThePersonalFolders) {
  TScopedOutlookProvider use(ole::PstApplicationFactory({Pst("aspose_Outlook.pst")}, false));
  bool ok = false;
  TOutlookFolderList list = ListFolders(&ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(Paths(list),
            (std::vector<std::string>{"Outlook", "OutlookDeleted Items", "OutlookInbox",
                                      "OutlookInboxSubInbox", "OutlookOutbox", "OutlookSent Items",
                                      "OutlookDrafts", "OutlookRSS Feeds", "OutlookJunk E-mail",
                                      "OutlookCustom Folder 1", "OutlookCustom Folder 2"}));
  EXPECT_EQ(FindRecord(list, "OutlookInboxSubInbox")->ParentId,
            FindRecord(list, "OutlookInbox")->Id);
}

TEST(PstProvider, StoresKeepTheirOrderAndAFileGivenTwiceIsOneStore) {
  TScopedOutlookProvider use(ole::PstApplicationFactory(
      {Pst("sample1.pst"), Pst("enron-sample.pst"), Pst("../pst/sample1.pst"),
       test::RefDataDir() + "/pst/SOURCES.md", "/nonexistent/x.pst"},
      false));
  std::vector<std::string> stores;
  for (const auto& r : ListFolders())
    if (!r->ParentId) stores.push_back(r->Name);
  EXPECT_EQ(stores, (std::vector<std::string>{"sample1", "Personal Folders"}));
}

TEST(PstProvider, NoStoreMeansNoOutlook) {
  TScopedOutlookProvider use(
      ole::PstApplicationFactory({test::RefDataDir() + "/pst/SOURCES.md"}, false));
  EXPECT_THROW(ole::CreateOleObject("Outlook.Application"), ole::EOleException);
  EXPECT_NE(PstStoreProblem(test::RefDataDir() + "/pst/SOURCES.md"), "");
  EXPECT_NE(PstStoreProblem("/nonexistent/x.pst"), "");
  EXPECT_EQ(PstStoreProblem(Pst("sample1.pst")), "");
}

TEST(PstProvider, ConfiguredStoresIncludeTheApplicationDataFolder) {
  test::TempDir dir;
  test::ScopedEnv home("XDG_DATA_HOME", dir.Path());
  ASSERT_TRUE(ForceDirectories(dir / "Quillbox/Outlook"));
  fs::copy_file(Pst("sample1.pst"), dir / "Quillbox/Outlook/b.pst");
  fs::copy_file(Pst("enron-sample.pst"), dir / "Quillbox/Outlook/a.PST");
  test::WriteFile(dir / "Quillbox/Outlook/notes.txt", "x");
  std::vector<std::string> found = ConfiguredPstStores();
  ASSERT_GE(found.size(), 2u);
  EXPECT_EQ(found[found.size() - 2], dir / "Quillbox/Outlook/a.PST");
  EXPECT_EQ(found.back(), dir / "Quillbox/Outlook/b.pst");
}

TEST(PstProvider, EntryIdsFindTheirFolderAgain) {
  TScopedOutlookProvider use(ole::PstApplicationFactory({Pst("aspose_Outlook.pst")}, false));
  TOutlookFolderList list = ListFolders();
  auto app = ole::CreateOleObject("Outlook.Application");
  auto ns = app->GetNameSpace("MAPI");
  for (const auto& r : list) {
    auto folder = ns->GetFolderFromID(r->EntryID);
    EXPECT_EQ(folder->Name(), r->Name);
    EXPECT_EQ(folder->EntryID(), r->EntryID);
  }
  EXPECT_EQ(ns->GetFolderFromID(FindRecord(list, "OutlookInbox")->EntryID)->Items()->Count(), 8);
  for (const std::string bad : {"", "zz", "00008082", "0000808241", "FFFFFFFF2F"})
    EXPECT_THROW(ns->GetFolderFromID(bad), ole::EOleException) << bad;
  // A folder id of another file: not one of this program's stores.
  std::string path;
  unsigned id = 0;
  ASSERT_TRUE(ole::ParsePstEntryId(list[2]->EntryID, path, id));
  EXPECT_THROW(ns->GetFolderFromID(ole::MakePstEntryId(path + "x", id)), ole::EOleException);
  EXPECT_THROW(ns->GetFolderFromID(ole::MakePstEntryId(path, 0x7ffffff0)), ole::EOleException);
  EXPECT_THROW(app->GetNameSpace("OTHER"), ole::EOleException);
}

// In this file libpff types Inbox, Sent Items, Drafts and Junk E-mail by
// their message class when they are looked up directly, and then refuses
// them as folders.
TEST(PstProvider, FoldersLibpffTypesAsMessagesAreStillFoundById) {
  TScopedOutlookProvider use(
      ole::PstApplicationFactory({Pst("DFRWS2009-Outlook-Email.pst")}, false));
  TOutlookFolderList list = ListFolders();
  ASSERT_NE(FindRecord(list, "Archive FoldersSent Items"), nullptr);
  auto ns = ole::CreateOleObject("Outlook.Application")->GetNameSpace("MAPI");
  for (const auto& r : list) EXPECT_NO_THROW(ns->GetFolderFromID(r->EntryID)->Items()) << r->Path;
  EXPECT_EQ(
      ns->GetFolderFromID(FindRecord(list, "Archive FoldersSent Items")->EntryID)->Items()->Count(),
      6);
}

TEST(PstProvider, ItemTypesFollowTheContainerClass) {
  using namespace ole;
  EXPECT_EQ(ItemTypeOfContainerClass(""), olMailItem);
  EXPECT_EQ(ItemTypeOfContainerClass("IPF.Note"), olMailItem);
  EXPECT_EQ(ItemTypeOfContainerClass("IPF.Imap"), olMailItem);
  EXPECT_EQ(ItemTypeOfContainerClass("IPF.Appointment"), olAppointmentItem);
  EXPECT_EQ(ItemTypeOfContainerClass("IPF.Contact.MOC.QuickContacts"), olContactItem);
  EXPECT_EQ(ItemTypeOfContainerClass("IPF.Task"), olTaskItem);
  EXPECT_EQ(ItemTypeOfContainerClass("IPF.Journal"), olJournalItem);
  EXPECT_EQ(ItemTypeOfContainerClass("IPF.StickyNote"), olNoteItem);
  EXPECT_EQ(ItemTypeOfContainerClass("IPF.TaskList"), olMailItem);
}

TEST(PstProvider, MessagePropertiesAsOutlookGivesThem) {
  TScopedOutlookProvider use(ole::PstApplicationFactory({Pst("aspose_Outlook.pst")}, false));
  TOutlookFolderList list = ListFolders();
  auto ns = ole::CreateOleObject("Outlook.Application")->GetNameSpace("MAPI");
  auto items = ns->GetFolderFromID(FindRecord(list, "OutlookInbox")->EntryID)->Items();
  auto first = items->Item(1);
  EXPECT_EQ(first->Subject(), "Multiple attachments");
  EXPECT_EQ(first->SenderName(), "Saqib Razzaq");
  ASSERT_EQ(first->Recipients()->Count(), 1);
  EXPECT_EQ(first->Recipients()->Item(1)->AddressEntry()->Address(), "saqib.razzaq@xp.local");
  // Delivered Jun 21, 2011 23:51:07 UTC, shown in local time.
  EXPECT_DOUBLE_EQ(first->ReceivedTime(), UnixToLocalDateTime(1308700267));
  auto attachments = first->Attachments();
  ASSERT_EQ(attachments->Count(), 3);
  EXPECT_EQ(attachments->Item(1)->Text(), "text file.txt");
  EXPECT_THROW(attachments->Item(4), ole::EOleException);
  EXPECT_THROW(items->Item(0), ole::EOleException);
  EXPECT_THROW(items->Item(9), ole::EOleException);
  EXPECT_NE(items->Item(2)->HTMLBody().find("<html"), std::string::npos);

  // An attached message is saved as a message file a mail program opens.
  auto withItems = items->Item(3);
  ASSERT_EQ(withItems->Attachments()->Count(), 2);
  auto embedded = withItems->Attachments()->Item(1);
  EXPECT_EQ(embedded->Text(), "message 1 (2.23 KB).eml");
  test::TempDir dir;
  embedded->SaveAsFile(dir / "m.eml");
  const std::string eml = test::ReadFile(dir / "m.eml");
  EXPECT_EQ(eml.rfind("From: \"Saqib Razzaq\" <saqib.razzaq@xp.local>\r\n", 0), 0u) << eml;
  EXPECT_NE(eml.find("\r\nSubject: message 1\r\n"), std::string::npos);
  EXPECT_NE(eml.find("\r\nMIME-Version: 1.0\r\n"), std::string::npos);
  EXPECT_NE(eml.find("\r\n\r\n"), std::string::npos);
  // A path that cannot be created fails as an automation error.
  EXPECT_THROW(attachments->Item(1)->SaveAsFile(dir / "no/such/dir/x.txt"), ole::EOleException);
}

// Runs the worker over every listed folder except the stores themselves.
std::map<std::string, std::string> ExtractAll(const std::vector<std::string>& stores,
                                              test::TOutlookRun& run) {
  TScopedOutlookProvider use(ole::PstApplicationFactory(stores, false));
  for (const auto& r : ListFolders())
    if (r->ParentId) run.Job.Folders.push_back(r->ToJobFolder());
  run.Run();
  std::map<std::string, std::string> files;
  for (const std::string& f : test::ListTree(run.Out()))
    files[f] = test::ReadFile(run.Out() + "/" + f);
  return files;
}

TEST(PstExtraction, Sample1And32BitSample2GiveTheSameFiles) {
  test::TOutlookRun one, two;
  const auto a = ExtractAll({Pst("sample1.pst")}, one);
  const auto b = ExtractAll({Pst("sample2-32bit.pst")}, two);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a.begin()->first.substr(a.begin()->first.find('/')),
            "/Here is a sample message/leah_thumper.jpg");
  EXPECT_EQ(a, b);
  EXPECT_EQ(one.View.Log.back(), TOutlookExtracter::kFinishedLine);
}

// name -> every content pffexport wrote under that attachment name.
std::map<std::string, std::set<std::string>> PffExportAttachments(const std::string& pst,
                                                                  const std::string& target) {
  std::map<std::string, std::set<std::string>> out;
  const std::string cmd = "pffexport -q -t '" + target + "' '" + pst + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return out;
  for (const auto& e : fs::recursive_directory_iterator(target + ".export")) {
    if (!e.is_regular_file() || e.path().parent_path().filename() != "Attachments") continue;
    // Attachments of attached messages are theirs, not the message's.
    if (e.path().string().find("/Attachment0") != std::string::npos) continue;
    std::string name = e.path().filename().string();
    name = name.substr(name.find('_') + 1);  // "<number>_<name>"
    out[name].insert(test::ReadFile(e.path().string()));
  }
  return out;
}

TEST(PstExtraction, EveryAttachmentHasTheBytesPffexportWrites) {
  if (std::system("command -v pffexport >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "pffexport is not installed";
  for (const std::string name :
       {"sample1.pst", "sample2-32bit.pst", "aspose_Outlook.pst", "DFRWS2009-Outlook-Email.pst",
        "2003_no-encryption_quickquick.pst", "multiple_to_cc.pst", "four_nesting_levels.pst"}) {
    SCOPED_TRACE(name);
    test::TempDir ref;
    const auto expected = PffExportAttachments(Pst(name), ref / "x");
    test::TOutlookRun run;
    run.Job.Layout = 6;
    run.Job.FullFileName = true;  // one file per message date and name
    const auto ours = ExtractAll({Pst(name)}, run);
    std::set<std::string> ourNames;
    for (const auto& [path, bytes] : ours) {
      const std::string file = path.substr(path.find(" - ") + 3);
      ourNames.insert(file);
      if (file.size() > 4 && file.substr(file.size() - 4) == ".eml") continue;
      ASSERT_TRUE(expected.count(file)) << file;
      EXPECT_TRUE(expected.at(file).count(bytes)) << file;
    }
    for (const auto& [file, contents] : expected) EXPECT_TRUE(ourNames.count(file)) << file;
  }
}

}  // namespace
}  // namespace qb
