// quillbox-cli profiles, mailboxes and extract --source thunderbird on a
// Thunderbird home built here.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/app/cli_runner.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

std::string Mail(const std::string& subject, const std::string& day, const std::string& file) {
  return "From - Sat Jan  3 01:05:34 2009\r\nX-Mozilla-Status: 0001\r\nFrom: ann@example.com\r\n"
         "Subject: " +
         subject + "\r\nDate: " + day +
         " Jan 2009 10:00:00 +0000\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
         "--b\r\nContent-Type: text/plain\r\n\r\nhi\r\n--b\r\nContent-Type: application/pdf; "
         "name=\"" +
         file + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n--b--\r\n\r\n";
}

// A FIFO or a link to a device where a profiles.ini or a mailbox should be
// is passed over at once; a tree too deep is said, not kept silent.
TEST(MboxCli, SpecialFilesAreNeverReadAndCutTreesAreTold) {
  test::TempDir home;
  const std::vector<std::pair<std::string, std::string>> env = {
      {"HOME", home.Path()}, {"XDG_DATA_HOME", home / "data"}, {"LC_ALL", "C"}};
  std::filesystem::create_directories(home / ".thunderbird");
  ASSERT_EQ(::mkfifo((home / ".thunderbird/profiles.ini").c_str(), 0600), 0);
  test::CliResult r = test::RunCli({"profiles", "--thunderbird"}, env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "");

  const std::string mail = home / "Mail";
  test::WriteFile(mail + "/Inbox", Mail("in", "03", "a.pdf"));
  ASSERT_EQ(::mkfifo((mail + "/Fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", (mail + "/Zero").c_str()), 0);
  std::string deep = mail + "/Deep.sbd";
  for (int level = 0; level < 64; ++level) deep += "/d.sbd";
  test::WriteFile(deep + "/Lost", Mail("lost", "04", "b.pdf"));
  r = test::RunCli({"mailboxes", mail}, env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out.find("Fifo"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Out.find("Zero"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("mailbox\tInbox\t" + mail + "/Inbox\n"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Err, "quillbox-cli: the mailboxes below " + deep.substr(0, deep.size() - 6) +
                       " lie more than 64 levels deep and are left out\n");

  for (const char* box : {"Fifo", "Zero"}) {
    r = test::RunCli(
        {"extract", "--source", "thunderbird", "--mailbox", mail + "/" + box, "--dest", home / "D"},
        env);
    EXPECT_EQ(r.Status, 3) << box << r.Err;
    EXPECT_NE(r.Out.find("Errror opening " + std::string(box) + "\n"), std::string::npos)
        << box << r.Out;
  }
}

TEST(MboxCli, ProfilesMailboxesAndAProfileExtractedTwice) {
  test::TempDir home;
  const std::string profile = home / ".thunderbird/x1y2.default";
  test::WriteFile(home / ".thunderbird/profiles.ini",
                  "[Profile0]\nName=default\nIsRelative=1\nPath=x1y2.default\n");
  const std::string local = profile + "/Mail/Local Folders/";
  test::WriteFile(local + "Inbox", Mail("in", "03", "a.pdf") + Mail("in2", "04", "b.pdf"));
  test::WriteFile(local + "Inbox.msf", "");
  test::WriteFile(local + "Archives", "");
  test::WriteFile(local + "Archives.sbd/2009", Mail("old", "05", "c.pdf"));
  test::WriteFile(profile + "/ImapMail/imap.example.com/INBOX", Mail("imap", "06", "d.pdf"));
  const std::vector<std::pair<std::string, std::string>> env = {
      {"HOME", home.Path()}, {"XDG_DATA_HOME", home / "data"}, {"LC_ALL", "C"}};

  test::CliResult r = test::RunCli({"profiles", "--thunderbird"}, env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "default\t" + profile + "\tthunderbird\n");

  r = test::RunCli({"mailboxes", profile + "/Mail"}, env);
  EXPECT_EQ(r.Out, "folder\tLocal Folders\t" + profile +
                       "/Mail/Local Folders\n"
                       "mailbox\tLocal Folders/Archives\t" +
                       local +
                       "Archives\n"
                       "folder\tLocal Folders/Archives\t" +
                       local +
                       "Archives.sbd\n"
                       "mailbox\tLocal Folders/Archives/2009\t" +
                       local +
                       "Archives.sbd/2009\n"
                       "mailbox\tLocal Folders/Inbox\t" +
                       local + "Inbox\n");

  const std::vector<std::string> extract = {"extract",   "--source",         "thunderbird",
                                            "--profile", "default",          "--dest",
                                            home / "D",  "--skip-duplicates"};
  r = test::RunCli(extract, env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(
      r.Out.find("Reading Messages from INBOX ...\nAttachments from 1 Message is extracted\n"),
      std::string::npos)
      << r.Out;
  EXPECT_NE(r.Err.find("folder\tImapMail/imap.example.com/INBOX\t1\t1\t1\tFinished"),
            std::string::npos)
      << r.Err;
  const std::vector<std::string> all = {
      "thunderbird/2009.01.03 - a.pdf", "thunderbird/2009.01.04 - b.pdf",
      "thunderbird/2009.01.05 - c.pdf", "thunderbird/2009.01.06 - d.pdf"};
  EXPECT_EQ(test::ListTree(home / "D"), all);
  EXPECT_EQ(test::ReadFile(home / "D/thunderbird/2009.01.03 - a.pdf"), "%PDF");

  // Nothing new the second time: the destination stays empty.
  std::filesystem::remove_all(home / "D");
  r = test::RunCli(extract, env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(test::ListTree(home / "D").empty());

  r = test::RunCli(
      {"extract", "--source", "thunderbird", "--mailbox", local + "Inbox", "--dest", home / "E"},
      env);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(test::ListTree(home / "E").size(), 2u);

  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"extract", "--source", "thunderbird", "--dest", home / "D"},
           {"extract", "--source", "mozilla", "--profile", "default", "--dest", home / "D"},
           {"profiles", "--netscape"}}) {
    r = test::RunCli(bad, env);
    EXPECT_EQ(r.Status, 1) << bad[0] << " " << bad[1];
  }
}

}  // namespace
}  // namespace qb
