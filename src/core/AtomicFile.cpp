#include <QSaveFile>

#include "core/AtomicFile.h"

#include <QFileInfo>

#include <algorithm>

#include "core/Errors.h"

#ifdef Q_OS_UNIX
#include <cerrno>
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
            *error = SystemErrorText(errno);
        return false;
    }
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    // Some file systems cannot sync a folder at all; there is nothing more to do.
    if (rc != 0 && err != EINVAL && err != ENOTSUP) {
        if (error)
            *error = SystemErrorText(err);
        return false;
    }
#else
    Q_UNUSED(dir);
    Q_UNUSED(error);
#endif
    return true;
}

QString FileErrorText(const QFileDevice& file, int savedErrno)
{
    const QString text = file.errorString();
    // QIODevice answers "Unknown error" when nobody set a text.
    const bool told = !text.isEmpty() && text != QLatin1String("Unknown error");
    if (told || savedErrno == 0)
        return text;
    return SystemErrorText(savedErrno);
}

bool WriteAll(QIODevice& device, const char* data, qsizetype n, QString* error)
{
    auto* file = qobject_cast<QFileDevice*>(&device);
    const int fd = file ? file->handle() : -1;
#ifdef Q_OS_UNIX
    if (fd >= 0) {
        // Bytes Qt still holds go first, so the order stays.
        errno = 0;
        if (!file->flush()) {
            if (error)
                *error = FileErrorText(*file, errno);
            return false;
        }
        const bool sequential = file->isSequential();
        const qint64 start = sequential ? 0 : file->pos();
        qint64 written = 0;
        while (written < n) {
            const size_t piece = size_t(std::min<qsizetype>(n - written, qsizetype(1) << 30));
            const ssize_t w = ::write(fd, data + written, piece);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                // write() returns 0 only for a request of 0 bytes; count it as an I/O error.
                const int err = w < 0 ? errno : EIO;
                if (error)
                    *error = SystemErrorText(err);
                return false;
            }
            written += w;
        }
        // Qt keeps its own idea of the position; bring it up to date.
        if (!sequential && !file->seek(start + written)) {
            if (error)
                *error = FileErrorText(*file, errno);
            return false;
        }
        return true;
    }
#endif
    if (device.write(data, n) == n)
        return true;
    if (error)
        *error = file ? FileErrorText(*file, errno) : device.errorString();
    return false;
}

bool OpenSaveFile(QSaveFile& file, QString* error)
{
    // QSaveFile creates its temporary file with the umask's default mode, or
    // with the mode of the file it replaces; set the owner-only mode on the
    // temporary file while it is still empty, and check that it took.
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = FileErrorText(file, errno);
        return false;
    }
    if (!file.setPermissions(OwnerOnlyFile) ||
        (file.permissions() & ~(OwnerOnlyFile | QFileDevice::ReadUser | QFileDevice::WriteUser))) {
        if (error)
            *error = QStringLiteral("Cannot make the file readable by its owner only. %1")
                         .arg(FileErrorText(file, errno));
        file.cancelWriting();
        return false;
    }
    return true;
}

bool CommitSaveFile(QSaveFile& file, QString* error)
{
    errno = 0;
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        if (error)
            *error = FileErrorText(file, errno);
        file.cancelWriting();
        return false;
    }
#ifdef Q_OS_UNIX
    // A disk that is full or failing may only say so now; commit() would
    // not tell.
    if (file.handle() >= 0) {
        int rc;
        do
            rc = ::fsync(file.handle());
        while (rc != 0 && errno == EINTR);
        if (rc != 0 && errno != EINVAL && errno != ENOTSUP) {
            if (error)
                *error = SystemErrorText(errno);
            file.cancelWriting();
            return false;
        }
    }
#endif
    errno = 0;
    if (!file.commit()) {
        if (error)
            *error = FileErrorText(file, errno);
        return false;
    }
    return SyncDirectory(QFileInfo(file.fileName()).absolutePath(), error);
}

bool WriteFileAtomically(const QString& path, const QByteArray& data, QString* error)
{
    QSaveFile file(path);
    if (!OpenSaveFile(file, error))
        return false;
    if (!WriteAll(file, data.constData(), data.size(), error)) {
        file.cancelWriting();
        return false;
    }
    return CommitSaveFile(file, error);
}

} // namespace vm
