#include "ui/gui_thread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace quorvane {

void runOnGuiThreadAndWait(QObject& context, const std::function<void()>& work) {
    if (QThread::currentThread() == context.thread()) work();
    else QMetaObject::invokeMethod(&context, work, Qt::BlockingQueuedConnection);
}

}  // namespace quorvane
