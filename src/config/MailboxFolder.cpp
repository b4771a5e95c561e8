#include "config/MailboxFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSet>
#include <QTemporaryFile>

#include "core/Errors.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"

namespace vm {

namespace {

QString WithDelimiter(QString dir)
{
    if (!dir.endsWith('/'))
        dir += '/';
    return dir;
}

QStringList MailboxFileNames(const QString& dir)
{
    return QDir(dir).entryList({QStringLiteral("*.mbx")}, QDir::Files | QDir::Hidden, QDir::Name);
}

// A name in dir that no file has yet: name, then name with 1, 2, ... before
// the extension.
QString FreeName(const QString& dir, const QString& name)
{
    const QFileInfo info(name);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : '.' + info.suffix();
    QString candidate = name;
    for (int n = 1; QFileInfo::exists(dir + candidate); ++n)
        candidate = base + QString::number(n) + suffix;
    return candidate;
}

} // namespace

QString ComparableFolder(const QString& dir)
{
    const QFileInfo info(dir);
    const QString canonical = info.canonicalFilePath();
    return WithDelimiter(canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath())
                                             : canonical);
}

bool FolderAcceptsFiles(const QString& dir)
{
    if (dir.isEmpty() || !QDir::isAbsolutePath(dir) || !QFileInfo(dir).isDir())
        return false;
    QTemporaryFile probe(WithDelimiter(dir) + QStringLiteral(".velmora-probe-XXXXXX"));
    return probe.open();
}

bool FolderHoldsMailboxes(const QString& dir)
{
    return !MailboxFileNames(dir).isEmpty();
}

bool MoveMailboxFiles(AccountsDirectory& accounts, const QString& to,
                      const MailboxSaveOptions& options, QString* error)
{
    const QString from = WithDelimiter(accounts.MailboxDirectory());
    const QString target = WithDelimiter(to);

    QList<QString> oldNames;    // per account, its file in the old folder
    QStringList written;        // paths created in the new folder
    QSet<QString> accountFiles; // old file names that belong to an account
    for (int i = 0; i < accounts.Count(); ++i) {
        oldNames.append(accounts.At(i)->MailboxFileName());
        accountFiles.insert(accounts.At(i)->MailboxFileName());
    }

    auto undo = [&](const QString& reason) {
        for (const QString& path : written)
            QFile::remove(path);
        for (int i = 0; i < accounts.Count(); ++i)
            accounts.At(i)->MailboxFileName() = oldNames.at(i);
        accounts.SetMailboxDirectory(from);
        if (error)
            *error = reason;
        return false;
    };

    accounts.SetMailboxDirectory(target);
    for (int i = 0; i < accounts.Count(); ++i) {
        MailAccount* account = accounts.At(i);
        // No previous name: the account takes a name no file in the new
        // folder has, so nothing there is replaced.
        account->MailboxFileName().clear();
        try {
            account->SaveToFile(options);
        } catch (const std::exception& e) {
            return undo(ErrorMessage(e));
        }
        written.append(target + account->MailboxFileName());
    }

    // Files that did not load at start still hold accounts the user may want.
    QStringList strays;
    if (!from.isEmpty()) {
        for (const QString& name : MailboxFileNames(from)) {
            if (accountFiles.contains(name))
                continue;
            const QString copy = target + FreeName(target, name);
            if (!QFile::copy(from + name, copy))
                return undo(
                    QStringLiteral("Cannot copy file \"%1\" to \"%2\".").arg(from + name, copy));
            QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            written.append(copy);
            strays.append(name);
        }
    }

    // Everything is in the new folder; the old copies go.
    if (!from.isEmpty()) {
        for (const QString& name : oldNames)
            if (!name.isEmpty())
                QFile::remove(from + name);
        for (const QString& name : strays)
            QFile::remove(from + name);
    }
    return true;
}

} // namespace vm
