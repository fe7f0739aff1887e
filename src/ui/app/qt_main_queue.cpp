#include "ui/app/qt_main_queue.hpp"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace tarnwell {

QtMainQueue::QtMainQueue() : context_(new QObject) {
    if (QCoreApplication::instance() != nullptr) {
        context_->moveToThread(QCoreApplication::instance()->thread());
    }
}

QtMainQueue::~QtMainQueue() {
    delete context_;
}

void QtMainQueue::post(Task task) {
    QMetaObject::invokeMethod(
        context_, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void QtMainQueue::postAfter(std::chrono::milliseconds delay, Task task) {
    QObject* context = context_;
    auto arm = [context, delay, task = std::move(task)]() mutable {
        QTimer::singleShot(delay, Qt::PreciseTimer, context, std::move(task));
    };
    if (QThread::currentThread() == context_->thread()) {
        arm();
    } else {
        QMetaObject::invokeMethod(context_, std::move(arm), Qt::QueuedConnection);
    }
}

void QtMainQueue::runPosted() {
    QCoreApplication::sendPostedEvents(context_, QEvent::MetaCall);
}

}  // namespace tarnwell
