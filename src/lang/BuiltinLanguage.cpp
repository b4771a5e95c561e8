#include "lang/BuiltinLanguage.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "core/StringTable.h"

// Resource registration of a static library must be requested explicitly,
// and Q_INIT_RESOURCE must be used outside any namespace.
static void InitLanguageResource()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(lang);
        return true;
    }();
    Q_UNUSED(done);
}

namespace vm {

namespace {

// QSaveFile::commit() of Qt 6.4 renames the temporary file over the target
// even when flushing the buffered data failed (for example on a full disk),
// leaving a truncated file. Flushing first and checking for errors before
// committing keeps the old file in that case.
bool WriteWholeFile(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size() || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
} // namespace

QString DefaultLanguageFileName()
{
    return StringTable(kStrDefaultLanguageFile);
}

QByteArray BuiltinEnglishFile()
{
    InitLanguageResource();
    QFile file(QStringLiteral(":/lang/english.lng"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteBuiltinEnglish(const QString& directory)
{
    const QByteArray data = BuiltinEnglishFile();
    if (data.isEmpty())
        return false;
    return WriteWholeFile(QDir(directory).filePath(DefaultLanguageFileName()), data);
}

} // namespace vm
