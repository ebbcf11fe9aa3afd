// quillbox-cli extract --source maildir|eml|mbox on mail laid out here as
// Dovecot, Evolution, Thunderbird and Apple Mail lay it out, from messages
// of the reference corpus.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "oestore/dbxwriter.h"
#include "tests/app/cli_runner.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

using TEnv = std::vector<std::pair<std::string, std::string>>;

std::string Ref(const std::string& name) {
  return test::ReadFile(test::RefDataDir() + "/mail/" + name);
}

// Four messages with attachments: a PDF, a text file, an image, and the MIME
// torture test with nine parts.
const std::vector<std::string>& Corpus() {
  static const std::vector<std::string> texts = {
      Ref("flanker/attached-pdf.eml"), Ref("php-mime-mail-parser/m0011"),
      Ref("zbateson-mail-mime-parser/m0012.txt"), Ref("postal-mime/mimetorture.eml")};
  return texts;
}

std::string Mbox(const std::vector<std::string>& texts) {
  std::string box;
  for (const std::string& t : texts) {
    box += "From MAILER-DAEMON Sat Jan  3 01:05:34 2009\n" + t;
    if (box.back() != '\n') box += '\n';
    box += '\n';
  }
  return box;
}

// The files below dir/sub with their bytes, paths relative to dir/sub.
std::vector<std::string> Files(const std::string& dir, const std::string& sub) {
  std::vector<std::string> out;
  for (const std::string& f : test::ListTree(dir + "/" + sub))
    out.push_back(f + "=" + test::ReadFile(dir + "/" + sub + "/" + f));
  return out;
}

// Only the file names, for the messages.
std::vector<std::string> Names(const std::string& dir) {
  return test::ListTree(dir);
}

void Has(const test::CliResult& r, const std::string& text) {
  EXPECT_NE(r.Out.find(text), std::string::npos) << text << "\n--- in ---\n" << r.Out;
}
void HasErr(const test::CliResult& r, const std::string& text) {
  EXPECT_NE(r.Err.find(text), std::string::npos) << text << "\n--- in ---\n" << r.Err;
}

TEST(LocalMailCli, SameMessagesFromMaildirMboxAndDbxWriteTheSameFiles) {
  test::TempDir home;
  const TEnv env = {{"HOME", home.Path()}, {"XDG_DATA_HOME", home / "data"}, {"LC_ALL", "C"}};
  const std::vector<std::string>& texts = Corpus();
  for (std::size_t i = 0; i < texts.size(); ++i)
    test::WriteFile(home / ("Maildir/cur/100" + std::to_string(i) + ".M1P2.host:2,S"), texts[i]);
  fs::create_directories(home / "Maildir/new");
  fs::create_directories(home / "Maildir/tmp");
  test::WriteFile(home / "All.mbox", Mbox(texts));
  TDbxSynthFolder inbox;
  inbox.Id = 1;
  inbox.Name = "Inbox";
  inbox.FileName = "Inbox.dbx";
  for (const std::string& t : texts) {
    TDbxSynthMessage m;
    m.Text = t;
    inbox.Messages.push_back(m);
  }
  WriteDbxStore(home / "oe", {inbox});

  struct TCase {
    std::vector<std::string> Args;
    std::string Root;
  };
  const std::vector<TCase> cases = {
      {{"--source", "maildir", "--folder", home / "Maildir"}, "maildir"},
      {{"--source", "mbox", "--mailbox", home / "All.mbox"}, "mbox"},
      {{"--store", home / "oe"}, "outlookExpress"},
  };
  std::vector<std::string> first;
  for (const TCase& c : cases) {
    std::vector<std::string> args = {"extract", "--dest", home / ("out-" + c.Root), "--exclude",
                                     ""};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const test::CliResult r = test::RunCli(args, env);
    EXPECT_EQ(r.Status, 0) << c.Root << "\n" << r.Err;
    Has(r, "Attachments from 4 Messages are extracted\n");
    const std::vector<std::string> files = Files(home / ("out-" + c.Root), c.Root);
    EXPECT_EQ(files.size(), 12u) << c.Root;
    if (first.empty())
      first = files;
    else
      EXPECT_EQ(files, first) << c.Root;
  }
}

// A Maildir++ store as Dovecot and Evolution keep it: the top folder is the
// Inbox, ".Work" and ".Work.Projects" are folders below it, messages carry
// flags suffixes and tmp/ is never read. A message a mail program moves from
// new/ to cur/ (and flags as seen) after a run is no new message to the skip
// option; a message that arrived since is.
TEST(LocalMailCli, MaildirPlusPlusStoreAndAMessageMovedBetweenRuns) {
  test::TempDir home;
  const TEnv env = {{"HOME", home.Path()}, {"XDG_DATA_HOME", home / "data"}, {"LC_ALL", "C"}};
  const std::vector<std::string>& texts = Corpus();
  const std::string md = home / "Maildir";
  for (const char* dir : {"/tmp", "/.Work/new", "/.Work/tmp", "/.Work.Projects/tmp"})
    fs::create_directories(md + dir);
  test::WriteFile(md + "/cur/1001.M1P2.host:2,S", texts[0]);
  test::WriteFile(md + "/new/1002.M1P2.host", texts[1]);
  test::WriteFile(md + "/tmp/1009.M1P2.host", texts[3]);  // being delivered: never read
  test::WriteFile(md + "/.Work/cur/1003.M1P2.host:2,RS", texts[2]);
  test::WriteFile(md + "/.Work.Projects/cur/1004.M1P2.host:2,FS", texts[3]);

  const std::vector<std::string> run = {"extract",   "--source",          "maildir",  "--folder",
                                        md,          "--exclude",         "",         "--dest",
                                        home / "D1", "--skip-duplicates", "--layout", "0"};
  test::CliResult r = test::RunCli(run, env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  Has(r,
      "Reading Messages from Maildir ...\nAttachments from 2 Messages are extracted\n"
      "Reading Messages from .Work ...\nAttachments from 1 Message is extracted\n"
      "Reading Messages from .Work.Projects ...\nAttachments from 1 Message is extracted\n"
      "Finished extracting all folders.\n");
  HasErr(r, "folder\tInbox\t2\t2\t2\tFinished\n");
  HasErr(r, "folder\tWork\t1\t1\t1\tFinished\n");
  HasErr(r, "folder\tWork/Projects\t1\t1\t9\tFinished\n");
  EXPECT_EQ(Names(home / "D1").size(), 12u);
  for (const std::string& f : Names(home / "D1")) EXPECT_EQ(f.rfind("maildir/", 0), 0u) << f;
  EXPECT_TRUE(fs::exists(home / "data/Quillbox/Maildir/MDMailData.ini"));

  // Read, moved to cur/ and flagged; a new one arrives.
  fs::rename(md + "/new/1002.M1P2.host", md + "/cur/1002.M1P2.host:2,S");
  fs::rename(md + "/cur/1001.M1P2.host:2,S", md + "/cur/1001.M1P2.host:2,RS");
  test::WriteFile(md + "/new/1005.M1P2.host", Ref("zbateson-mail-mime-parser/m3003.txt"));
  std::vector<std::string> again = run;
  again[8] = home / "D2";
  r = test::RunCli(again, env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  HasErr(r, "folder\tInbox\t3\t1\t1\tFinished\n");
  const std::vector<std::string> arrived = Names(home / "D2");
  ASSERT_EQ(arrived.size(), 1u);
  EXPECT_NE(arrived[0].find("redball.png"), std::string::npos) << arrived[0];
}

// A Thunderbird profile in maildir format (folders without new/, nesting in
// "Name.sbd"), an Apple Mail export ("Name.mbox/mbox") of a Gmail Takeout
// whose messages carry labels, and a folder of .eml files.
TEST(LocalMailCli, ThunderbirdMaildirAppleExportWithLabelsAndEmlFolder) {
  test::TempDir home;
  const TEnv env = {{"HOME", home.Path()}, {"XDG_DATA_HOME", home / "data"}, {"LC_ALL", "C"}};
  const std::vector<std::string>& texts = Corpus();
  const std::string local = home / "tb/Mail/Local Folders";
  fs::create_directories(local + "/Inbox/tmp");
  fs::create_directories(local + "/Inbox.sbd/Sub/tmp");
  test::WriteFile(local + "/Inbox/cur/1233.eml", texts[0]);
  test::WriteFile(local + "/Inbox.sbd/Sub/cur/1234.eml", texts[1]);
  test::CliResult r = test::RunCli(
      {"extract", "--source", "maildir", "--folder", local, "--exclude", "", "--dest", home / "T"},
      env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  HasErr(r, "folder\tInbox\t1\t1\t1\tFinished\nfolder\tInbox/Sub\t1\t1\t1\tFinished\n");
  EXPECT_EQ(Names(home / "T").size(), 2u);

  std::vector<std::string> labelled;
  const char* labels[] = {"Inbox,Important", "\"Work, 2014\",Inbox", "Inbox,\r\n Important", ""};
  for (std::size_t i = 0; i < texts.size(); ++i)
    labelled.push_back(*labels[i] ? "X-Gmail-Labels: " + std::string(labels[i]) + "\n" + texts[i]
                                  : texts[i]);
  test::WriteFile(home / "Takeout.mbox/mbox", Mbox(labelled));
  r = test::RunCli({"extract", "--source", "mbox", "--mailbox", home / "Takeout.mbox", "--exclude",
                    "", "--dest", home / "A"},
                   env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  Has(r,
      "Reading Messages from Takeout.mbox ...\nAttachments from 4 Messages are extracted\n"
      "Label Important : 2 Messages\nLabel Inbox : 3 Messages\nLabel Work, 2014 : 1 Message\n"
      "Finished extracting all folders.\n");
  EXPECT_TRUE(fs::exists(home / "data/Quillbox/Mozilla/NSMailData.ini"));
  for (const std::string& f : Names(home / "A")) EXPECT_EQ(f.rfind("mbox/", 0), 0u) << f;

  // No labels, no label lines.
  test::WriteFile(home / "eml/one.eml", texts[0]);
  test::WriteFile(home / "eml/two.EML", texts[1]);
  test::WriteFile(home / "eml/notes.txt", texts[2]);
  r = test::RunCli({"extract", "--source", "eml", "--folder", home / "eml", "--exclude", "",
                    "--dest", home / "E"},
                   env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  Has(r,
      "Reading Messages from eml ...\nAttachments from 2 Messages are extracted\n"
      "Finished extracting all folders.\n");
  EXPECT_EQ(r.Out.find("Label "), std::string::npos);
  HasErr(r, "folder\teml\t2\t2\t2\tFinished\n");
  for (const std::string& f : Names(home / "E")) EXPECT_EQ(f.rfind("eml/", 0), 0u) << f;

  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"extract", "--source", "maildir", "--dest", home / "X"},
           {"extract", "--source", "eml", "--mailbox", home / "x", "--dest", home / "X"},
           {"extract", "--source", "mbox", "--profile", "default", "--dest", home / "X"}}) {
    r = test::RunCli(bad, env);
    EXPECT_EQ(r.Status, 1) << bad[2];
  }
  // A path that holds no mail: its folder cannot be opened.
  r = test::RunCli(
      {"extract", "--source", "maildir", "--folder", home / "none", "--dest", home / "X"}, env);
  EXPECT_EQ(r.Status, 3) << r.Err;
  Has(r, "Errror opening none\n");
}

}  // namespace
}  // namespace qb
