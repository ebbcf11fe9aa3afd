#include "wizard/qtdispatcher.h"

#include <QMetaObject>
#include <QThread>

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

}  // namespace qb::wiz
