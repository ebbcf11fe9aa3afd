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
      lastPost_(std::chrono::steady_clock::now()) {}

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
  bool replaced = false;
  if (coalesce && coalesce_) {
    // The same kind of report (for the same row) since the last one that
    // must stay: the new one takes its place.
    for (std::size_t i = batch_.size(); i-- > barrier_ && !replaced;) {
      TReport& old = batch_[i];
      if (old.Kind == report.Kind && (old.Kind != TKind::Row || old.Index == report.Index)) {
        old = std::move(report);
        replaced = true;
      }
    }
  }
  if (!replaced) {
    batch_.push_back(std::move(report));
    if (!coalesce) barrier_ = batch_.size();
  }
  if (wait_)
    Post(true);
  else if (std::chrono::steady_clock::now() - lastPost_ >= interval_)
    Post(false);
}

void TReportQueue::Deliver(IRunView& view, const std::vector<TReport>& batch) {
  for (const TReport& r : batch) {
    switch (r.Kind) {
      case TKind::Log:
        view.AddLog(r.Text);
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

void TReportQueue::Post(bool wait) {
  lastPost_ = std::chrono::steady_clock::now();
  barrier_ = 0;
  if (batch_.empty() && !wait) return;
  std::vector<TReport> batch = std::move(batch_);
  batch_.clear();
  IMainThreadDispatcher& dispatcher = MainThreadDispatcher();
  if (dispatcher.IsMainThread()) {
    Deliver(*view_, batch);
    return;
  }
  if (!wait && shared_->inFlight.load() >= kMaxInFlight) wait = true;
  if (wait) {
    // Runs after every batch posted before it.
    Synchronize([&] { Deliver(*view_, batch); });
    std::exception_ptr error;
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      error = std::exchange(shared_->error, nullptr);
    }
    if (error) std::rethrow_exception(error);
    return;
  }
  shared_->inFlight.fetch_add(1);
  dispatcher.Post([view = view_, shared = shared_, batch = std::move(batch)] {
    if (std::exception_ptr error = CallCatching([&] { Deliver(*view, batch); })) {
      std::lock_guard<std::mutex> lock(shared->mutex);
      if (!shared->error) shared->error = error;
    }
    shared->inFlight.fetch_sub(1);
  });
}

void TReportQueue::Flush() {
  if (!view_) return;
  if (batch_.empty() && shared_->inFlight.load() == 0) {
    // Everything has arrived: nothing to wait for, but an error to raise.
    std::exception_ptr error;
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      error = std::exchange(shared_->error, nullptr);
    }
    if (error) std::rethrow_exception(error);
    return;
  }
  Post(true);
}

}  // namespace qb
