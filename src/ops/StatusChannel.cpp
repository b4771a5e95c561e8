#include "ops/StatusChannel.h"

#include <QMutexLocker>
#include <QThread>

namespace vm {

StatusChannel::StatusChannel(QObject* parent) : QObject(parent)
{
}

void StatusChannel::Post(const QString& text)
{
    {
        QMutexLocker lock(&mutex_);
        last_ = text;
    }
    if (QThread::currentThread() == thread())
        emit statusChanged(text);
    else
        QMetaObject::invokeMethod(
            this, [this, text] { emit statusChanged(text); }, Qt::QueuedConnection);
}

QString StatusChannel::Last() const
{
    QMutexLocker lock(&mutex_);
    return last_;
}

} // namespace vm
