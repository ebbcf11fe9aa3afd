// What a run did, counted as it went: the end-of-run summary, and the
// receiver of the report rows (engine/reportcsv.h) with the report file
// written through the safe writing steps (platform/safefile.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "engine/reportcsv.h"

namespace qb {

struct TRunSummary {
  std::uint64_t MessagesRead = 0;
  std::uint64_t AttachmentsWritten = 0;
  std::uint64_t BytesWritten = 0;
  // Passed over by the include or the exclude list.
  std::uint64_t PassedOverByLists = 0;
  // Passed over because the name held the same bytes already.
  std::uint64_t SameBytesThere = 0;
  std::uint64_t LinksFetched = 0;
  // Failures by kind.
  std::uint64_t NotWritten = 0;
  std::uint64_t MessagesUnreadable = 0;
  std::uint64_t FoldersUnreadable = 0;
  std::uint64_t DownloadsFailed = 0;

  std::uint64_t Failures() const {
    return NotWritten + MessagesUnreadable + FoldersUnreadable + DownloadsFailed;
  }
  bool operator==(const TRunSummary&) const = default;
};

// One line per count, in the user's language, each ending in "\n".
std::string SummaryText(const TRunSummary& s);
// The whole summary on one line, in the user's language (no line end).
std::string SummaryLine(const TRunSummary& s);
// One JSON object on one line, "\n" at the end:
// {"messages_read":N,"attachments_written":N,"bytes_written":N,
//  "passed_over_by_lists":N,"same_bytes_already_there":N,"links_fetched":N,
//  "failures":{"not_written":N,"message_unreadable":N,"folder_unreadable":N,
//  "download_failed":N}}
std::string SummaryJson(const TRunSummary& s);

// Where a run hands its report rows, on the worker thread, in order.
class IReportRows {
 public:
  virtual ~IReportRows() = default;
  virtual void AddRow(const TReportRow& row) = 0;
};

// The rows as CSV on an open stream (the header first), unbuffered by us.
class TStreamReportRows : public IReportRows {
 public:
  explicit TStreamReportRows(std::FILE* out) : out_(out) {}
  void AddRow(const TReportRow& row) override;
  // Writes the header row when no row came.
  void Finish();

 private:
  std::FILE* out_;
  bool started_ = false;
};

// The rows as a CSV file in a directory: written under a temporary there
// and placed under its name when complete, never over another file.
class TReportFile : public IReportRows {
 public:
  TReportFile();
  ~TReportFile() override;
  // Opens the directory (created when missing) and the temporary; false on
  // failure.
  bool Open(const std::string& directory);
  void AddRow(const TReportRow& row) override;
  // Places the file as base + ext, or "base (2)" + ext, ... when the name
  // holds another file. Returns the path, "" when the file could not be
  // written or placed.
  std::string Finish(const std::string& base, const std::string& ext);

 private:
  void Put(const std::string& text, bool force);
  struct TState;
  std::unique_ptr<TState> state_;
};

// Digests the bytes of report rows on a thread of its own and hands the
// rows on in the order they came, so that the run does not wait for the
// digests. The rows reach out on that thread only.
class TReportHasher {
 public:
  explicit TReportHasher(IReportRows& out);
  ~TReportHasher();
  TReportHasher(const TReportHasher&) = delete;
  TReportHasher& operator=(const TReportHasher&) = delete;
  // The row, and when digest is set the bytes whose digest becomes its
  // Sha256. Waits while much is pending.
  void Add(TReportRow row, std::string bytes, bool digest);
  // Returns once every row is handed on; Add must not follow.
  void Finish();

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

// "Quillbox report YYYY-MM-DD HH.MM" for the time given (no extension).
std::string ReportFileBaseName(TDateTime when);

}  // namespace qb
