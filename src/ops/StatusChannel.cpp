#include "ops/StatusChannel.h"

#include <QThread>

namespace vm {

StatusChannel::StatusChannel(QObject* parent) : QObject(parent)
{
}

void StatusChannel::Post(const QString& text)
{
    const bool own = QThread::currentThread() == thread();
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        last_ = text;
        if (!own) {
            wake = queued_.isEmpty();
            queued_.append(text);
        }
    }
    if (own) {
        // Texts queued from another thread come first.
        DeliverQueued();
        emit statusChanged(text);
    } else if (wake) {
        QMetaObject::invokeMethod(this, "DeliverQueued", Qt::QueuedConnection);
    }
}

void StatusChannel::DeliverQueued()
{
    QList<QString> texts;
    {
        std::lock_guard lock(mutex_);
        texts.swap(queued_);
    }
    for (const QString& text : texts)
        emit statusChanged(text);
}

QString StatusChannel::Last() const
{
    std::lock_guard lock(mutex_);
    return last_;
}

} // namespace vm
