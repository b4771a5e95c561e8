#include "core/DataDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace vm {

namespace {
QString Absolute(const QString& p)
{
    return QDir::cleanPath(QDir(p).absolutePath());
}
} // namespace

DataDirChoice ResolveDataDir(const QString& commandLineDir, const QString& envDir,
                             const QString& executableDir, const QString& homeDir,
                             const QString& xdgDataHome)
{
    if (!commandLineDir.isEmpty())
        return {Absolute(commandLineDir), DataDirSource::CommandLine};
    if (!envDir.isEmpty())
        return {Absolute(envDir), DataDirSource::Environment};
    if (!executableDir.isEmpty() && QFileInfo::exists(QDir(executableDir).filePath("portable")))
        return {Absolute(executableDir), DataDirSource::Portable};
    // XDG: a relative XDG_DATA_HOME is invalid and must be ignored.
    QString base = xdgDataHome;
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir(homeDir).filePath(".local/share");
    return {Absolute(QDir(base).filePath("velmora")), DataDirSource::UserDefault};
}

DataDirChoice ResolveDataDirFromEnvironment(const QString& commandLineDir)
{
    const QString exeDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                        : QString();
    return ResolveDataDir(commandLineDir, qEnvironmentVariable("VELMORA_HOME"), exeDir,
                          QDir::homePath(), qEnvironmentVariable("XDG_DATA_HOME"));
}

QString PrepareDataDir(const QString& path)
{
    QFileInfo info(path);
    if (info.exists() && !info.isDir())
        return QStringLiteral("The data directory %1 is a file, not a directory.").arg(path);
    if (!info.exists()) {
        const QString reason = CreatePrivateDirectory(path);
        if (!reason.isEmpty())
            return QStringLiteral("The data directory %1 does not exist and cannot be created: %2")
                .arg(path, reason);
    }
    QTemporaryFile probe(QDir(path).filePath(".write-test-XXXXXX"));
    if (!probe.open())
        return QStringLiteral("The data directory %1 is not writable: %2").arg(path, probe.errorString());
    return {};
}

QString CreatePrivateDirectory(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    // The folders to create, from the top down.
    QStringList missing;
    for (QString p = clean; !QFileInfo::exists(p); p = QFileInfo(p).path()) {
        missing.prepend(p);
        if (QFileInfo(p).path() == p)
            break;
    }
    for (const QString& p : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(p).constData(), S_IRWXU) != 0 && errno != EEXIST)
            return QString::fromLocal8Bit(std::strerror(errno));
    }
    if (missing.isEmpty())
        return {};
    // A umask can only take bits away; a directory without its owner's
    // rights is useless, so put them back and check the result.
    struct stat st = {};
    const QByteArray native = QFile::encodeName(clean);
    if (::stat(native.constData(), &st) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if ((st.st_mode & 07777) != S_IRWXU &&
        (::chmod(native.constData(), S_IRWXU) != 0 || ::stat(native.constData(), &st) != 0 ||
         (st.st_mode & 07777) != S_IRWXU))
        return QStringLiteral("its permissions cannot be set to 0700");
    return {};
}

QStringList DirectoriesOpenToOthers(const QStringList& dirs)
{
    QStringList open;
    QStringList seen;
    for (const QString& dir : dirs) {
        if (dir.isEmpty())
            continue;
        QString key = QFileInfo(dir).canonicalFilePath();
        if (key.isEmpty())
            continue;
        if (seen.contains(key))
            continue;
        seen.append(key);
        struct stat st = {};
        if (::stat(QFile::encodeName(key).constData(), &st) == 0 &&
            (st.st_mode & (S_IRWXG | S_IRWXO)))
            open.append(QDir::cleanPath(dir));
    }
    return open;
}

} // namespace vm
