#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/errors.h"

namespace qb {
namespace {

class LambdaThread : public TThread {
 public:
  explicit LambdaThread(std::function<void()> body, std::atomic<int>* destroyed = nullptr)
      : body_(std::move(body)), destroyed_(destroyed) {}
  ~LambdaThread() override {
    if (destroyed_) ++*destroyed_;
  }

 protected:
  void Execute() override { body_(); }

 private:
  std::function<void()> body_;
  std::atomic<int>* destroyed_;
};

TEST(Thread, CreatedSuspendedUntilResume) {
  std::atomic<bool> ran{false};
  LambdaThread t([&] { ran = true; });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(ran.load());
  t.Resume();
  t.WaitFor();
  EXPECT_TRUE(ran.load());
}

TEST(Thread, SynchronizeRunsOnMainThreadAndWaits) {
  auto main_id = std::this_thread::get_id();
  std::vector<int> order;
  LambdaThread t([&] {
    order.push_back(1);
    Synchronize([&] {
      EXPECT_EQ(std::this_thread::get_id(), main_id);
      order.push_back(2);
    });
    order.push_back(3);
  });
  t.Resume();
  t.WaitFor();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(Thread, SynchronizeOnMainThreadRunsDirectly) {
  bool ran = false;
  Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(Thread, SynchronizeRaisesCallersErrorInWorker) {
  std::string caught;
  LambdaThread t([&] {
    try {
      Synchronize([] { throw std::runtime_error("boom"); });
    } catch (const std::exception& e) {
      caught = e.what();
    }
  });
  t.Resume();
  t.WaitFor();
  EXPECT_EQ(caught, "boom");
}

TEST(Thread, TerminationHandlerRunsOnMainThreadAfterExecute) {
  auto main_id = std::this_thread::get_id();
  std::atomic<bool> executed{false};
  bool handler_saw_execute = false;
  LambdaThread t([&] { executed = true; });
  t.OnTerminate = [&](TThread&) {
    EXPECT_EQ(std::this_thread::get_id(), main_id);
    handler_saw_execute = executed.load();
  };
  t.Resume();
  t.WaitFor();
  EXPECT_TRUE(handler_saw_execute);
}

TEST(Thread, FreeOnTerminateDeletesItselfAfterHandler) {
  std::atomic<int> destroyed{0};
  bool handled = false;
  auto* t = new LambdaThread([] {}, &destroyed);
  t->FreeOnTerminate = true;
  t->OnTerminate = [&](TThread&) {
    EXPECT_EQ(destroyed.load(), 0);
    handled = true;
  };
  t->Resume();
  DefaultQueueDispatcher().ProcessUntil([&] { return destroyed.load() == 1; });
  EXPECT_TRUE(handled);
}

TEST(Thread, EscapedErrorIsKeptNotFatal) {
  LambdaThread t([] { throw std::runtime_error("bad"); });
  t.Resume();
  t.WaitFor();
  ASSERT_TRUE(t.FatalException);
  EXPECT_THROW(std::rethrow_exception(t.FatalException), std::runtime_error);
}

TEST(Thread, ErrorOfUnknownTypeArrivesAsAnErrorOfOurs) {
  LambdaThread t([] { throw 42; });
  t.Resume();
  t.WaitFor();
  ASSERT_TRUE(t.FatalException);
  try {
    std::rethrow_exception(t.FatalException);
  } catch (const EQuillboxError& e) {
    EXPECT_EQ(e.Kind(), TErrorKind::External);
  }
}

}  // namespace
}  // namespace qb
