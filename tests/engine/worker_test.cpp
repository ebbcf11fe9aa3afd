// The worker base: a stop request ends a pause at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/worker.h"

namespace qb {
namespace {

// One folder of one message, whose processing is a pause.
class PausingWorker : public TExtractionWorker {
 public:
  using TExtractionWorker::TExtractionWorker;
  std::atomic<bool> Pausing{false};

 protected:
  bool FolderHasSource(const TJobFolder&) const override { return true; }
  std::size_t LoadMessageList(const TJobFolder&) override { return 1; }
  void ProcessMessage(std::size_t, const TJobFolder&, std::size_t, std::size_t) override {
    Pausing = true;
    Pause();
  }
};

TEST(Worker, StopRequestEndsALongPauseAtOnce) {
  std::atomic<std::uint8_t> stop{0};
  TExtractionJob job;
  job.Folders = {{"Inbox", "Inbox", "", ""}};
  job.PauseMs = 20000;
  job.StopRequested = &stop;
  PausingWorker worker(job);
  worker.Resume();
  while (!worker.Pausing) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto start = std::chrono::steady_clock::now();
  worker.RequestStop();
  worker.WaitFor();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(stop.load(), 1);  // the wizard's flag says so too
}

}  // namespace
}  // namespace qb
