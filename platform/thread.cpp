#include "platform/thread.h"

#include <chrono>
#include <deque>
#include <future>

#include "platform/errors.h"

namespace qb {

namespace {
std::atomic<IMainThreadDispatcher*> g_dispatcher{nullptr};
}  // namespace

// Constructed during static initialisation, so on the program's main thread.
TQueueDispatcher g_default_dispatcher;

TQueueDispatcher& DefaultQueueDispatcher() {
  return g_default_dispatcher;
}

IMainThreadDispatcher* SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher) {
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

int TQueueDispatcher::ProcessQueue() {
  int ran = 0;
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
  while (!done()) {
    if (ProcessQueue() > 0) continue;
    std::unique_lock lock(mutex_);
    // The predicate may change without a post (a thread ending), so wake up
    // now and then to look at it again.
    wake_.wait_for(lock, std::chrono::milliseconds(10), [&] { return !queue_->empty(); });
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
  if (free_self) delete this;
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
