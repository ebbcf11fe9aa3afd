#include "engine/runsummary.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/datetime.h"
#include "platform/i18n.h"
#include "platform/safefile.h"

namespace qb {

namespace {

std::string N(std::uint64_t value) {
  return std::to_string(value);
}

}  // namespace

std::string SummaryText(const TRunSummary& s) {
  std::string out;
  const auto line = [&out](const char* pattern, std::initializer_list<std::string_view> args) {
    out += Substitute(Translate(pattern), args) + "\n";
  };
  line(N_("Messages read: %1"), {N(s.MessagesRead)});
  line(N_("Attachments written: %1 (%2 bytes)"), {N(s.AttachmentsWritten), N(s.BytesWritten)});
  line(N_("Passed over by the extension lists: %1"), {N(s.PassedOverByLists)});
  line(N_("Passed over as already there (same bytes): %1"), {N(s.SameBytesThere)});
  line(N_("Links fetched: %1"), {N(s.LinksFetched)});
  line(N_("Failures: %1 not written, %2 messages unreadable, %3 folders unreadable, %4 downloads "
          "failed"),
       {N(s.NotWritten), N(s.MessagesUnreadable), N(s.FoldersUnreadable), N(s.DownloadsFailed)});
  return out;
}

std::string SummaryLine(const TRunSummary& s) {
  return Substitute(
      Translate("Summary: %1 messages read, %2 attachments written (%3 bytes), %4 "
                "passed over by the lists, %5 already there, %6 links fetched, %7 "
                "failures"),
      {N(s.MessagesRead), N(s.AttachmentsWritten), N(s.BytesWritten), N(s.PassedOverByLists),
       N(s.SameBytesThere), N(s.LinksFetched), N(s.Failures())});
}

std::string SummaryJson(const TRunSummary& s) {
  return "{\"messages_read\":" + N(s.MessagesRead) +
         ",\"attachments_written\":" + N(s.AttachmentsWritten) +
         ",\"bytes_written\":" + N(s.BytesWritten) +
         ",\"passed_over_by_lists\":" + N(s.PassedOverByLists) +
         ",\"same_bytes_already_there\":" + N(s.SameBytesThere) +
         ",\"links_fetched\":" + N(s.LinksFetched) +
         ",\"failures\":{\"not_written\":" + N(s.NotWritten) +
         ",\"message_unreadable\":" + N(s.MessagesUnreadable) +
         ",\"folder_unreadable\":" + N(s.FoldersUnreadable) +
         ",\"download_failed\":" + N(s.DownloadsFailed) + "}}\n";
}

void TStreamReportRows::AddRow(const TReportRow& row) {
  if (!started_) {
    started_ = true;
    const std::string header = ReportHeaderRow();
    std::fwrite(header.data(), 1, header.size(), out_);
  }
  const std::string text = ReportRowText(row);
  std::fwrite(text.data(), 1, text.size(), out_);
}

void TStreamReportRows::Finish() {
  if (!started_) {
    started_ = true;
    const std::string header = ReportHeaderRow();
    std::fwrite(header.data(), 1, header.size(), out_);
  }
  std::fflush(out_);
}

struct TReportFile::TState {
  TSafeDir Dir;
  std::unique_ptr<TPendingFile> File;
  std::string Buffer;
  bool Failed = false;
};

TReportFile::TReportFile() : state_(std::make_unique<TState>()) {}
TReportFile::~TReportFile() = default;

bool TReportFile::Open(const std::string& directory) {
  state_->File.reset();
  if (!state_->Dir.Open(directory, "", true)) return false;
  state_->File = std::make_unique<TPendingFile>(state_->Dir);
  if (!state_->File->IsOpen()) {
    state_->File.reset();
    return false;
  }
  state_->Buffer = ReportHeaderRow();
  return true;
}

void TReportFile::Put(const std::string& text, bool force) {
  state_->Buffer += text;
  // Written in large pieces: one row at a time would cost a system call each.
  if (!force && state_->Buffer.size() < (1u << 16)) return;
  if (!state_->File || !state_->File->Write(state_->Buffer.data(), state_->Buffer.size()))
    state_->Failed = true;
  state_->Buffer.clear();
}

void TReportFile::AddRow(const TReportRow& row) {
  if (!state_->File || state_->Failed) return;
  Put(ReportRowText(row), false);
}

std::string TReportFile::Finish(const std::string& base, const std::string& ext) {
  if (!state_->File) return "";
  Put("", true);
  if (state_->Failed) return "";
  const TPlaced placed =
      state_->File->Place([&base, &ext](int n) { return NumberedName(base, ext, n); });
  state_->File.reset();
  if (placed.Result == TPlaceResult::Failed) return "";
  std::string dir = state_->Dir.Path();
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + placed.Name;
}

struct TReportHasher::TState {
  explicit TState(IReportRows& out) : Out(out) {}
  void Run() {
    std::deque<std::pair<TReportRow, std::string>> batch;
    TReportDigest digest;
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(Mutex);
        Wake.wait(lock, [this] { return !Queue.empty() || Done; });
        if (Queue.empty()) return;
        batch.swap(Queue);
        Pending = 0;
      }
      Room.notify_all();
      for (auto& [row, bytes] : batch) {
        if (row.Sha256 == "-") {
          digest.Update(bytes.data(), bytes.size());
          row.Sha256 = digest.HexDigest();
        }
        Out.AddRow(row);
      }
      batch.clear();
    }
  }

  // The worker wakes the thread only now and then: every row would cost a
  // wake-up each.
  static constexpr std::size_t kWakeBytes = std::size_t{1} << 20;
  static constexpr std::size_t kWakeRows = 64;
  static constexpr std::size_t kMaxPending = std::size_t{32} << 20;

  IReportRows& Out;
  std::mutex Mutex;
  std::condition_variable Wake, Room;
  std::deque<std::pair<TReportRow, std::string>> Queue;
  std::size_t Pending = 0;  // bytes queued, rows counted as 256 each
  bool Done = false;
  std::thread Thread;
};

TReportHasher::TReportHasher(IReportRows& out) : state_(std::make_unique<TState>(out)) {
  state_->Thread = std::thread([s = state_.get()] { s->Run(); });
}

TReportHasher::~TReportHasher() {
  Finish();
}

void TReportHasher::Add(TReportRow row, std::string bytes, bool digest) {
  bool wake = false;
  {
    std::unique_lock<std::mutex> lock(state_->Mutex);
    state_->Room.wait(lock, [this] { return state_->Pending < TState::kMaxPending; });
    state_->Pending += bytes.size() + 256;
    if (digest) row.Sha256 = "-";  // to be digested
    state_->Queue.emplace_back(std::move(row), std::move(bytes));
    wake = state_->Pending >= TState::kWakeBytes || state_->Queue.size() >= TState::kWakeRows;
  }
  if (wake) state_->Wake.notify_one();
}

void TReportHasher::Finish() {
  if (!state_->Thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(state_->Mutex);
    state_->Done = true;
  }
  state_->Wake.notify_one();
  state_->Thread.join();
}

std::string ReportFileBaseName(TDateTime when) {
  const TDateParts p = DecodeDateTime(when);
  char text[64];
  std::snprintf(text, sizeof text, "Quillbox report %04d-%02d-%02d %02d.%02d", p.Year, p.Month,
                p.Day, p.Hour, p.Minute);
  return text;
}

}  // namespace qb
