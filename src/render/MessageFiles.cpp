#include "render/MessageFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QTemporaryFile>

#include <cerrno>
#include <unistd.h>

#include "core/AtomicFile.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "mime/SafeFileName.h"

namespace vm {

namespace {

constexpr QFileDevice::Permissions kOwnerReadWrite =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool Taken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString MessageFileName(const QString& subject)
{
    QString name = subject + QStringLiteral(".eml");
    for (QChar& c : name)
        if (QStringLiteral("<>*?\\/':;\"").contains(c))
            c = QLatin1Char('_');
    name = SafeFileName(name);
    // A subject of only dots or blanks leaves "eml" (the leading dot goes).
    if (!name.endsWith(QLatin1String(".eml"), Qt::CaseInsensitive) || name.size() == 4)
        return QStringLiteral("message.eml");
    return name;
}

QByteArray MessageFileContent(const MessageRecord& message)
{
    if (message.HoldingState() == MessageRecord::Holding::Whole)
        return message.raw;
    MessageRecord copy(message);
    if (!copy.parsed())
        copy.ParseHeaders();
    QByteArray out;
    for (const QByteArray& line : copy.HeaderLines())
        out += line + "\r\n";
    return out;
}

QString AttachmentFileName(const AttachmentPart& part)
{
    const QString name = SafeFileName(AttachmentDisplayName(part));
    if (!name.isEmpty())
        return name;
    return part.contentType == "message/rfc822" ? QStringLiteral("message.eml")
                                                : QStringLiteral("attachment");
}

QString FreeFilePath(const QString& folder, const QString& name)
{
    const QDir dir(folder);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    for (int n = 0; n < 100; ++n) {
        const QString candidate = n == 0 ? name : base + QStringLiteral(" (%1)").arg(n) + ext;
        const QString path = dir.filePath(candidate);
        if (!Taken(path))
            return path;
    }
    return {};
}

bool WriteDataFile(const QString& path, const QByteArray& data, bool mustBeNew, QString* error)
{
    if (mustBeNew) {
        QFile file(path);
        errno = 0;
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerReadWrite)) {
            if (error)
                *error = FileErrorText(file, errno);
            return false;
        }
        errno = 0;
        if (!WriteAll(file, data.constData(), data.size(), error) || !file.flush()) {
            if (error && error->isEmpty())
                *error = FileErrorText(file, errno);
            file.close();
            file.remove();
            return false;
        }
        return true;
    }
    // A temporary file beside the target, created 0600 by this process
    // alone, written and synced whole, then renamed over the name: the old
    // file stays until the new one is complete on disk, and a link at the
    // name is replaced, never written through (QSaveFile would follow it).
    const QFileInfo target(path);
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.velmora-XXXXXX"));
    const auto fail = [&](int savedErrno) {
        if (error && error->isEmpty())
            *error = FileErrorText(temp, savedErrno);
        return false;
    };
    if (error)
        error->clear();
    errno = 0;
    if (!temp.open() || !temp.setPermissions(kOwnerReadWrite))
        return fail(errno);
    if (!WriteAll(temp, data.constData(), data.size(), error))
        return fail(errno);
    errno = 0;
    if (!temp.flush())
        return fail(errno);
    if (::fsync(temp.handle()) != 0) {
        const int saved = errno;
        if (error)
            *error = SystemErrorText(saved);
        return false;
    }
    temp.close();
    if (::rename(QFile::encodeName(temp.fileName()).constData(),
                 QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        const int saved = errno;
        if (error)
            *error = SystemErrorText(saved);
        return false;
    }
    temp.setAutoRemove(false);
    SyncDirectory(target.absolutePath());
    return true;
}

QStringList SaveAttachmentsInto(const MessageRecord& message, const QString& folder,
                                QStringList* failed)
{
    QStringList written;
    for (const AttachmentPart& part : message.Attachments()) {
        const QString name = AttachmentFileName(part);
        bool ok = false;
        QString reason;
        // A file made by someone else between the look and the write is
        // never replaced: the write then tries the next free name.
        for (int tries = 0; tries < 3 && !ok; ++tries) {
            const QString path = FreeFilePath(folder, name);
            if (path.isEmpty())
                break;
            if (WriteDataFile(path, part.data, true, &reason)) {
                written.append(path);
                ok = true;
            } else if (!Taken(path)) {
                break;
            }
        }
        if (!ok && failed)
            failed->append(reason.isEmpty() ? name : name + QStringLiteral(": ") + reason);
    }
    return written;
}

QStringList SaveMessages(const QList<const MessageRecord*>& messages,
                         const MessageSaveChoosers& choose)
{
    QStringList written;
    if (messages.isEmpty())
        return written;
    QString folder;
    if (messages.size() > 1 &&
        AskYesNo(LangText(QStringLiteral("COMMONS"), QStringLiteral("SaveAllMsgToSingleDir")))) {
        folder = choose.chooseFolder(
            LangText(QStringLiteral("COMMONS"), QStringLiteral("SaveMessages")));
        if (folder.isEmpty())
            return written;
    }
    for (const MessageRecord* m : messages) {
        QString subject;
        if (m->parsed()) {
            subject = m->Subject();
        } else {
            MessageRecord copy(*m);
            copy.ParseHeaders();
            subject = copy.Subject();
        }
        const QString name = MessageFileName(subject);
        QString path;
        if (folder.isEmpty()) {
            path = choose.chooseFile(name);
            if (path.isEmpty())
                break;
        } else {
            path = FreeFilePath(folder, name);
        }
        // The dialog has asked before replacing; a folder's free name is new.
        bool ok = false;
        QString reason;
        if (!path.isEmpty()) {
            if (choose.writing)
                choose.writing(true);
            ok = WriteDataFile(path, MessageFileContent(*m), !folder.isEmpty(), &reason);
            if (choose.writing)
                choose.writing(false);
        }
        if (ok)
            written.append(path);
        else
            ShowError(WithReason(LangFormat(QStringLiteral("COMMONS"),
                                            QStringLiteral("ErrorSavingMessage"),
                                            {path.isEmpty() ? QDir(folder).filePath(name) : path}),
                                 reason));
    }
    return written;
}

bool IsRunnableFileType(const QString& fileName)
{
    static const QStringList kRunnable{
        "desktop",     "sh",         "bash",     "zsh",  "csh",   "ksh",    "fish", "command",
        "run",         "bin",        "appimage", "py",   "pyc",   "pl",     "rb",   "php",
        "js",          "jse",        "mjs",      "jar",  "class", "exe",    "com",  "bat",
        "cmd",         "msi",        "msp",      "scr",  "pif",   "cpl",    "vbs",  "vbe",
        "wsf",         "wsh",        "ps1",      "psm1", "hta",   "lnk",    "reg",  "deb",
        "rpm",         "apk",        "elf",      "so",   "dll",   "x86_64", "out",  "url",
        "application", "flatpakref", "flatpak",  "snap", "xpi",   "crx",    "iso",  "img",
        "jnlp"};
    const QString name = fileName.trimmed();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    return kRunnable.contains(name.mid(dot + 1).toLower());
}

bool IsRunnableContent(const QString& fileName, const QByteArray& head)
{
    if (head.startsWith("#!") || head.startsWith("\x7F" "ELF"))
        return true;
    // A PE executable: "MZ", and at the offset stored at 0x3C "PE\0\0".
    if (head.startsWith("MZ") && head.size() >= 0x40) {
        const auto at = [&head](int i) { return quint32(quint8(head.at(i))); };
        const quint32 pe = at(0x3C) | at(0x3D) << 8 | at(0x3E) << 16 | at(0x3F) << 24;
        if (pe <= quint32(head.size() - 4) &&
            head.mid(qsizetype(pe), 4) == QByteArray("PE\0\0", 4))
            return true;
    }
    static const char* const kRunnableMime[] = {"application/x-executable",
                                                "application/x-sharedlib",
                                                "application/x-pie-executable",
                                                "application/x-shellscript",
                                                "application/x-desktop",
                                                "application/x-ms-dos-executable",
                                                "application/x-msdownload",
                                                "application/x-java-archive",
                                                "application/x-java-jnlp-file",
                                                "application/vnd.microsoft.portable-executable",
                                                "application/x-python",
                                                "application/x-perl",
                                                "application/x-ruby",
                                                "text/x-python",
                                                "text/x-perl",
                                                "application/x-php"};
    const QMimeType type = QMimeDatabase().mimeTypeForFileNameAndData(fileName, head);
    for (const char* mime : kRunnableMime)
        if (type.inherits(QString::fromLatin1(mime)))
            return true;
    return false;
}

} // namespace vm
