#include "app/cli/SaveCommand.h"

#include <QDir>
#include <QFileInfo>

#include "app/cli/CheckCommand.h"
#include "mime/MessageRecord.h"
#include "render/MessageFiles.h"

namespace vm {

namespace {

const char kSaveUsage[] = "usage: velmora --save ACCOUNT UIDL [FILE|DIR]";
const char kAttachmentsUsage[] = "usage: velmora --save-attachments ACCOUNT UIDL DIR";

bool HasOption(const QStringList& args)
{
    for (const QString& a : args)
        if (a.startsWith(QLatin1String("--")))
            return true;
    return false;
}

} // namespace

int RunSaveCommand(const QStringList& args)
{
    using namespace cli;
    if (HasOption(args) || args.size() < 2 || args.size() > 3) {
        Err(QString::fromLatin1(kSaveUsage));
        return kExitUsage;
    }
    int rc = kExitOk;
    MessageRecord* m = LoadHeldMessage(args[0], args[1], rc);
    if (!m)
        return rc;
    if (!m->parsed())
        m->ParseHeaders();
    const QString target = args.size() == 3 ? args[2] : QDir::currentPath();
    const bool intoFolder = QFileInfo(target).isDir();
    const QString path = intoFolder ? FreeFilePath(target, MessageFileName(m->Subject())) : target;
    QString reason;
    if (path.isEmpty() || !WriteDataFile(path, MessageFileContent(*m), intoFolder, &reason)) {
        Err(reason.isEmpty() ? QStringLiteral("cannot write %1").arg(path.isEmpty() ? target : path)
                             : QStringLiteral("cannot write %1: %2").arg(path, reason));
        return kExitFailed;
    }
    Out(QFileInfo(path).absoluteFilePath());
    return kExitOk;
}

int RunSaveAttachmentsCommand(const QStringList& args)
{
    using namespace cli;
    if (HasOption(args) || args.size() != 3) {
        Err(QString::fromLatin1(kAttachmentsUsage));
        return kExitUsage;
    }
    if (!QFileInfo(args[2]).isDir()) {
        Err(QStringLiteral("%1 is not a folder").arg(args[2]));
        return kExitUsage;
    }
    int rc = kExitOk;
    MessageRecord* m = LoadHeldMessage(args[0], args[1], rc);
    if (!m)
        return rc;
    if (!WholeMessageHeld(*m))
        return kExitFailed;
    m->ParseWhole();
    QStringList failed;
    const QString folder = QFileInfo(args[2]).absoluteFilePath();
    for (const QString& path : SaveAttachmentsInto(*m, folder, &failed))
        Out(path);
    for (const QString& name : failed)
        Err(QStringLiteral("cannot write into %1: %2").arg(folder, name));
    return failed.isEmpty() ? kExitOk : kExitFailed;
}

} // namespace vm
