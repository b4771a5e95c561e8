#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QFile>

#include <unistd.h>

namespace vm {

namespace {
// The user's runtime directory. Without XDG_RUNTIME_DIR (cron, ssh, CI) a
// private folder in the temporary directory stands in, so commands run there
// stay quiet and still see a window's lock.
QString RuntimeDir()
{
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir(xdg).exists())
        return xdg;
    const QString dir = QDir::temp().filePath(QStringLiteral("velmora-runtime-%1").arg(getuid()));
    if (QDir().mkpath(dir))
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir;
}
} // namespace

SingleInstance::SingleInstance(const QString& dataDir, QObject* parent) : QObject(parent)
{
    const QByteArray canonical = QDir(dataDir).canonicalPath().isEmpty()
                                     ? QDir::cleanPath(dataDir).toUtf8()
                                     : QDir(dataDir).canonicalPath().toUtf8();
    const QByteArray hash = QCryptographicHash::hash(canonical, QCryptographicHash::Sha256).toHex().left(16);
    serverName_ = QStringLiteral("velmora-") + QString::fromLatin1(hash);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::LockFilePath() const
{
    return QDir(RuntimeDir()).filePath(serverName_ + QStringLiteral(".lock"));
}

bool SingleInstance::TryAcquire()
{
    lock_ = std::make_unique<QLockFile>(LockFilePath());
    lock_->setStaleLockTime(0); // only a dead owner makes a lock stale
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return false;
    }
    // The lock is ours, so any socket left by a crashed copy is stale.
    QLocalServer::removeServer(serverName_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (server_->listen(serverName_)) {
        connect(server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* s = server_->nextPendingConnection()) {
                s->deleteLater();
                Q_EMIT activationRequested();
            }
        });
    }
    return true;
}

bool SingleInstance::NotifyRunningInstance() const
{
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    const bool ok = socket.waitForConnected(500);
    socket.disconnectFromServer();
    return ok;
}

} // namespace vm
