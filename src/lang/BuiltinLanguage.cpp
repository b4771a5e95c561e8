#include "lang/BuiltinLanguage.h"

#include "core/AtomicFile.h"

#include <QDir>
#include <QFile>

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
    return WriteFileAtomically(QDir(directory).filePath(DefaultLanguageFileName()), data);
}

} // namespace vm
