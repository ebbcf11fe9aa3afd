// Reading ahead: while the worker thread writes one message, a second thread
// reads and parses the next ones of the same folder into a bounded queue.
// The reading thread only fills TPreparedMessage items: it reports nothing
// and touches no counter, history record, view or job state; the worker
// thread takes the items in order and does everything else exactly as it
// does without reading ahead.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/source.h"
#include "mime/decodedmessage.h"

namespace qb {

// How far the reading thread may run ahead of the worker thread: this many
// messages, or this much raw text counting the message being written (but
// one message is always read when the worker thread has none): a large
// message is not read while another is written. The room is ample so that
// the threads seldom wait for each other: each wait and wake-up costs
// system calls and tends to put both threads on the same core.
inline constexpr std::size_t kReadAheadMessages = 128;
inline constexpr std::size_t kReadAheadBytes = 8u << 20;

// One message read (and, unless it will be passed over, parsed) for the
// worker thread, on whichever thread read it.
struct TPreparedMessage {
  TSourceMessage Read;
  // The length of the raw text read, which the queue's bound counts.
  std::size_t Size = 0;
  // Set when the reading thread is well ahead of the worker thread (its
  // queue is a quarter full or more): work that either thread may do, such
  // as making the key, is best done on the reading thread then.
  bool Ahead = false;
  // What the reading or the parse raised; raised again on the worker
  // thread when it takes the message.
  std::exception_ptr Error;
  // Parsed: Content describes the message (Decoded keeps the text it
  // refers to) and Loaded is what the parse said. A message the skip test
  // will pass over is left unparsed.
  bool Parsed = false;
  bool Loaded = false;
  std::unique_ptr<TDecodedMessage> Decoded;
  TMessageContent Content;
};

// The reading thread of one folder: it prepares messages 0..count-1 in order
// (with kCountUnknown, up to the first item read past the end) into a queue the worker thread takes
// them from. Each time one thread has to wait for the other costs system calls on both sides, so
// the waiting side is woken in batches: the reading thread, once the queue is full, when it is down
// to half; the worker thread, once the queue ran empty, when it holds half of it again (or the
// reading thread is done or has to wait). Destroying it stops the thread after the message in hand
// and drops what was not taken.
class TReadAhead {
 public:
  // Fills item for message j; what it raises ends the reading thread.
  using TPrepare = std::function<void(std::size_t j, TPreparedMessage& item)>;

  TReadAhead(std::size_t count, TPrepare prepare, std::size_t maxMessages = kReadAheadMessages,
             std::size_t maxBytes = kReadAheadBytes);
  ~TReadAhead();
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // The next message, waiting for it if need be; null when the reading
  // thread ended without it (it could not make the item). The message taken
  // before is done with (and gone) by then.
  std::unique_ptr<TPreparedMessage> Take();

  // Hands a message the worker thread is done with back to the reading
  // thread, which frees it before it reads the next: memory goes back to
  // the thread that took it, and the two threads do not contend for the
  // allocator's lock.
  void Return(std::unique_ptr<TPreparedMessage> item);

 private:
  // No more is read for now.
  bool Full() const;
  // A reading thread that waits for room goes on.
  bool HasRoom() const;
  void Run() noexcept;

  const std::size_t count_;
  const TPrepare prepare_;
  const std::size_t maxMessages_, maxBytes_, low_;
  std::mutex mutex_;
  std::condition_variable readerWake_, workerWake_;
  std::deque<std::unique_ptr<TPreparedMessage>> queue_;
  std::vector<std::unique_ptr<TPreparedMessage>> returned_;
  std::size_t bytes_ = 0;  // raw text in the queue and held by the worker thread
  std::size_t held_ = 0;   // raw text of the message the worker thread holds
  bool readerWaiting_ = false, workerWaiting_ = false;
  bool stop_ = false;
  bool done_ = false;
  // Last: started once everything above is in place.
  std::thread thread_;
};

}  // namespace qb
