#pragma once
// Refuses a second copy of Velmora on the same data directory: a lock file in
// the user's runtime directory decides, and a local socket of the same name
// lets a second start ask the running copy to show its window.

#include <QObject>
#include <QString>

#include <memory>

class QLockFile;
class QLocalServer;

namespace vm {

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // The key names the lock and the socket; two data directories give two keys.
    explicit SingleInstance(const QString& dataDir, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process now holds the instance lock. False when another
    // live process holds it (a stale lock of a dead process is taken over).
    bool TryAcquire();

    // Asks the running copy to show its main window. Returns true when it answered.
    bool NotifyRunningInstance() const;

    QString LockFilePath() const;
    QString ServerName() const { return serverName_; }

Q_SIGNALS:
    // Another start asked this copy to come to the front.
    void activationRequested();

private:
    QString serverName_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

} // namespace vm
