#include "platform/UserManual.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// Q_INIT_RESOURCE has to be used outside any namespace; the resource lives
// in a static library, so it is registered explicitly.
static void InitManualResource()
{
    Q_INIT_RESOURCE(manual);
}

namespace vm {

namespace {

const QString kIndex = QStringLiteral("index.html");

bool SameBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.size() != bytes.size() || !f.open(QIODevice::ReadOnly))
        return false;
    return f.readAll() == bytes;
}

} // namespace

QString InstalledManualIndex(const QString& binDir)
{
    const QString path =
        QDir::cleanPath(binDir + QStringLiteral("/../share/doc/velmora/manual/") + kIndex);
    return QFileInfo(path).isFile() ? path : QString();
}

QString ManualCacheDir()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/velmora/manual");
}

QString WriteOutManual(const QString& sourceDir, const QString& targetDir)
{
    const QDir source(sourceDir);
    if (!QFileInfo(source.filePath(kIndex)).isFile())
        return {};
    QDirIterator it(sourceDir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = targetDir + QLatin1Char('/') + source.relativeFilePath(from);
        QFile in(from);
        if (!in.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = in.readAll();
        if (SameBytes(to, bytes))
            continue;
        if (!QDir().mkpath(QFileInfo(to).absolutePath()))
            return {};
        QSaveFile out(to);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
            return {};
    }
    return QDir(targetDir).filePath(kIndex);
}

QString UserManualIndex()
{
    const QString installed = InstalledManualIndex(QCoreApplication::applicationDirPath());
    if (!installed.isEmpty())
        return installed;
    InitManualResource();
    return WriteOutManual(QStringLiteral(":/manual"), ManualCacheDir());
}

} // namespace vm
