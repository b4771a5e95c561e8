#include "config/MailboxFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSet>
#include <QTemporaryFile>

#include <exception>

#include "core/AtomicFile.h"
#include "core/Errors.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/MailboxWriter.h"

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

bool MailboxFolderMove::Copy(const QString& to, const MailboxSaveOptions& options, QString* error)
{
    // Nothing else may write into either folder meanwhile.
    WaitForMailboxWrites();
    from_ = WithDelimiter(accounts_.MailboxDirectory());
    const QString target = WithDelimiter(to);
    oldNames_.clear();
    strays_.clear();
    written_.clear();

    QSet<QString> accountFiles; // old file names that belong to an account
    for (int i = 0; i < accounts_.Count(); ++i) {
        oldNames_.append(accounts_.At(i)->MailboxFileName());
        accountFiles.insert(accounts_.At(i)->MailboxFileName());
    }
    auto fail = [&](const QString& reason) {
        Undo();
        if (error)
            *error = reason;
        return false;
    };

    accounts_.SetMailboxDirectory(target);
    for (int i = 0; i < accounts_.Count(); ++i) {
        MailAccount* account = accounts_.At(i);
        // No previous name: the account takes a name no file in the new
        // folder has, so nothing there is replaced.
        account->MailboxFileName().clear();
        try {
            account->SaveToFile(options);
        } catch (const std::exception& e) {
            return fail(ErrorMessage(e));
        }
        written_.append(target + account->MailboxFileName());
    }

    // Files that did not load at start still hold accounts the user may want.
    if (!from_.isEmpty()) {
        for (const QString& name : MailboxFileNames(from_)) {
            if (accountFiles.contains(name))
                continue;
            const QString copy = target + FreeName(target, name);
            QFile source(from_ + name);
            QString reason;
            if (!source.open(QIODevice::ReadOnly)) {
                reason = source.errorString();
            } else {
                const QByteArray bytes = source.readAll();
                if (source.error() != QFileDevice::NoError)
                    reason = source.errorString();
                else if (!WriteFileAtomically(copy, bytes, &reason) && reason.isEmpty())
                    reason = QStringLiteral("write error");
            }
            if (!reason.isEmpty())
                return fail(QStringLiteral("Cannot copy file \"%1\" to \"%2\". %3")
                                .arg(from_ + name, copy, reason));
            written_.append(copy);
            strays_.append(name);
        }
    }
    return true;
}

void MailboxFolderMove::Finish()
{
    if (from_.isEmpty())
        return;
    for (const QString& name : oldNames_)
        if (!name.isEmpty())
            QFile::remove(from_ + name);
    for (const QString& name : strays_)
        QFile::remove(from_ + name);
    written_.clear();
}

void MailboxFolderMove::Undo()
{
    WaitForMailboxWrites();
    for (const QString& path : written_)
        QFile::remove(path);
    written_.clear();
    for (int i = 0; i < accounts_.Count() && i < oldNames_.size(); ++i)
        accounts_.At(i)->MailboxFileName() = oldNames_.at(i);
    accounts_.SetMailboxDirectory(from_);
}

} // namespace vm
