#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include "core/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

namespace vm {

namespace {
const char kLockName[] = "velmora.lock";
const char kSocketNameFile[] = "velmora.lock.socket";

// Creates dir 0700 when missing and checks that it is private to this user;
// a folder of ours that is open to others is closed first.
bool MakePrivateDirectory(const QString& dir)
{
    const QByteArray native = QFile::encodeName(dir);
    ::mkdir(native.constData(), S_IRWXU);
    struct stat st = {};
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) && ::chmod(native.constData(), S_IRWXU) != 0)
        return false;
    return SingleInstance::IsPrivateDirectory(dir);
}
} // namespace

SingleInstance::SingleInstance(const QString& dataDir, QObject* parent)
    : QObject(parent), dataDir_(dataDir)
{
    // Two data directories give two sockets even when they share the folder.
    const QString canonical = QDir(dataDir).canonicalPath();
    const QByteArray identity =
        canonical.isEmpty() ? QDir::cleanPath(dataDir).toUtf8() : canonical.toUtf8();
    key_ = QString::fromLatin1(
        QCryptographicHash::hash(identity, QCryptographicHash::Sha256).toHex().left(16));
}

SingleInstance::~SingleInstance()
{
    if (server_) {
        server_->close();
        QFile::remove(SocketNameFilePath());
    }
    // lock_ removes the lock file as it goes.
}

QString SingleInstance::LockFilePath() const
{
    return QDir(dataDir_).filePath(QLatin1String(kLockName));
}

QString SingleInstance::SocketNameFilePath() const
{
    return QDir(dataDir_).filePath(QLatin1String(kSocketNameFile));
}

bool SingleInstance::IsPrivateDirectory(const QString& dir)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

QString SingleInstance::SocketDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
        const QString dir = QDir(runtime).filePath(QStringLiteral("velmora"));
        if (MakePrivateDirectory(dir))
            return dir;
    }
    const QString dir = QDir::temp().filePath(QStringLiteral("velmora-%1").arg(::getuid()));
    return MakePrivateDirectory(dir) ? dir : QString();
}

bool SingleInstance::TryAcquire()
{
    lock_ = std::make_unique<QLockFile>(LockFilePath());
    lock_->setStaleLockTime(0); // only a dead owner makes a lock stale
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return false;
    }
    Listen();
    return true;
}

void SingleInstance::Listen()
{
    // Without a private folder the program still runs; it just cannot be
    // woken by a second start.
    QFile::remove(SocketNameFilePath());
    const QString dir = SocketDirectory();
    if (dir.isEmpty())
        return;
    const QString name = QDir(dir).filePath(key_ + QStringLiteral(".sock"));
    // The lock is ours, so a socket left there by a crashed copy is stale.
    QLocalServer::removeServer(name);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name) ||
        !WriteFileAtomically(SocketNameFilePath(), QFile::encodeName(name))) {
        delete server_;
        server_ = nullptr;
        return;
    }
    serverName_ = name;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            s->deleteLater();
            Q_EMIT activationRequested();
        }
    });
}

bool SingleInstance::NotifyRunningInstance() const
{
    QFile file(SocketNameFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString name = QFile::decodeName(file.read(4096).trimmed());
    // Only a socket in a private folder of this user is the running copy's:
    // anything else could be a stranger's.
    if (!QDir::isAbsolutePath(name) || !IsPrivateDirectory(QFileInfo(name).path()))
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    const bool ok = socket.waitForConnected(2000);
    socket.disconnectFromServer();
    return ok;
}

} // namespace vm
