// Worker threads with a synchronous call into the main thread.
//
// TThread is created suspended; Resume starts Execute on a new thread. When
// Execute returns, OnTerminate runs on the main thread (through Synchronize)
// and, when FreeOnTerminate is set, the object then deletes itself.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qb {

// Runs calls on the main thread. The command line and the tests use
// TQueueDispatcher; the Qt front end installs one of its own.
class IMainThreadDispatcher {
 public:
  virtual ~IMainThreadDispatcher() = default;
  // True when called on the thread that runs the posted calls.
  virtual bool IsMainThread() const = 0;
  // Queues a call for the main thread; returns at once.
  virtual void Post(std::function<void()> call) = 0;
  // Queues a call for the main thread to run once delay has passed (a
  // timer of the main thread's loop); returns at once.
  virtual void PostAfter(std::chrono::milliseconds delay, std::function<void()> call) = 0;
  // Wakes a main thread that waits for something other than a call (a
  // thread ending): it looks at what it waits for again.
  virtual void Wake() {}
};

// Installs the dispatcher used by every TThread; returns the previous one.
// Passing nullptr restores the built-in queue dispatcher.
IMainThreadDispatcher* SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher);
IMainThreadDispatcher& MainThreadDispatcher();

// A plain queue for programs without an event loop. The thread that
// constructs it is the main thread.
class TQueueDispatcher : public IMainThreadDispatcher {
 public:
  TQueueDispatcher();
  bool IsMainThread() const override;
  void Post(std::function<void()> call) override;
  void PostAfter(std::chrono::milliseconds delay, std::function<void()> call) override;
  void Wake() override;

  // Runs every queued call (and every timed call that is due); returns how
  // many ran.
  int ProcessQueue();
  // Runs queued calls as they arrive, and timed calls when they are due,
  // until done() is true. It sleeps in between: done() is looked at again
  // after each call and at each Wake.
  void ProcessUntil(const std::function<bool()>& done);

 private:
  using TClock = std::chrono::steady_clock;
  struct TTimed {
    TClock::time_point Due;
    std::function<void()> Call;
  };
  // Moves the timed calls that are due to the queue; under the lock.
  void TakeDueTimed(TClock::time_point now);

  std::thread::id main_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<TTimed> timed_;
  unsigned long long wakes_ = 0;
  std::deque<std::function<void()>>* queue_;
  std::unique_ptr<std::deque<std::function<void()>>> owned_;
};

// The built-in dispatcher; its main thread is the one that runs main().
TQueueDispatcher& DefaultQueueDispatcher();

// Runs call on the main thread and waits for it. On the main thread itself
// the call runs directly. An exception thrown by the call is raised again in
// the caller.
void Synchronize(const std::function<void()>& call);

// Runs call and returns what it threw, or nullptr when it returned. This is
// how an exception crosses from one thread to another; one that is no
// std::exception arrives as an EQuillboxError, so that whoever rethrows it
// needs to catch only std::exception.
std::exception_ptr CallCatching(const std::function<void()>& call);

// Pause of the current thread.
void Sleep(unsigned milliseconds);

class TThread {
 public:
  TThread();
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts Execute on its own thread (only the first call has an effect).
  void Resume();
  // Waits until Execute and the termination handler have run. Must not be
  // used with FreeOnTerminate. On the main thread, queued calls keep running
  // while it waits.
  void WaitFor();

  bool Finished() const { return finished_.load(); }

  bool FreeOnTerminate = false;
  // Runs on the main thread after Execute has returned.
  std::function<void(TThread&)> OnTerminate;
  // An exception that escaped Execute, if any.
  std::exception_ptr FatalException;

 protected:
  virtual void Execute() = 0;

 private:
  void Run();

  std::thread thread_;
  std::atomic<bool> started_{false};
  std::atomic<bool> finished_{false};
};

}  // namespace qb
