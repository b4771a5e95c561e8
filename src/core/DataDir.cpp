#include "core/DataDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

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
    if (!info.exists() && !QDir().mkpath(path))
        return QStringLiteral("The data directory %1 does not exist and cannot be created.").arg(path);
    QTemporaryFile probe(QDir(path).filePath(".write-test-XXXXXX"));
    if (!probe.open())
        return QStringLiteral("The data directory %1 is not writable: %2").arg(path, probe.errorString());
    return {};
}

} // namespace vm
