#include "wizard/qtdispatcher.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace qb::wiz {

TQtDispatcher::TQtDispatcher(QObject* parent)
    : QObject(parent), previous_(SetMainThreadDispatcher(this)) {}

TQtDispatcher::~TQtDispatcher() {
  SetMainThreadDispatcher(previous_);
}

bool TQtDispatcher::IsMainThread() const {
  return QThread::currentThread() == thread();
}

void TQtDispatcher::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void TQtDispatcher::PostAfter(std::chrono::milliseconds delay, std::function<void()> call) {
  // The timer is started on the UI thread, which owns it.
  QMetaObject::invokeMethod(
      this, [this, delay, call = std::move(call)] { QTimer::singleShot(delay, this, call); },
      Qt::QueuedConnection);
}

}  // namespace qb::wiz
