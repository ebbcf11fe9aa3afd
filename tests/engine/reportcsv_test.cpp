// The report's rows: RFC 4180 fields, UTF-8, the header, the digests.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/reportcsv.h"
#include "platform/sha256.h"

namespace qb {
namespace {

TEST(ReportCsv, FieldsAreQuotedOnlyWhenTheyMustBe) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"report.pdf", "report.pdf"},
      {"a, b", "\"a, b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {"lf\nonly", "\"lf\nonly\""},
      {" blanks kept ", " blanks kept "},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(CsvField(in), out) << in;
}

TEST(ReportCsv, RowsInUtf8UnderTheHeader) {
  EXPECT_EQ(ReportHeaderRow(),
            "Written path,Outcome,Reason,Size,SHA-256,Original name,Source,Folder,Date,From,"
            "Subject,Message-ID\r\n");
  TReportRow written;
  written.WrittenPath = "outlookExpress/2003.09.21/Offer/report.doc";
  written.Size = 3;
  written.Sha256 = Sha256Hex("abc");
  written.OriginalName = "report.doc";
  written.Source = "/home/ann/Mail/Inbox.dbx";
  written.Folder = "Inbox";
  written.Date = EncodeDate(2003, 9, 21) + EncodeTime(10, 5, 7);
  written.From = "Ann <ann@example.com>";
  written.Subject = "Offer, \"final\"";
  written.MessageID = "<1@example.com>";
  TReportRow excluded;
  excluded.Outcome = TReportOutcome::Excluded;
  excluded.Reason = "extension list";
  excluded.OriginalName = "caf\xE9.exe";  // Windows-1252
  excluded.Subject =
      "Gr\xC3\xBC\xC3\x9F"
      "e";  // UTF-8 already
  TReportRow failed;
  failed.Outcome = TReportOutcome::Failed;
  failed.Reason = "Unable to Create Directory";
  TReportRow same;
  same.Outcome = TReportOutcome::SameBytesThere;
  same.WrittenPath = "a.txt";
  const std::vector<std::pair<TReportRow, std::string>> cases = {
      {written,
       "outlookExpress/2003.09.21/Offer/report.doc,written,,3,"
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad,report.doc,"
       "/home/ann/Mail/Inbox.dbx,Inbox,2003-09-21 10:05:07,Ann <ann@example.com>,"
       "\"Offer, \"\"final\"\"\",<1@example.com>\r\n"},
      {excluded,
       ",excluded,extension list,0,,caf\xC3\xA9.exe,,,,,Gr\xC3\xBC\xC3\x9F"
       "e,\r\n"},
      {failed, ",failed,Unable to Create Directory,0,,,,,,,,\r\n"},
      {same, "a.txt,same bytes already there,,0,,,,,,,,\r\n"},
  };
  for (const auto& [row, text] : cases) EXPECT_EQ(ReportRowText(row), text);
}

TEST(ReportCsv, DigestThroughNettleInPieces) {
  const std::string data(100000, 'q');
  for (std::size_t piece : {1u, 7u, 64u, 65536u}) {
    TReportDigest d;
    for (std::size_t at = 0; at < data.size(); at += piece)
      d.Update(data.data() + at, std::min(piece, data.size() - at));
    EXPECT_EQ(d.HexDigest(), Sha256Hex(data)) << piece;
  }
  TReportDigest empty;
  EXPECT_EQ(empty.HexDigest(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(ReportCsv, PathsRelativeToTheDestination) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"/out/outlook/a.txt", "/out", "outlook/a.txt"},
      {"/out/outlook/a.txt", "/out/", "outlook/a.txt"},
      {"/outside/a.txt", "/out", ""},
      {"/out", "/out", ""},
      {"/out/../etc/passwd", "/out", ""},
      {"/out/a..b.txt", "/out", "a..b.txt"},
      {"/a.txt", "/", "a.txt"},
      {"/out/a.txt", "", ""},
  };
  for (const auto& [path, dest, rel] : cases)
    EXPECT_EQ(PathBelowDestination(path, dest), rel) << path << " " << dest;
}

}  // namespace
}  // namespace qb
