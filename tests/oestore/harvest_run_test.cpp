// "Get Email addresses from the Mails" in a run: the addresses of the
// processed messages are kept without repeats across runs, and the choice
// changes nothing in the destination or the log.
#include <gtest/gtest.h>

#include <atomic>

#include "oestore/dbxwriter.h"
#include "oestore/oOExpressThrd.h"
#include "platform/paths.h"
#include "tests/support/testsupport.h"
#include "web/addresses.h"

namespace qb {
namespace {

std::string Mail(const std::string& from, const std::string& to, const std::string& subject,
                 const std::string& date) {
  return "From: " + from + "\r\nTo: " + to + "\r\nCc: Cy <cy@example.net>\r\nSubject: " + subject +
         "\r\nDate: " + date +
         "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
         "--b\r\nContent-Type: text/html\r\n\r\n<a href=\"mailto:sales@example.com\">x</a>\r\n"
         "--b\r\nContent-Type: application/octet-stream; name=\"a.dat\"\r\n"
         "Content-Disposition: attachment; filename=\"a.dat\"\r\n\r\nDATA\r\n--b--\r\n";
}

struct TRun {
  std::vector<std::string> Log;
  std::vector<std::string> Tree;
};

TRun RunOnce(const std::string& root, const std::string& out, bool harvest) {
  test::RecordingView view;
  std::atomic<std::uint8_t> stop{0};
  TExtractionJob job;
  job.StoreFolder = root + "/store";
  job.DestinationDir = out;
  job.Folders.push_back({"Inbox", "Inbox.dbx", "", ""});
  job.PauseMs = 0;
  job.HarvestAddresses = harvest;
  job.View = &view;
  job.StopRequested = &stop;
  TOEExtracter worker(job);
  worker.Resume();
  worker.WaitFor();
  EXPECT_FALSE(worker.FatalException);
  return {view.Log, test::ListTree(out)};
}

TEST(HarvestRun, AddressesOfProcessedMessagesWithoutChangingTheRun) {
  test::TempDir dir;
  test::ScopedEnv dataHome{"XDG_DATA_HOME", dir / "appdata"};
  std::vector<TDbxSynthMessage> msgs(2);
  msgs[0].Text = Mail("\"Ann\" <Ann@Example.com>", "bob@example.org", "One",
                      "Sun, 21 Sep 2003 10:30:00 +0200");
  msgs[1].Text = Mail("bob@EXAMPLE.org", "ann@example.com, dee@example.org", "Two",
                      "Mon, 22 Sep 2003 10:30:00 +0200");
  test::WriteFile(dir / "store/Inbox.dbx", BuildDbxMessageFile(msgs, {}, nullptr));
  const std::string list = dir / "appdata/Quillbox/GrabbedEmails.txt";

  const TRun off = RunOnce(dir.Path(), dir / "off", false);
  EXPECT_FALSE(FileExists(list));
  const TRun on = RunOnce(dir.Path(), dir / "on", true);
  EXPECT_EQ(on.Log, off.Log);
  EXPECT_EQ(on.Tree, off.Tree);
  EXPECT_EQ(on.Tree.size(), 2u);
  const std::string expected =
      "Ann@Example.com\nbob@example.org\ncy@example.net\nsales@example.com\ndee@example.org\n";
  EXPECT_EQ(test::ReadFile(list), expected);

  // A second run finds the same addresses: nothing repeats.
  RunOnce(dir.Path(), dir / "again", true);
  EXPECT_EQ(test::ReadFile(list), expected);
}

}  // namespace
}  // namespace qb
