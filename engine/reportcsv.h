// The rows of a run's report: one per attachment the run considered and one
// per file a link brought or link that failed, as
// CSV (RFC 4180: fields separated by commas, quoted when they hold a comma,
// a double quote, CR or LF, with inner quotes doubled; CR LF after every
// row), in UTF-8, after a header row. Someone who finds a file in the tree
// can tell from its row which message it came from; the digests make the
// report a manifest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/datetime.h"

namespace qb {

// What became of one attachment or linked file.
enum class TReportOutcome { Written, SameBytesThere, Excluded, Failed };

struct TReportRow {
  // Below the destination, with "/" between levels; "" when nothing was
  // written (excluded, or failed before it was placed).
  std::string WrittenPath;
  TReportOutcome Outcome = TReportOutcome::Written;
  // Why it was excluded or failed ("" otherwise).
  std::string Reason;
  std::uint64_t Size = 0;
  // Lower-case hex SHA-256 of its bytes; "" when they were never read.
  std::string Sha256;
  // The attachment's name as the message gives it; for a link, the file
  // name taken from it.
  std::string OriginalName;
  // The store file or mailbox path, the folder and the message's fields.
  std::string Source;
  std::string Folder;
  TDateTime Date = 0;  // 0: the message has none
  std::string From;
  std::string Subject;
  std::string MessageID;
};

// "written", "same bytes already there", "excluded", "failed".
const char* ReportOutcomeText(TReportOutcome outcome);

// One field: as it is, or quoted when it must be.
std::string CsvField(std::string_view text);

// The header row, CR LF included.
std::string ReportHeaderRow();

// One row, CR LF included. Texts are made UTF-8 (valid UTF-8 as it is, the
// rest from the system code page); the date is "yyyy-mm-dd hh:nn:ss", or
// empty for none.
std::string ReportRowText(const TReportRow& row);

// The path of a file below destination, relative to it with "/" between
// levels; "" when the file is not below destination.
std::string PathBelowDestination(const std::string& path, const std::string& destination);

// SHA-256 through nettle, fed in pieces.
class TReportDigest {
 public:
  TReportDigest();
  ~TReportDigest();
  TReportDigest(const TReportDigest&) = delete;
  TReportDigest& operator=(const TReportDigest&) = delete;
  void Update(const char* data, std::size_t size);
  // Lower-case hex; starts a new digest.
  std::string HexDigest();

 private:
  struct TState;
  TState* state_;
};

}  // namespace qb
