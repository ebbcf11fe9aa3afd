// The report's digest thread: rows leave in the order they came, each with
// the digest of its bytes when asked for (none of nothing is the digest of
// no bytes), and a row that has its digest keeps it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/runsummary.h"
#include "platform/sha256.h"

namespace qb {
namespace {

struct TCollected : IReportRows {
  void AddRow(const TReportRow& row) override { Rows.push_back(row); }
  std::vector<TReportRow> Rows;
};

TEST(ReportHasher, RowsInOrderWithTheDigestsOfTheirBytes) {
  TCollected out;
  std::vector<std::string> expected;
  {
    TReportHasher hasher(out);
    for (int i = 0; i < 1000; ++i) {
      TReportRow row;
      row.OriginalName = std::to_string(i);
      std::string bytes(static_cast<std::size_t>(i * 37 % 5000), static_cast<char>('a' + i % 26));
      switch (i % 3) {
        case 0:  // digested here
          expected.push_back(Sha256Hex(bytes));
          hasher.Add(row, bytes, true);
          break;
        case 1:  // has its digest
          row.Sha256 = "given";
          expected.push_back("given");
          hasher.Add(row, "", false);
          break;
        default:  // none
          expected.push_back("");
          hasher.Add(row, "", false);
          break;
      }
    }
    hasher.Finish();
    EXPECT_EQ(out.Rows.size(), 1000u);
  }
  ASSERT_EQ(out.Rows.size(), 1000u);
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(out.Rows[i].OriginalName, std::to_string(i));
    EXPECT_EQ(out.Rows[i].Sha256, expected[i]) << i;
  }
  EXPECT_EQ(out.Rows[0].Sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace qb
