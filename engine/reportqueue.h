// The reports of a worker to its view, carried to the main thread without
// making the worker wait for each one.
//
// A view that reacts to reports (IRunView::TDelivery::Wait) receives each
// one while the worker waits, as before. For the others, reports are
// gathered in order and posted as one batch at most every kReportIntervalMs
// (and at Flush), and at the latest kReportIntervalMs after a report was
// queued even when the worker reports nothing more (a timed call on the main
// thread takes what is waiting): Queue delivers each report; Coalesce leaves out a report
// that would leave the view as it is (the same status text, position or row
// again) and delivers only the last status text, position and row of each
// folder within a batch. Log lines, progress maximums and row showings are
// never dropped or reordered, so the sequence of log lines is exactly the
// one the worker made. The worker then waits only at Flush and when too
// many batches are still on their way.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/job.h"

namespace qb {

// A batch goes to the view at most this often (20 times a second).
inline constexpr int kReportIntervalMs = 50;

class TReportQueue {
 public:
  // view may be null: every report is then dropped.
  explicit TReportQueue(IRunView* view, int intervalMs = kReportIntervalMs);
  // Flushes; an error of the view is swallowed here.
  ~TReportQueue();
  TReportQueue(const TReportQueue&) = delete;
  TReportQueue& operator=(const TReportQueue&) = delete;

  void AddLog(const std::string& line);
  void AddNotice(const std::string& text);
  void SetStatusText(const std::string& text);
  void SetProgressMax(int count);
  void SetProgressPosition(int value);
  void ShowFolderRow(int folderIndex);
  void UpdateFolderRow(const std::string& folderName, int folderIndex, int status, int extracted,
                       int messages, int total);

  // Delivers what is queued and waits until the view has it. An exception
  // the view raised for a batch posted earlier is raised here.
  void Flush();

 private:
  enum class TKind { Log, Notice, Status, Max, Position, Show, Row };
  struct TReport {
    TKind Kind;
    std::string Text;
    int Index = 0, Status = 0, Extracted = 0, Messages = 0, Total = 0;
    bool operator==(const TReport&) const = default;
  };
  // Posts the batch when it is due.
  void Queue(TReport report, bool coalesce);
  void Post(bool wait);
  static void Deliver(IRunView& view, const std::vector<TReport>& batch);

  // Takes what is queued and delivers it, on the main thread.
  struct TShared;
  static void Drain(TShared& shared);
  // Delivers what is queued on the main thread and waits for it; raises a
  // view's error.
  void DrainAndWait();
  void RaiseError();

  IRunView* view_;
  bool wait_;
  bool coalesce_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point lastPost_;

  // What the view shows once everything queued is delivered (worker side).
  std::string status_;
  bool statusSet_ = false;
  int max_ = -1, position_ = -1;
  std::vector<TReport> rows_;

  // Shared with the main thread: the reports not yet taken, and the calls
  // on their way that will take them.
  struct TShared {
    IRunView* view = nullptr;
    std::mutex mutex;
    std::vector<TReport> batch;
    std::size_t barrier = 0;  // reports before this index are never replaced
    bool timerPending = false;
    std::atomic<int> inFlight{0};
    std::exception_ptr error;
  };
  std::shared_ptr<TShared> shared_ = std::make_shared<TShared>();
};

}  // namespace qb
