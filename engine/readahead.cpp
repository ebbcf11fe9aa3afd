#include "engine/readahead.h"

namespace qb {

TReadAhead::TReadAhead(std::size_t count, TPrepare prepare, std::size_t maxMessages,
                       std::size_t maxBytes)
    : count_(count),
      prepare_(std::move(prepare)),
      maxMessages_(maxMessages < 1 ? 1 : maxMessages),
      maxBytes_(maxBytes),
      low_(maxMessages_ / 2),
      thread_([this] { Run(); }) {}

TReadAhead::~TReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    readerWake_.notify_one();
  }
  thread_.join();
}

std::unique_ptr<TPreparedMessage> TReadAhead::Take() {
  std::unique_lock<std::mutex> lock(mutex_);
  bytes_ -= held_;
  held_ = 0;
  if (queue_.empty()) {
    if (readerWaiting_ && HasRoom()) readerWake_.notify_one();
    workerWaiting_ = true;
    workerWake_.wait(lock, [this] {
      return (low_ > 0 && queue_.size() >= low_) || done_ || (readerWaiting_ && !queue_.empty());
    });
    workerWaiting_ = false;
  }
  if (queue_.empty()) return nullptr;
  std::unique_ptr<TPreparedMessage> item = std::move(queue_.front());
  queue_.pop_front();
  held_ = item->Size;
  // Woken once the lock is free, so that it does not wait for it at once.
  const bool wake = readerWaiting_ && HasRoom();
  lock.unlock();
  if (wake) readerWake_.notify_one();
  return item;
}

void TReadAhead::Return(std::unique_ptr<TPreparedMessage> item) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (done_) {
    lock.unlock();
    item.reset();  // nobody to contend with any more
    return;
  }
  try {
    returned_.push_back(std::move(item));
  } catch (const std::bad_alloc&) {
    // No room to keep it: it is freed here after all.
  }
}

// The message the worker thread holds counts too, so that a large message
// is not read while another is written; but when there is none, one is
// always read, however large.
bool TReadAhead::Full() const {
  return queue_.size() >= maxMessages_ || (bytes_ > 0 && bytes_ >= maxBytes_);
}

bool TReadAhead::HasRoom() const {
  return queue_.size() <= low_ && bytes_ <= maxBytes_ / 2;
}

void TReadAhead::Run() noexcept {
  std::vector<std::unique_ptr<TPreparedMessage>> freeing;
  bool ahead = false;
  try {
    for (std::size_t j = 0; j < count_; ++j) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        if (Full()) {
          readerWaiting_ = true;
          if (workerWaiting_) workerWake_.notify_one();  // it may go on now
          readerWake_.wait(lock, [this] { return stop_ || HasRoom(); });
          readerWaiting_ = false;
        }
        if (stop_) break;
        freeing.swap(returned_);
        ahead = queue_.size() * 4 >= maxMessages_ || bytes_ * 4 >= maxBytes_;
      }
      freeing.clear();
      auto item = std::make_unique<TPreparedMessage>();
      item->Ahead = ahead;
      prepare_(j, *item);
      // A folder read without a count ends with the first read past its end.
      const bool last = j + 1 == count_ || item->Read.End;
      std::unique_lock<std::mutex> lock(mutex_);
      bytes_ += item->Size;
      queue_.push_back(std::move(item));
      const bool wake = workerWaiting_ && (queue_.size() >= low_ || Full() || last);
      lock.unlock();
      if (wake) workerWake_.notify_one();
      if (last) break;
    }
  } catch (const std::exception&) {
    // Out of memory for an item, or a preparation that gave up: the worker
    // thread reads the rest itself. (The preparation itself raises nothing:
    // it keeps whatever a message raised for the worker thread.)
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  workerWake_.notify_one();
}

}  // namespace qb
