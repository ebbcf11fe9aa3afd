// The read-ahead queue: order, bounds, stop, a preparation that gives up,
// and messages handed back to the reading thread to be freed.
#include "engine/readahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace qb {
namespace {

using namespace std::chrono_literals;

TEST(ReadAhead, HandsOutEveryMessageInOrderWithinItsBounds) {
  struct Case {
    const char* Name;
    std::size_t Count, MaxMessages, MaxBytes, Size;
    std::size_t MostOutstanding;  // prepared and not yet done with
  };
  const Case cases[] = {
      {"count bound", 300, 4, 1u << 20, 10, 4 + 1},
      {"one message at a time", 50, 1, 1u << 20, 10, 1 + 1},
      // Each message is over the byte bound: none is read while another
      // is in hand.
      {"large messages", 20, 128, 8, 10, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::atomic<std::size_t> started{0}, done{0}, most{0};
    TReadAhead ahead(
        c.Count,
        [&](std::size_t j, TPreparedMessage& item) {
          const std::size_t out = ++started - done;
          if (out > most) most = out;
          item.Read.KeyText = std::to_string(j);
          item.Size = c.Size;
        },
        c.MaxMessages, c.MaxBytes);
    for (std::size_t j = 0; j < c.Count; ++j) {
      if (j > 0) ++done;  // the message taken before is done with now
      std::unique_ptr<TPreparedMessage> item = ahead.Take();
      ASSERT_TRUE(item);
      EXPECT_EQ(item->Read.KeyText, std::to_string(j));
      if (j % 7 == 0) std::this_thread::sleep_for(1ms);  // let the reader get ahead
      ahead.Return(std::move(item));
    }
    EXPECT_LE(most.load(), c.MostOutstanding);
  }
}

TEST(ReadAhead, StopsSoonWhenDestroyed) {
  std::atomic<std::size_t> prepared{0};
  {
    TReadAhead ahead(
        100000,
        [&](std::size_t, TPreparedMessage&) {
          std::this_thread::sleep_for(100us);
          ++prepared;
        },
        8);
    for (int j = 0; j < 3; ++j) ASSERT_TRUE(ahead.Take());
  }
  EXPECT_LE(prepared.load(), 3u + 8u + 1u);
}

TEST(ReadAhead, APreparationThatGivesUpEndsTheQueue) {
  TReadAhead ahead(10, [](std::size_t j, TPreparedMessage& item) {
    if (j == 5) throw std::runtime_error("cannot");
    item.Read.KeyText = std::to_string(j);
  });
  for (int j = 0; j < 5; ++j) {
    std::unique_ptr<TPreparedMessage> item = ahead.Take();
    ASSERT_TRUE(item);
    EXPECT_EQ(item->Read.KeyText, std::to_string(j));
  }
  EXPECT_FALSE(ahead.Take());
  EXPECT_FALSE(ahead.Take());
}

// Records the thread it is destroyed on.
struct TFreedOn {
  std::mutex& Mutex;
  std::thread::id& Where;
  ~TFreedOn() {
    std::lock_guard<std::mutex> lock(Mutex);
    Where = std::this_thread::get_id();
  }
};

TEST(ReadAhead, MessagesHandedBackAreFreedByTheReadingThread) {
  constexpr std::size_t kCount = 10, kGate = 5;
  std::mutex mutex;
  std::thread::id freedOn[kCount], reader;
  std::atomic<bool> atGate{false}, open{false};
  TReadAhead ahead(kCount, [&](std::size_t j, TPreparedMessage& item) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      reader = std::this_thread::get_id();
    }
    if (j == kGate) {
      atGate = true;
      while (!open) std::this_thread::sleep_for(1ms);
    }
    auto freed = std::make_shared<TFreedOn>(mutex, freedOn[j]);
    item.Read.Describe = [freed](TMessageContent&) { return true; };
  });
  // Taken once they are all there: the worker thread waits for a batch.
  while (!atGate) std::this_thread::sleep_for(1ms);
  for (std::size_t j = 0; j < kGate; ++j) ahead.Return(ahead.Take());
  open = true;
  for (std::size_t j = kGate; j < kCount; ++j) ahead.Return(ahead.Take());
  std::this_thread::sleep_for(20ms);
  std::lock_guard<std::mutex> lock(mutex);
  for (std::size_t j = 0; j < kGate; ++j) EXPECT_EQ(freedOn[j], reader) << j;
}

}  // namespace
}  // namespace qb
