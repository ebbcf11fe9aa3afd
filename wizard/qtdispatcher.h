// The workers' calls into the UI thread, carried by Qt's event loop.
//
// A worker's Synchronize posts its call here and waits; the call runs as a
// queued invocation on the thread that owns the dispatcher (the UI thread),
// between other events, so the window stays responsive while a worker
// reports. Called on the UI thread itself, Synchronize runs the call
// directly (platform/thread.h).
#pragma once

#include <QObject>
#include <functional>

#include "platform/thread.h"

namespace qb::wiz {

class TQtDispatcher : public QObject, public IMainThreadDispatcher {
 public:
  // Lives on the constructing thread; installs itself as the dispatcher of
  // every TThread and puts the previous one back when destroyed.
  explicit TQtDispatcher(QObject* parent = nullptr);
  ~TQtDispatcher() override;

  bool IsMainThread() const override;
  void Post(std::function<void()> call) override;
  // A single-shot timer of the UI thread's loop.
  void PostAfter(std::chrono::milliseconds delay, std::function<void()> call) override;

 private:
  IMainThreadDispatcher* previous_;
};

}  // namespace qb::wiz
