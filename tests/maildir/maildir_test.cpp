// Maildir stores, folders of .eml files and their discovery, on layouts
// built here as Evolution, Dovecot, KMail, mbsync and Thunderbird write them,
// filled with messages of the reference corpus.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "maildir/discovery.h"
#include "maildir/maildir.h"
#include "maildir/messagefiles.h"
#include "mbox/profiles.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

std::string Corpus(const std::string& name) {
  return test::ReadFile(test::RefDataDir() + "/mail/" + name);
}

const std::string kMultimime = "mu/testdir/cur/multimime!2,FS";
const std::string kSigned = "mu/testdir/cur/signed!2,S";
const std::string kArto = "mu/testdir2/Foo/cur/arto.eml";

// A Maildir folder at dir holding the given files ("cur/NAME" or "new/NAME")
// with messages of the corpus.
void MakeFolder(const std::string& dir,
                const std::vector<std::pair<std::string, std::string>>& files = {},
                const std::vector<const char*>& subs = {"/cur", "/new", "/tmp"}) {
  for (const char* sub : subs) fs::create_directories(dir + sub);
  for (const auto& [name, message] : files) test::WriteFile(dir + "/" + name, Corpus(message));
}

// Thunderbird's maildir format makes no new/.
void MakeThunderbirdFolder(const std::string& dir,
                           const std::vector<std::pair<std::string, std::string>>& files = {}) {
  MakeFolder(dir, files, {"/cur", "/tmp"});
}

// "TreePath|path relative to root|m" (m: holds messages) per item.
std::vector<std::string> Describe(const std::string& root) {
  std::vector<std::string> out;
  const std::vector<TMaildirFolder> folders = ListMaildirFolders(root);
  for (const TMaildirFolder& f : folders) {
    const std::string rel = f.Path.substr(std::min(f.Path.size(), root.size() + 1));
    const std::string parent =
        f.Parent < 0 ? "" : " <" + folders[static_cast<std::size_t>(f.Parent)].Name;
    out.push_back(f.TreePath + "|" + rel + "|" + (f.IsMaildir ? "m" : "-") + parent);
  }
  return out;
}

TEST(MaildirTree, LayoutsOfTheMailPrograms) {
  struct TCase {
    const char* Layout;
    std::vector<std::string> Folders;  // Maildir folders to make, relative to the root
    std::vector<std::string> Others;   // plain files and directories ("d:" prefix)
    std::vector<std::string> Expected;
  };
  const std::vector<TCase> cases = {
      {"Evolution",
       {".", ".Drafts", ".Sent", ".Projects", ".Projects.2024", ".v1_2E2__rc"},
       {"folders.db", "..maildir++", ".Projects/maildirfolder", "d:.notmuch"},
       {"Inbox||m", "Drafts|.Drafts|m", "Projects|.Projects|m",
        "Projects/2024|.Projects.2024|m <Projects", "Sent|.Sent|m", "v1.2_rc|.v1_2E2__rc|m"}},
      {"Dovecot, a parent never made, names in modified UTF-7",
       {".", ".Archive.2009", ".Archive.2010", ".Entw&APw-rfe", ".Q&A"},
       {"dovecot-uidlist", "subscriptions"},
       {"Inbox||m", "Archive|.Archive|-", "Archive/2009|.Archive.2009|m <Archive",
        "Archive/2010|.Archive.2010|m <Archive", "Entw\xC3\xBCrfe|.Entw&APw-rfe|m", "Q&A|.Q&A|m"}},
      {"KMail",
       {"inbox", "outbox", ".inbox.directory/lists", ".inbox.directory/.lists.directory/dev"},
       {},
       {"inbox|inbox|m", "inbox/lists|.inbox.directory/lists|m <inbox",
        "inbox/lists/dev|.inbox.directory/.lists.directory/dev|m <lists", "outbox|outbox|m"}},
      {"mbsync, verbatim",
       {"work/INBOX", "work/INBOX/Sub", "work/Archive"},
       {"d:work/empty", "d:photos/2020"},
       {"work|work|-", "work/Archive|work/Archive|m <work", "work/INBOX|work/INBOX|m <work",
        "work/INBOX/Sub|work/INBOX/Sub|m <INBOX"}},
      {"Thunderbird's maildir format (no new/)",
       {},
       {"d:Inbox/cur", "d:Inbox/tmp", "d:Inbox.sbd/Lists/cur", "d:Inbox.sbd/Lists/tmp",
        "d:Trash/cur", "d:Trash/tmp", "Inbox.msf", "Trash.msf"},
       {"Inbox|Inbox|m", "Inbox/Lists|Inbox.sbd/Lists|m <Inbox", "Trash|Trash|m"}},
      {"a single folder", {"."}, {}, {"root||m"}},
      {"no Maildir folder", {}, {"a", "d:b/cur", "d:c/new", "d:c/tmp"}, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Layout);
    test::TempDir dir;
    const std::string root = dir / "root";
    fs::create_directories(root);
    for (const std::string& f : c.Folders) MakeFolder(root + "/" + f);
    for (const std::string& o : c.Others)
      if (o.starts_with("d:"))
        fs::create_directories(root + "/" + o.substr(2));
      else
        test::WriteFile(root + "/" + o, "x");
    EXPECT_EQ(Describe(root), c.Expected);
  }
}

TEST(MaildirTree, ShapedAsAMozillaMailDirectoryForTheWindow) {
  test::TempDir dir;
  MakeFolder(dir.Path());
  MakeFolder(dir / ".Lists.dev");
  MakeFolder(dir / ".Sent");
  std::vector<TMailboxRef> refs;
  CollectMailboxes(MaildirMailboxTree(ListMaildirFolders(dir.Path())), refs);
  std::vector<std::string> got;
  for (const TMailboxRef& r : refs)
    got.push_back(r.TreePath + "|" + r.Path + (r.IsMaildir ? "|m" : ""));
  EXPECT_EQ(got, (std::vector<std::string>{"Inbox|" + dir.Path() + "|m",
                                           "Lists/dev|" + dir / ".Lists.dev|m",
                                           "Sent|" + dir / ".Sent|m"}));
}

TEST(MaildirTree, FollowsNoDirectoryLinkAndStopsAtTheDepthLimit) {
  test::TempDir dir;
  const std::string root = dir / "root";
  MakeFolder(dir / "elsewhere");
  MakeFolder(root + "/Real");
  fs::create_directory_symlink(dir / "elsewhere", root + "/Linked");
  fs::create_directory_symlink(root, root + "/Loop");
  fs::create_directory_symlink(dir / "elsewhere", root + "/.Dotted");
  std::string deep = root + "/deep";
  for (int i = 0; i < 70; ++i) deep += "/d";
  MakeFolder(deep);
  EXPECT_EQ(Describe(root), std::vector<std::string>{"Real|Real|m"});
  // The root itself may be a link.
  fs::create_directory_symlink(root, dir / "top");
  EXPECT_EQ(ListMaildirFolders(dir / "top").size(), 1u);
}

TEST(MaildirMessages, StableOrderRegularFilesOnlyAndTmpNeverRead) {
  test::TempDir dir;
  const std::string f = dir / "f";
  MakeFolder(f,
             {{"cur/1300.b:2,S", kSigned}, {"new/1200.a", kMultimime}, {"cur/1400.c:2,", kArto}});
  test::WriteFile(f + "/tmp/1100.x", "being delivered");
  test::WriteFile(f + "/cur/.hidden", "x");
  ASSERT_EQ(::mkfifo((f + "/new/1250.fifo").c_str(), 0600), 0);
  fs::create_symlink(f + "/cur/1300.b:2,S", f + "/cur/1260.link");
  fs::create_directory(f + "/cur/1270.dir");
  std::vector<std::string> names;
  for (const TMaildirEntry& e : ListMaildirMessages(f))
    names.push_back((e.InNew ? "new/" : "cur/") + e.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"new/1200.a", "cur/1300.b:2,S", "cur/1400.c:2,"}));
  EXPECT_EQ(CountMaildirMessages(f), 3u);
}

TEST(MaildirMessages, AMessageMovedToCurWithNewFlagsKeepsItsPlaceAndKey) {
  test::TempDir dir;
  const std::string f = dir / "f";
  MakeFolder(f, {{"new/1200.M1P2.host", kMultimime},
                 {"cur/1100.M1P2.host:2,S", kSigned},
                 {"cur/1300.M1P2.host:2,", kArto}});
  auto keys = [&] {
    std::vector<std::string> out;
    for (const TMaildirEntry& e : ListMaildirMessages(f)) {
      std::string text;
      EXPECT_EQ(ReadMessageFile(e.Path, text), TReadStatus::Ok) << e.Path;
      out.push_back(MaildirMessageKey(text));
    }
    return out;
  };
  const std::vector<std::string> before = keys();
  ASSERT_EQ(before.size(), 3u);
  EXPECT_NE(before[0], before[1]);
  // Read, replied to and flagged: renamed into cur/ with a flags suffix.
  const TMaildirEntry moved = ListMaildirMessages(f)[1];
  fs::rename(moved.Path, f + "/cur/1200.M1P2.host:2,FRS");
  EXPECT_EQ(keys(), before);
  EXPECT_EQ(FindMovedMessage(f, moved), f + "/cur/1200.M1P2.host:2,FRS");
  EXPECT_EQ(MaildirUniqueName("1200.M1P2.host:2,FRS"), "1200.M1P2.host");
}

TEST(MaildirMessages, TheKeyLeavesOutTheStatusMailProgramsRewrite) {
  const std::string body = "Subject: hi\r\nFrom: a@example.com\r\n\r\nStatus: RO\r\ntext\r\n";
  const std::string key = MaildirMessageKey(body);
  for (std::string status : {"Status: RO\r\n", "X-Status: A\r\n", "X-Mozilla-Status: 0001\r\n",
                             "X-Mozilla-Keys: $label1\r\n", "X-Keywords: Junk\r\n  NonJunk\r\n",
                             "X-UID: 42\r\n", "X-IMAPbase: 1 2\r\n"})
    EXPECT_EQ(MaildirMessageKey(status + body), key) << status;
  EXPECT_NE(MaildirMessageKey("X-Other: 1\r\n" + body), key);
  EXPECT_NE(MaildirMessageKey("Subject: hi\r\nFrom: a@example.com\r\n\r\ntext\r\n"), key);
}

TEST(MessageFile, OnlyRegularFilesAreOpened) {
  test::TempDir dir;
  test::WriteFile(dir / "msg", "Subject: x\n\nbody\n");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_symlink(dir / "msg", dir / "link");
  fs::create_directory(dir / "dir");
  test::WriteFile(dir / "big", std::string(100, 'x'));
  struct TCase {
    const char* Name;
    TReadStatus Status;
    std::size_t Size;
  };
  for (const TCase& c : std::vector<TCase>{{"msg", TReadStatus::Ok, 17},
                                           {"fifo", TReadStatus::NotRegular, 0},
                                           {"link", TReadStatus::NotRegular, 0},
                                           {"dir", TReadStatus::NotRegular, 0},
                                           {"gone", TReadStatus::Missing, 0},
                                           {"big", TReadStatus::Oversized, 0}}) {
    std::string text = "old", error;
    EXPECT_EQ(ReadMessageFile(dir / c.Name, text, 99, &error), c.Status) << c.Name;
    EXPECT_EQ(text.size(), c.Size) << c.Name;
    EXPECT_EQ(error.empty(), c.Status == TReadStatus::Ok) << c.Name;
  }
}

TEST(MessageFiles, ReadByNumberAfterTheFolderChanged) {
  test::TempDir dir;
  const std::string f = dir / "f";
  MakeFolder(
      f, {{"new/1.a", kSigned}, {"new/2.b", kMultimime}, {"new/3.c", kArto}, {"new/4.d", kSigned}});
  test::WriteFile(dir / "eml/saved.eml", Corpus(kSigned));
  const TMessageFiles files = TMessageFiles::OfMaildir(f, 1000);
  ASSERT_EQ(files.Count(), 4u);
  // While the run reads, the mail program marks 1.a read, deletes 2.b and
  // something puts a FIFO where 4.d was.
  fs::rename(f + "/new/1.a", f + "/cur/1.a:2,S");
  fs::remove(f + "/new/2.b");
  fs::remove(f + "/new/4.d");
  ASSERT_EQ(::mkfifo((f + "/new/4.d").c_str(), 0600), 0);
  std::string key, text, emlKey, emlText;
  files.Read(0, key, text);
  EXPECT_EQ(text, Corpus(kSigned));
  TMessageFiles::OfEmlFolder(dir / "eml").Read(0, emlKey, emlText);
  EXPECT_EQ(emlKey, key);
  EXPECT_EQ(emlText, text);
  struct TCase {
    std::size_t Number;
    const char* Error;
  };
  for (const TCase& c : std::vector<TCase>{{1, "the message is gone"},
                                           {2, "the message is too large to be read"},
                                           {3, "not a regular file"}}) {
    try {
      files.Read(c.Number, key, text);
      ADD_FAILURE() << c.Number << " was read";
    } catch (const EMessageFileError& e) {
      EXPECT_TRUE(std::string(e.what()).starts_with(c.Error)) << e.what();
    }
  }
  EXPECT_THROW(TMessageFiles::OfMaildir(dir / "eml"), EMessageFileError);
  EXPECT_THROW(TMessageFiles::OfEmlFolder(dir / "missing"), EMessageFileError);
}

TEST(EmlFolder, ListsRegularEmlFilesByName) {
  test::TempDir dir;
  test::WriteFile(dir / "b.EML", Corpus(kArto));
  test::WriteFile(dir / "a.eml", Corpus(kSigned));
  test::WriteFile(dir / "notes.txt", "x");
  test::WriteFile(dir / ".eml", "x");
  test::WriteFile(dir / "sub.eml/inner.eml", "x");
  ASSERT_EQ(::mkfifo((dir / "pipe.eml").c_str(), 0600), 0);
  fs::create_symlink(dir / "a.eml", dir / "c.eml");
  EXPECT_EQ(ListEmlFiles(dir.Path()), (std::vector<std::string>{dir / "a.eml", dir / "b.EML"}));
  std::string text;
  EXPECT_EQ(ReadMessageFile(ListEmlFiles(dir.Path())[1], text), TReadStatus::Ok);
  EXPECT_EQ(text, Corpus(kArto));
}

TEST(MailPath, WhatAChosenPathHolds) {
  test::TempDir dir;
  test::WriteFile(dir / "takeout.mbox", "From x Sat Jan  3 01:05:34 2009\n" + Corpus(kArto));
  test::WriteFile(dir / "Export/Work.mbox/mbox",
                  "From x Sat Jan  3 01:05:34 2009\n" + Corpus(kArto));
  test::WriteFile(dir / "Export/Work.mbox/table_of_contents", "x");
  test::WriteFile(dir / "Other.mbox/readme", "x");
  MakeFolder(dir / "Maildir/.Sent");
  MakeFolder(dir / "Maildir");
  test::WriteFile(dir / "saved/one.eml", Corpus(kSigned));
  fs::create_directory(dir / "empty");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  struct TCase {
    std::string Path;
    TMailPathKind Kind;
    std::string Read;
  };
  for (const TCase& c : std::vector<TCase>{
           {dir / "takeout.mbox", TMailPathKind::Mbox, dir / "takeout.mbox"},
           {dir / "Export/Work.mbox/", TMailPathKind::Mbox, dir / "Export/Work.mbox/mbox"},
           {dir / "Other.mbox", TMailPathKind::None, ""},
           {dir / "Maildir", TMailPathKind::Maildir, dir / "Maildir"},
           {dir / "saved", TMailPathKind::EmlFolder, dir / "saved"},
           {dir / "empty", TMailPathKind::None, ""},
           {dir / "fifo", TMailPathKind::None, ""},
           {dir / "missing", TMailPathKind::None, ""}}) {
    const TMailPath p = ClassifyMailPath(c.Path);
    EXPECT_EQ(p.Kind, c.Kind) << c.Path;
    EXPECT_EQ(p.Path, c.Read) << c.Path;
  }
}

TEST(MaildirDiscovery, TheStoresOfAHome) {
  test::TempDir dir;
  const std::string home = dir / "home";
  MakeFolder(home + "/.local/share/evolution/mail/local");
  MakeFolder(home + "/.local/share/evolution/mail/local/.Drafts");
  MakeFolder(dir / "xdg/local-mail/inbox");
  MakeFolder(home + "/Maildir");
  fs::create_directory_symlink(home + "/Maildir", home + "/.mail");
  test::WriteFile(home + "/Mail/mbox-only", "From x Sat Jan  3 01:05:34 2009\n\n");

  std::vector<std::string> found;
  for (const TMaildirStore& s : ListMaildirStores({home, home + "/.local/share"}))
    found.push_back(s.Kind + "|" + s.Name + "|" + s.Path);
  EXPECT_EQ(found, (std::vector<std::string>{
                       "evolution|Evolution|" + home + "/.local/share/evolution/mail/local",
                       "maildir|~/Maildir|" + home + "/Maildir"}));

  // mutt's single ~/Maildir is the Inbox.
  ASSERT_EQ(ListMaildirFolders(home + "/Maildir").size(), 1u);
  EXPECT_EQ(ListMaildirFolders(home + "/Maildir")[0].Name, "Inbox");

  test::ScopedEnv homeEnv("HOME", home);
  test::ScopedEnv data("XDG_DATA_HOME", dir / "xdg");
  found.clear();
  for (const TMaildirStore& s : ListMaildirStores()) found.push_back(s.Kind + "|" + s.Path);
  EXPECT_EQ(found, (std::vector<std::string>{"kmail|" + dir / "xdg/local-mail",
                                             "maildir|" + home + "/Maildir"}));
}

TEST(MaildirDiscovery, AThunderbirdProfileInMaildirFormatListsItsFolders) {
  test::TempDir dir;
  const std::string local = dir / "Mail/Local Folders";
  MakeThunderbirdFolder(local + "/Inbox", {{"cur/1600000000000.eml", kArto}});
  MakeThunderbirdFolder(local + "/Inbox.sbd/Lists");
  test::WriteFile(local + "/Inbox.msf", "");
  test::WriteFile(local + "/Unsent Messages", "");  // an mbox-format folder beside them
  std::vector<TMailboxRef> boxes;
  CollectMailboxes(WalkMailboxTree(dir / "Mail"), boxes);
  std::vector<std::string> got;
  for (const TMailboxRef& b : boxes)
    got.push_back(b.TreePath + (b.IsMaildir ? "|maildir|" : "|mbox|") +
                  std::to_string(b.IsMaildir ? CountMaildirMessages(b.Path) : 0));
  EXPECT_EQ(got, (std::vector<std::string>{"Local Folders/Inbox|maildir|1",
                                           "Local Folders/Inbox/Lists|maildir|0",
                                           "Local Folders/Unsent Messages|mbox|0"}));
}

}  // namespace
}  // namespace qb
