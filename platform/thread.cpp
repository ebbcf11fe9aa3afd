#include "platform/thread.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <future>
#include <mutex>

#include "platform/errors.h"

namespace qb {

namespace {
std::atomic<IMainThreadDispatcher*> g_dispatcher{nullptr};
// Held while a dispatcher is replaced and while an ending thread wakes the
// current one: once a dispatcher has been replaced (as it is before it is
// destroyed), no ending thread is still inside its Wake.
std::mutex g_dispatcher_change;

void WakeMainThread() {
  std::lock_guard lock(g_dispatcher_change);
  MainThreadDispatcher().Wake();
}
}  // namespace

// Constructed during static initialisation, so on the program's main thread.
TQueueDispatcher g_default_dispatcher;

TQueueDispatcher& DefaultQueueDispatcher() {
  return g_default_dispatcher;
}

IMainThreadDispatcher* SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher) {
  std::lock_guard lock(g_dispatcher_change);
  return g_dispatcher.exchange(dispatcher);
}

IMainThreadDispatcher& MainThreadDispatcher() {
  IMainThreadDispatcher* d = g_dispatcher.load();
  return d ? *d : DefaultQueueDispatcher();
}

TQueueDispatcher::TQueueDispatcher()
    : main_(std::this_thread::get_id()),
      owned_(std::make_unique<std::deque<std::function<void()>>>()) {
  queue_ = owned_.get();
}

bool TQueueDispatcher::IsMainThread() const {
  return std::this_thread::get_id() == main_;
}

void TQueueDispatcher::Post(std::function<void()> call) {
  {
    std::lock_guard lock(mutex_);
    queue_->push_back(std::move(call));
  }
  wake_.notify_all();
}

void TQueueDispatcher::PostAfter(std::chrono::milliseconds delay, std::function<void()> call) {
  {
    std::lock_guard lock(mutex_);
    timed_.push_back({TClock::now() + delay, std::move(call)});
  }
  wake_.notify_all();
}

void TQueueDispatcher::Wake() {
  {
    std::lock_guard lock(mutex_);
    ++wakes_;
  }
  wake_.notify_all();
}

void TQueueDispatcher::TakeDueTimed(TClock::time_point now) {
  // In the order they fall due; after the calls queued before.
  std::stable_sort(timed_.begin(), timed_.end(),
                   [](const TTimed& a, const TTimed& b) { return a.Due < b.Due; });
  std::size_t due = 0;
  while (due < timed_.size() && timed_[due].Due <= now) {
    queue_->push_back(std::move(timed_[due].Call));
    ++due;
  }
  timed_.erase(timed_.begin(), timed_.begin() + static_cast<std::ptrdiff_t>(due));
}

int TQueueDispatcher::ProcessQueue() {
  int ran = 0;
  {
    std::lock_guard lock(mutex_);
    if (!timed_.empty()) TakeDueTimed(TClock::now());
  }
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard lock(mutex_);
      if (queue_->empty()) return ran;
      call = std::move(queue_->front());
      queue_->pop_front();
    }
    call();
    ++ran;
  }
}

void TQueueDispatcher::ProcessUntil(const std::function<bool()>& done) {
  for (;;) {
    unsigned long long seen = 0;
    {
      std::lock_guard lock(mutex_);
      seen = wakes_;
    }
    // A Wake from here on ends the wait below.
    if (done()) return;
    if (ProcessQueue() > 0) continue;
    std::unique_lock lock(mutex_);
    auto ready = [&] { return !queue_->empty() || wakes_ != seen; };
    if (timed_.empty()) {
      wake_.wait(lock, [&] { return ready() || !timed_.empty(); });
    } else {
      TClock::time_point next = timed_.front().Due;
      for (const TTimed& t : timed_) next = std::min(next, t.Due);
      wake_.wait_until(lock, next, ready);
    }
  }
}

void Synchronize(const std::function<void()>& call) {
  IMainThreadDispatcher& d = MainThreadDispatcher();
  if (d.IsMainThread()) {
    call();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  d.Post([&call, done] {
    if (std::exception_ptr error = CallCatching(call))
      done->set_exception(error);
    else
      done->set_value();
  });
  finished.get();
}

std::exception_ptr CallCatching(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception&) {
    return std::current_exception();
  } catch (...) {
    // The one place that catches everything: an exception handed to another
    // thread must never be lost on the way, whatever threw it.
    return std::make_exception_ptr(
        EQuillboxError(TErrorKind::External, "an exception that is no std::exception"));
  }
  return nullptr;
}

void Sleep(unsigned milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

TThread::TThread() = default;

TThread::~TThread() {
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id())
      thread_.detach();
    else
      thread_.join();
  }
}

void TThread::Resume() {
  if (started_.exchange(true)) return;
  thread_ = std::thread([this] { Run(); });
  if (FreeOnTerminate) thread_.detach();
}

void TThread::Run() {
  FatalException = CallCatching([this] { Execute(); });
  const bool free_self = FreeOnTerminate;
  if (OnTerminate) {
    std::exception_ptr error =
        CallCatching([this] { Synchronize([this] { OnTerminate(*this); }); });
    if (!FatalException) FatalException = error;
  }
  finished_.store(true);
  // A main thread waiting in WaitFor (or for a self-freeing thread to be
  // gone) looks again: the wake comes last, after this is deleted. The
  // dispatcher is looked up only then: the main thread may already have
  // taken down the one the termination handler ran on (a window closed as
  // soon as its run ended).
  if (free_self) delete this;
  WakeMainThread();
}

void TThread::WaitFor() {
  if (!started_.load()) return;
  IMainThreadDispatcher& d = MainThreadDispatcher();
  if (auto* q = dynamic_cast<TQueueDispatcher*>(&d); q && q->IsMainThread()) {
    q->ProcessUntil([this] { return finished_.load(); });
  }
  if (thread_.joinable()) thread_.join();
}

}  // namespace qb
