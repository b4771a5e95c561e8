#pragma once
// Refuses a second copy of Velmora on the same data directory. A lock file
// in the data directory itself decides, so every process working on that
// directory sees it whatever its environment (a desktop session, cron, ssh).
// The copy holding the lock listens on a local socket in a private folder
// (mode 0700, owned by the user) and writes the socket's path next to the
// lock, so a second start can ask it to show its window.

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
    explicit SingleInstance(const QString& dataDir, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process now holds the instance lock. False when another
    // live process holds it (a stale lock of a dead process is taken over)
    // or the lock file cannot be made.
    bool TryAcquire();

    // Asks the running copy to show its main window. Returns true when it answered.
    bool NotifyRunningInstance() const;

    // The lock file, in the data directory.
    QString LockFilePath() const;
    // The file next to the lock that names the running copy's socket.
    QString SocketNameFilePath() const;
    // The socket this copy listens on; empty before TryAcquire succeeded or
    // when no private folder for it could be found.
    QString ServerName() const { return serverName_; }

    // The private folder for the socket: $XDG_RUNTIME_DIR/velmora when the
    // runtime directory is usable, else velmora-UID in the temporary
    // directory. Created 0700; a folder that is not a directory of its own
    // (a link), belongs to someone else or is open to others is refused.
    // Empty when neither can be used.
    static QString SocketDirectory();
    // True when dir is a real directory owned by this user with no group or
    // other permissions.
    static bool IsPrivateDirectory(const QString& dir);

Q_SIGNALS:
    // Another start asked this copy to come to the front.
    void activationRequested();

private:
    void Listen();

    QString dataDir_;
    QString key_;
    QString serverName_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

} // namespace vm
