#pragma once
// Status texts of a running operation ("Connecting to server ..."), from
// whatever thread the operation runs on to the interface thread. A window
// connects statusChanged to its status panel; the command line prints; tests
// record. Post from the channel's own thread delivers at once (so the text
// is shown before a long step starts); from another thread it is queued.

#include <QList>
#include <QObject>
#include <QString>

#include <mutex>

namespace vm {

class StatusChannel : public QObject
{
    Q_OBJECT
public:
    explicit StatusChannel(QObject* parent = nullptr);
    // Thread-safe.
    void Post(const QString& text);
    // The latest text posted (thread-safe).
    QString Last() const;

signals:
    // Emitted on the channel's thread.
    void statusChanged(const QString& text);

private:
    Q_INVOKABLE void DeliverQueued();

    // Texts pass from the worker to the channel's thread only through this
    // queue, under a standard mutex: the hand-over is visible to
    // ThreadSanitizer, and Qt's queued call carries no data.
    mutable std::mutex mutex_;
    QString last_;
    QList<QString> queued_;
};

} // namespace vm
