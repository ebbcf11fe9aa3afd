// The local mail run: Gmail labels, and progress by bytes for a mailbox
// file, by messages for a Maildir folder, with and without reading ahead.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "maildir/localworker.h"
#include "maildir/messagefiles.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

TEST(GmailLabels, SplitAtCommasOutsideQuotesOncePerMessage) {
  struct TCase {
    std::string Text;
    std::vector<std::string> Labels;
  };
  const std::vector<TCase> cases = {
      {"From: a\nX-Gmail-Labels: Inbox,Important\n\nbody\n", {"Inbox", "Important"}},
      {"x-gmail-labels:  \"Work, 2019\" , Inbox,Inbox\r\n\r\n", {"Work, 2019", "Inbox"}},
      {"X-Gmail-Labels: Inbox,\r\n Category Updates\r\nSubject: s\r\n\r\n",
       {"Inbox", "Category Updates"}},
      {"Subject: s\n\nX-Gmail-Labels: Body\n", {}},  // a body line is no header
      {"X-Gmail-Labels:\n\n", {}},
      {"", {}},
  };
  for (const TCase& c : cases) EXPECT_EQ(GmailLabels(c.Text), c.Labels) << c.Text;
}

TEST(MessageFileError, SaysWhatKindOfFault) {
  test::TempDir dir;
  test::WriteFile(dir / "plain/a.eml", "Subject: a\n\n");
  const auto kindOf = [](auto&& open) {
    try {
      open();
    } catch (const EQuillboxError& e) {
      return static_cast<int>(e.Kind());
    }
    return -1;
  };
  EXPECT_EQ(kindOf([&] { TMessageFiles::OfMaildir(dir / "plain"); }),
            static_cast<int>(TErrorKind::Usage));
  EXPECT_EQ(kindOf([&] { TMessageFiles::OfEmlFolder(dir / "missing"); }),
            static_cast<int>(TErrorKind::InOut));
  const TMessageFiles files = TMessageFiles::OfEmlFolder(dir / "plain", 4);
  std::string key, text;
  EXPECT_EQ(kindOf([&] { files.Read(0, key, text); }), static_cast<int>(TErrorKind::InputDamaged));
}

std::string Mail(int n, const std::string& filler) {
  return "From: ann@example.com\nSubject: m" + std::to_string(n) +
         "\nDate: Sat, 03 Jan 2009 10:00:00 +0000\nX-Gmail-Labels: Inbox\n"
         "Content-Type: multipart/mixed; boundary=\"b\"\n\n--b\nContent-Type: text/plain\n\n" +
         filler + "\n--b\nContent-Type: application/pdf; name=\"f" + std::to_string(n) +
         ".pdf\"\nContent-Transfer-Encoding: base64\n\nJVBERg==\n--b--\n";
}

std::vector<std::string> Positions(const std::vector<std::string>& trace) {
  std::vector<std::string> out;
  for (const std::string& t : trace)
    if (t.rfind("max ", 0) == 0 || t.rfind("position ", 0) == 0) out.push_back(t);
  return out;
}

TEST(LocalMailRun, MailboxProgressGoesByBytesMaildirByMessages) {
  test::TempDir dir;
  test::ScopedEnv data("XDG_DATA_HOME", dir / "appdata");
  // Four messages; the second and the third fill about half of the file.
  const std::string small(100, 's'), large(2000, 'l');
  std::string box;
  for (int n = 0; n < 4; ++n)
    box += "From - Sat Jan  3 01:05:34 2009\n" + Mail(n, n == 1 || n == 2 ? large : small) + "\n";
  test::WriteFile(dir / "Takeout.mbox/mbox", box);
  for (int n = 0; n < 2; ++n)
    test::WriteFile(dir / ("Maildir/cur/" + std::to_string(n) + ":2,S"), Mail(n, small));
  test::WriteFile(dir / "Maildir/new/.keep", "");
  struct TCase {
    TSourceKind Kind;
    std::string Path;
    std::vector<std::string> Positions, Log;
    // The row's total before the first message and at the end, and the first
    // message's status.
    int TotalBefore, Total;
    std::string Processing;
  };
  const std::vector<TCase> cases = {
      {TSourceKind::Mbox,
       dir / "Takeout.mbox",
       {"max 1", "position 0", "max 1000", "position 0", "position 68", "position 493",
        "position 919", "position 993", "position 1000"},
       {"log Reading Messages from Takeout.mbox ...",
        "log Attachments from 4 Messages are extracted", "log Label Inbox : 4 Messages",
        "log Finished extracting all folders."},
       kRowTotalUnknown,
       4,
       "Folder : Processing Message 1 ..."},
      {TSourceKind::Maildir,
       dir / "Maildir",
       {"max 1", "position 0", "max 2", "position 0", "position 1", "position 2"},
       {"log Reading Messages from Maildir ...", "log Attachments from 2 Messages are extracted",
        "log Label Inbox : 2 Messages", "log Finished extracting all folders."},
       2,
       2,
       "Folder : Processing Message 1 of 2 ..."},
  };
  for (const TCase& c : cases)
    for (const bool ahead : {false, true}) {
      test::RecordingView view;
      std::atomic<std::uint8_t> stop{0};
      TExtractionJob job;
      job.SourceKind = c.Kind;
      job.DestinationDir = dir / (ahead ? "out-ahead" : "out");
      job.PauseMs = 0;
      job.View = &view;
      job.StopRequested = &stop;
      job.Folders = {{"Folder", c.Path, "", ""}};
      TLocalMailExtracter w(job);
      w.SetPrepareAhead(ahead);
      w.Resume();
      w.WaitFor();
      EXPECT_FALSE(w.RunHadFailures());
      EXPECT_EQ(Positions(view.Trace), c.Positions) << c.Path << " ahead " << ahead;
      // A mailbox is not counted before it is read; its row ends with the count.
      EXPECT_EQ(view.Rows.at(0).Total, c.Total);
      const auto first = std::find_if(view.Trace.begin(), view.Trace.end(), [](const auto& t) {
        return t.rfind("row 0 Folder", 0) == 0;
      });
      ASSERT_NE(first, view.Trace.end());
      EXPECT_EQ(first->substr(first->rfind(' ') + 1), std::to_string(c.TotalBefore)) << *first;
      EXPECT_NE(std::find(view.Statuses.begin(), view.Statuses.end(), c.Processing),
                view.Statuses.end());
      // The log lines from the folder's on.
      std::vector<std::string> log;
      for (const std::string& t : view.Trace)
        if (t.rfind("log Reading", 0) == 0 || (!log.empty() && t.rfind("log ", 0) == 0))
          log.push_back(t);
      EXPECT_EQ(log, c.Log) << c.Path;
    }
}

}  // namespace
}  // namespace qb
