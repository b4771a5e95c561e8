#include <QSaveFile>

#include "core/AtomicFile.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vm {

bool SyncDirectory(const QString& dir, QString* error)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    // Some file systems cannot sync a folder at all; there is nothing more to do.
    if (rc != 0 && err != EINVAL && err != ENOTSUP) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(err));
        return false;
    }
#else
    Q_UNUSED(dir);
    Q_UNUSED(error);
#endif
    return true;
}

bool OpenSaveFile(QSaveFile& file, QString* error)
{
    // QSaveFile creates its temporary file with the umask's default mode, or
    // with the mode of the file it replaces; set the owner-only mode on the
    // temporary file while it is still empty, and check that it took.
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (!file.setPermissions(OwnerOnlyFile) ||
        (file.permissions() & ~(OwnerOnlyFile | QFileDevice::ReadUser | QFileDevice::WriteUser))) {
        if (error)
            *error = QStringLiteral("Cannot make the file readable by its owner only. %1")
                         .arg(file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

bool CommitSaveFile(QSaveFile& file, QString* error)
{
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return SyncDirectory(QFileInfo(file.fileName()).absolutePath(), error);
}

bool WriteFileAtomically(const QString& path, const QByteArray& data, QString* error)
{
    QSaveFile file(path);
    if (!OpenSaveFile(file, error))
        return false;
    if (file.write(data) != data.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return CommitSaveFile(file, error);
}

} // namespace vm
