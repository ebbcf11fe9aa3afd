// quillbox-cli extract's summary, report and dry run, on the sample store of
// make-sample-store: the counts exactly, report rows against the files
// written, and a dry run that writes nothing yet lists what a run writes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/sha256.h"
#include "tests/app/cli_runner.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using test::CliResult;

// RFC 4180 rows: fields split at commas outside quotes, "" inside quotes.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        rows.back().back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        rows.back().back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.emplace_back(1);
      ++i;
    } else {
      rows.back().back() += c;
    }
  }
  if (rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
  return rows;
}

class ReportCli : public ::testing::Test {
 protected:
  ReportCli() {
    const CliResult r = Run({"make-sample-store", Store()});
    EXPECT_EQ(r.Status, 0) << r.Err;
  }
  CliResult Run(const std::vector<std::string>& args) {
    return test::RunCli(
        args,
        {{"LC_ALL", "C"}, {"XDG_DATA_HOME", dir / "appdata"}, {"XDG_CONFIG_HOME", dir / "config"}});
  }
  CliResult Extract(const std::string& dest, std::vector<std::string> more) {
    std::vector<std::string> args = {"extract", "--store", Store(), "--dest", dest};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args);
  }
  std::string Store() const { return dir / "store"; }
  test::TempDir dir;
};

TEST_F(ReportCli, SummaryCountsOnTheSampleStoreAndOnOneWithFailures) {
  const std::string whole = test::ReadFile(Store() + "/Inbox.dbx");
  struct Case {
    const char* What;
    std::string Dest;
    std::vector<std::string> Args;
    std::string Json;
    std::string Text;  // the failures line of the summary on stderr
  };
  const std::string same = dir / "same";
  const Case cases[] = {
      {"sample store",
       same,
       {},
       "{\"messages_read\":7,\"attachments_written\":7,\"bytes_written\":3356,"
       "\"passed_over_by_lists\":1,\"same_bytes_already_there\":0,\"links_fetched\":0,"
       "\"failures\":{\"not_written\":0,\"message_unreadable\":0,\"folder_unreadable\":0,"
       "\"download_failed\":0}}\n",
       "Messages read: 7\nAttachments written: 7 (3356 bytes)\n"
       "Passed over by the extension lists: 1\nPassed over as already there (same bytes): 0\n"
       "Links fetched: 0\nFailures: 0 not written, 0 messages unreadable, 0 folders unreadable, "
       "0 downloads failed\n"},
      {"again: the same bytes are there",
       same,
       {},
       "{\"messages_read\":7,\"attachments_written\":0,\"bytes_written\":0,"
       "\"passed_over_by_lists\":1,\"same_bytes_already_there\":7,\"links_fetched\":0,"
       "\"failures\":{\"not_written\":0,\"message_unreadable\":0,\"folder_unreadable\":0,"
       "\"download_failed\":0}}\n",
       "Passed over as already there (same bytes): 7\n"},
      {"no directory, a folder missing",
       dir / "blocked",
       {"--folder", "Inbox.dbx", "--folder", "Missing.dbx", "--include", "pdf", "--selected-only"},
       "{\"messages_read\":4,\"attachments_written\":0,\"bytes_written\":0,"
       "\"passed_over_by_lists\":3,\"same_bytes_already_there\":0,\"links_fetched\":0,"
       "\"failures\":{\"not_written\":1,\"message_unreadable\":0,\"folder_unreadable\":1,"
       "\"download_failed\":0}}\n",
       "Failures: 1 not written, 0 messages unreadable, 1 folders unreadable, 0 downloads "
       "failed\n"},
      {"store cut short",
       dir / "cut",
       {"--folder", "Inbox.dbx"},
       "{\"messages_read\":0,\"attachments_written\":0,\"bytes_written\":0,"
       "\"passed_over_by_lists\":0,\"same_bytes_already_there\":0,\"links_fetched\":0,"
       "\"failures\":{\"not_written\":0,\"message_unreadable\":4,\"folder_unreadable\":0,"
       "\"download_failed\":0}}\n",
       "Failures: 0 not written, 4 messages unreadable, 0 folders unreadable, 0 downloads "
       "failed\n"},
  };
  test::WriteFile(dir / "blocked/outlookExpress", "a file where a directory belongs");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    if (c.Dest == dir / "cut")
      test::WriteFile(Store() + "/Inbox.dbx", whole.substr(0, whole.size() / 2));
    std::vector<std::string> args = c.Args;
    args.push_back("--summary-json");
    const CliResult r = Extract(c.Dest, args);
    // The JSON object is the last line of stdout, after the log.
    ASSERT_GE(r.Out.size(), c.Json.size());
    EXPECT_EQ(r.Out.substr(r.Out.size() - c.Json.size()), c.Json) << r.Out;
    EXPECT_NE(r.Out.find("Finished extracting all folders.\n{"), std::string::npos);
    // On stderr after the folder rows.
    const std::size_t rows = r.Err.rfind("folder\t");
    const std::size_t text = r.Err.find(c.Text);
    EXPECT_NE(text, std::string::npos) << r.Err;
    EXPECT_LT(rows, text) << r.Err;
  }
}

TEST_F(ReportCli, ReportRowsMatchTheWrittenTreeAndTheirDigestsTheFiles) {
  const std::string dest = dir / "out";
  const CliResult r = Extract(dest, {"--report", dir / "report.csv"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const auto rows = ParseCsv(test::ReadFile(dir / "report.csv"));
  ASSERT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Written path", "Outcome", "Reason", "Size",
                                               "SHA-256", "Original name", "Source", "Folder",
                                               "Date", "From", "Subject", "Message-ID"}));
  std::vector<std::string> written;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const auto& row = rows[i];
    ASSERT_EQ(row.size(), 12u);
    if (row[1] == "excluded") {
      EXPECT_EQ(row, (std::vector<std::string>{"", "excluded", "in the exclude list", "0", "",
                                               "setup.exe", Store() + "/Inbox.dbx", "Inbox",
                                               "2003-09-23 08:45:00", "bob@example.net",
                                               "Tool you asked for", row[11]}));
      continue;
    }
    EXPECT_EQ(row[1], "written");
    const std::string bytes = test::ReadFile(dest + "/" + row[0]);
    EXPECT_EQ(row[3], std::to_string(bytes.size())) << row[0];
    EXPECT_EQ(row[4], Sha256Hex(bytes)) << row[0];
    EXPECT_NE(row[0].find(row[5]), std::string::npos) << row[0];
    written.push_back(row[0]);
  }
  std::sort(written.begin(), written.end());
  std::vector<std::string> tree = test::ListTree(dest);
  EXPECT_EQ(written, tree);
  // The source message of a file, from its row alone.
  const auto& pdf = rows[1];
  EXPECT_EQ(pdf[0], "outlookExpress/2003.09.22 - report.pdf");
  EXPECT_EQ(std::vector<std::string>(pdf.begin() + 6, pdf.begin() + 11),
            (std::vector<std::string>{Store() + "/Inbox.dbx", "Inbox", "2003-09-22 14:02:11",
                                      "ann@example.com", "Quarterly report"}));
  EXPECT_EQ(pdf[11].front(), '<');

  // The report never replaces a file: the next name, said on stderr.
  const CliResult again = Extract(dest, {"--report", dir / "report.csv"});
  EXPECT_EQ(again.Status, 0) << again.Err;
  EXPECT_TRUE(FileExists(dir / "report (2).csv"));
  EXPECT_NE(again.Err.find("the report is " + dir / "report (2).csv"), std::string::npos)
      << again.Err;
}

TEST_F(ReportCli, ADryRunWritesNothingAndListsExactlyWhatARunWrites) {
  const std::string dest = dir / "out";
  const CliResult dry = Extract(dest, {"--dry-run"});
  ASSERT_EQ(dry.Status, 0) << dry.Err;
  EXPECT_FALSE(DirectoryExists(dest));
  EXPECT_FALSE(DirectoryExists(dir / "appdata"));
  // The rows on stdout, the log on stderr.
  EXPECT_EQ(dry.Out.rfind("Written path,Outcome,", 0), 0u) << dry.Out;
  EXPECT_NE(dry.Err.find("Finished extracting all folders.\n"), std::string::npos);

  const CliResult real = Extract(dest, {"--report", dir / "report.csv"});
  ASSERT_EQ(real.Status, 0) << real.Err;
  EXPECT_EQ(test::ReadFile(dir / "report.csv"), dry.Out);
  EXPECT_TRUE(FileExists(dir / "appdata/Quillbox/OE/OEMailData.ini"));

  // Over the tree a run wrote, and with a name taken by other bytes: the
  // dry run names what the run then does, and leaves tree and history alone.
  test::WriteFile(dest + "/outlookExpress/2003.10.11 - beach.bmp", "other bytes");
  const std::string before = test::TreeContents(dir.Path());
  const CliResult dry2 = Extract(dest, {"--dry-run", "--report", dir / "dry.csv"});
  ASSERT_EQ(dry2.Status, 0) << dry2.Err;
  const std::string planned = test::ReadFile(dir / "dry.csv");
  ::unlink((dir / "dry.csv").c_str());
  EXPECT_EQ(test::TreeContents(dir.Path()), before);
  EXPECT_EQ(dry2.Out.find("Written path"), std::string::npos);
  const CliResult real2 = Extract(dest, {"--report", dir / "real.csv"});
  ASSERT_EQ(real2.Status, 0) << real2.Err;
  const std::string rows = test::ReadFile(dir / "real.csv");
  EXPECT_EQ(rows, planned);
  EXPECT_NE(rows.find("outlookExpress/2003.10.11 - beach (2).bmp,written,"), std::string::npos)
      << rows;
  EXPECT_NE(rows.find("outlookExpress/2003.10.11 - sunset.png,same bytes already there,"),
            std::string::npos);

  // With the skip choice the dry run reads the history, and only reads it:
  // every message was saved before, so neither run considers a file.
  const std::string saved = test::TreeContents(dir.Path());
  const CliResult dry3 =
      Extract(dest, {"--dry-run", "--skip-duplicates", "--report", dir / "dry3.csv"});
  ASSERT_EQ(dry3.Status, 0) << dry3.Err;
  const std::string skipped = test::ReadFile(dir / "dry3.csv");
  ::unlink((dir / "dry3.csv").c_str());
  EXPECT_EQ(test::TreeContents(dir.Path()), saved);
  const CliResult real3 = Extract(dest, {"--skip-duplicates", "--report", dir / "real3.csv"});
  ASSERT_EQ(real3.Status, 0) << real3.Err;
  EXPECT_EQ(test::ReadFile(dir / "real3.csv"), skipped);
  EXPECT_EQ(ParseCsv(skipped).size(), 1u) << skipped;

  // A file where a run would make its directory: the dry run foresees the
  // failure a run then meets, row for row.
  const std::string blocked = dir / "blocked";
  test::WriteFile(blocked + "/outlookExpress", "a file");
  const CliResult dry4 = Extract(blocked, {"--dry-run", "--report", dir / "dry4.csv"});
  const CliResult real4 = Extract(blocked, {"--report", dir / "real4.csv"});
  EXPECT_EQ(dry4.Status, real4.Status) << dry4.Err;
  const std::string failed = test::ReadFile(dir / "real4.csv");
  EXPECT_EQ(test::ReadFile(dir / "dry4.csv"), failed);
  EXPECT_NE(failed.find(",failed,the directory could not be made,"), std::string::npos) << failed;
  EXPECT_NE((dry4.Out + dry4.Err).find("Unable to Create Directory - " + blocked),
            std::string::npos);
}

}  // namespace
}  // namespace qb
