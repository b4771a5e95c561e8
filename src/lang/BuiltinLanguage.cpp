#include "lang/BuiltinLanguage.h"

#include "core/AtomicFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMap>

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

// The translations, listed after English by BuiltinLanguages().
const char* const kTranslations[] = {"polish.lng", "german.lng"};

QByteArray ReadResource(const QString& fileName)
{
    InitLanguageResource();
    QFile file(QStringLiteral(":/lang/") + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray Digest(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// File name -> digest of what the program last wrote under that name.
using Record = QMap<QString, QByteArray>;

QString RecordPath(const QString& directory)
{
    return QDir(directory).filePath(BuiltinLanguageRecordName());
}

// Reads "<64 hex digits>  <file name>" lines; anything else is skipped, so
// a damaged record only makes the program treat those files as the user's.
Record ReadRecord(const QString& directory)
{
    Record record;
    QFile file(RecordPath(directory));
    if (!file.open(QIODevice::ReadOnly))
        return record;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.size() < 67 || line.mid(64, 2) != "  ")
            continue;
        const QByteArray digest = line.left(64).toLower();
        bool hex = true;
        for (const char c : digest)
            hex = hex && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
        const QString name = QString::fromUtf8(line.mid(66));
        if (hex && !name.contains(QLatin1Char('/')))
            record.insert(name, digest);
    }
    return record;
}

bool WriteRecord(const QString& directory, const Record& record)
{
    QByteArray text;
    for (auto it = record.cbegin(); it != record.cend(); ++it)
        text += it.value() + "  " + it.key().toUtf8() + '\n';
    return WriteFileAtomically(RecordPath(directory), text);
}

// Writes a built-in file and notes its digest in the record.
bool WriteAndRecord(const QString& directory, const BuiltinLanguage& language)
{
    if (language.bytes.isEmpty())
        return false;
    if (!WriteFileAtomically(QDir(directory).filePath(language.fileName), language.bytes))
        return false;
    Record record = ReadRecord(directory);
    record.insert(language.fileName, Digest(language.bytes));
    WriteRecord(directory, record);
    return true;
}

} // namespace

QString DefaultLanguageFileName()
{
    return StringTable(kStrDefaultLanguageFile);
}

QList<BuiltinLanguage> BuiltinLanguages()
{
    QList<BuiltinLanguage> list;
    QStringList names{DefaultLanguageFileName()};
    for (const char* name : kTranslations)
        names << QString::fromLatin1(name);
    for (const QString& name : names) {
        QByteArray bytes = ReadResource(name);
        if (!bytes.isEmpty())
            list.append({name, std::move(bytes)});
    }
    return list;
}

QByteArray BuiltinEnglishFile()
{
    return ReadResource(DefaultLanguageFileName());
}

bool WriteBuiltinEnglish(const QString& directory)
{
    return WriteAndRecord(directory, {DefaultLanguageFileName(), BuiltinEnglishFile()});
}

QString BuiltinLanguageRecordName()
{
    return QStringLiteral("languages.sha256");
}

void UpdateBuiltinLanguages(const QString& directory)
{
    Record record = ReadRecord(directory);
    bool recordChanged = false;
    const QString english = DefaultLanguageFileName();
    for (const BuiltinLanguage& language : BuiltinLanguages()) {
        const QString path = QDir(directory).filePath(language.fileName);
        const QByteArray builtin = Digest(language.bytes);
        const auto written = record.constFind(language.fileName);
        QFile file(path);
        if (!file.exists()) {
            // Never written here: ship it (English only when needed, above).
            if (written == record.cend() && language.fileName != english &&
                WriteFileAtomically(path, language.bytes)) {
                record.insert(language.fileName, builtin);
                recordChanged = true;
            }
            continue;
        }
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray onDisk = Digest(file.readAll());
        file.close();
        if (onDisk == builtin) {
            // Already the built-in version, whoever put it there.
            if (written == record.cend() || written.value() != builtin) {
                record.insert(language.fileName, builtin);
                recordChanged = true;
            }
        } else if (written != record.cend() && written.value() == onDisk &&
                   WriteFileAtomically(path, language.bytes)) {
            // Unchanged since the program wrote it: the newer version replaces it.
            record.insert(language.fileName, builtin);
            recordChanged = true;
        }
    }
    if (recordChanged)
        WriteRecord(directory, record);
}

} // namespace vm
