#include "engine/reportqueue.h"

#include <utility>

#include "platform/thread.h"

namespace qb {

namespace {

// Batches posted and not yet delivered before the worker waits for the view.
constexpr int kMaxInFlight = 16;

}  // namespace

TReportQueue::TReportQueue(IRunView* view, int intervalMs)
    : view_(view),
      wait_(view && view->Delivery() == IRunView::TDelivery::Wait),
      coalesce_(view && view->Delivery() == IRunView::TDelivery::Coalesce),
      interval_(intervalMs),
      lastPost_(std::chrono::steady_clock::now()) {
  shared_->view = view;
}

TReportQueue::~TReportQueue() {
  try {
    Flush();
  } catch (const std::exception&) {
    // The view's error was its own; the worker is going away.
  }
}

void TReportQueue::AddLog(const std::string& line) {
  Queue({TKind::Log, line}, false);
}

void TReportQueue::AddNotice(const std::string& text) {
  Queue({TKind::Notice, text}, false);
}

void TReportQueue::SetStatusText(const std::string& text) {
  if (coalesce_ && statusSet_ && text == status_) return;
  status_ = text;
  statusSet_ = true;
  Queue({TKind::Status, text}, true);
}

void TReportQueue::SetProgressMax(int count) {
  if (coalesce_ && count == max_ && position_ == 0) return;
  max_ = count;
  position_ = 0;
  TReport r{TKind::Max, {}};
  r.Total = count;
  Queue(std::move(r), false);
}

void TReportQueue::SetProgressPosition(int value) {
  if (coalesce_ && value == position_) return;
  position_ = value;
  TReport r{TKind::Position, {}};
  r.Index = value;
  Queue(std::move(r), true);
}

void TReportQueue::ShowFolderRow(int folderIndex) {
  TReport r{TKind::Show, {}};
  r.Index = folderIndex;
  Queue(std::move(r), false);
}

void TReportQueue::UpdateFolderRow(const std::string& folderName, int folderIndex, int status,
                                   int extracted, int messages, int total) {
  TReport r{TKind::Row, folderName, folderIndex, status, extracted, messages, total};
  if (coalesce_ && folderIndex >= 0) {
    const auto at = static_cast<std::size_t>(folderIndex);
    if (rows_.size() <= at) rows_.resize(at + 1, TReport{TKind::Log, {}});
    if (rows_[at] == r) return;
    rows_[at] = r;
  }
  Queue(std::move(r), true);
}

void TReportQueue::Queue(TReport report, bool coalesce) {
  if (!view_) return;
  const auto now = std::chrono::steady_clock::now();
  IMainThreadDispatcher& dispatcher = MainThreadDispatcher();
  const bool postNow = wait_ || now - lastPost_ >= interval_;
  // On the main thread itself what waits goes at the next post or at Flush.
  const bool timed = !postNow && !dispatcher.IsMainThread();
  bool startTimer = false;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    std::vector<TReport>& batch = shared_->batch;
    bool replaced = false;
    if (coalesce && coalesce_) {
      // The same kind of report (for the same row) since the last one that
      // must stay: the new one takes its place.
      for (std::size_t i = batch.size(); i-- > shared_->barrier && !replaced;) {
        TReport& old = batch[i];
        if (old.Kind == report.Kind && (old.Kind != TKind::Row || old.Index == report.Index)) {
          old = std::move(report);
          replaced = true;
        }
      }
    }
    if (!replaced) {
      batch.push_back(std::move(report));
      if (!coalesce) shared_->barrier = batch.size();
    }
    if (timed && !shared_->timerPending) startTimer = shared_->timerPending = true;
  }
  if (postNow) {
    Post(wait_);
  } else if (startTimer) {
    // Whatever is still waiting then goes even if no report follows.
    const auto delay = std::chrono::ceil<std::chrono::milliseconds>(lastPost_ + interval_ - now);
    dispatcher.PostAfter(delay, [shared = shared_] {
      {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->timerPending = false;
      }
      Drain(*shared);
    });
  }
}

void TReportQueue::Deliver(IRunView& view, const std::vector<TReport>& batch) {
  for (const TReport& r : batch) {
    switch (r.Kind) {
      case TKind::Log:
        view.AddLog(r.Text);
        break;
      case TKind::Notice:
        view.AddNotice(r.Text);
        break;
      case TKind::Status:
        view.SetStatusText(r.Text);
        break;
      case TKind::Max:
        view.SetProgressMax(r.Total);
        break;
      case TKind::Position:
        view.SetProgressPosition(r.Index);
        break;
      case TKind::Show:
        view.ShowFolderRow(r.Index);
        break;
      case TKind::Row:
        view.UpdateFolderRow(r.Text, r.Index, r.Status, r.Extracted, r.Messages, r.Total);
        break;
    }
  }
  view.ReportsDelivered();
}

void TReportQueue::Drain(TShared& shared) {
  std::vector<TReport> batch;
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    batch.swap(shared.batch);
    shared.barrier = 0;
  }
  if (batch.empty()) return;
  if (std::exception_ptr error = CallCatching([&] { Deliver(*shared.view, batch); })) {
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (!shared.error) shared.error = error;
  }
}

void TReportQueue::RaiseError() {
  std::exception_ptr error;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    error = std::exchange(shared_->error, nullptr);
  }
  if (error) std::rethrow_exception(error);
}

void TReportQueue::DrainAndWait() {
  if (MainThreadDispatcher().IsMainThread())
    Drain(*shared_);
  else
    // Runs after every call posted before it.
    Synchronize([shared = shared_] { Drain(*shared); });
  RaiseError();
}

void TReportQueue::Post(bool wait) {
  lastPost_ = std::chrono::steady_clock::now();
  IMainThreadDispatcher& dispatcher = MainThreadDispatcher();
  if (wait || dispatcher.IsMainThread() || shared_->inFlight.load() >= kMaxInFlight) {
    DrainAndWait();
    return;
  }
  shared_->inFlight.fetch_add(1);
  dispatcher.Post([shared = shared_] {
    Drain(*shared);
    shared->inFlight.fetch_sub(1);
  });
}

void TReportQueue::Flush() {
  if (!view_) return;
  bool empty = false;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    empty = shared_->batch.empty();
  }
  // Everything has arrived: nothing to wait for, but an error to raise.
  if (empty && shared_->inFlight.load() == 0) {
    RaiseError();
    return;
  }
  lastPost_ = std::chrono::steady_clock::now();
  DrainAndWait();
}

}  // namespace qb
