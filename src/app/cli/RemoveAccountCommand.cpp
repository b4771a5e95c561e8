#include "app/cli/RemoveAccountCommand.h"

#include <QFile>

#include <memory>

#include "app/cli/CheckCommand.h"
#include "config/PasswordStorage.h"
#include "model/AccountsDirectory.h"
#include "platform/SingleInstance.h"

namespace vm {

int RunRemoveAccountCommand(const QStringList& args)
{
    using namespace cli;
    if (args.size() != 1 || args.first().startsWith(QLatin1String("--"))) {
        Err(QStringLiteral("usage: velmora --remove-account ACCOUNT"));
        return kExitUsage;
    }
    std::unique_ptr<SingleInstance> lock;
    if (!OpenDataForWriting(lock))
        return kExitFailed;
    MailAccount* account = FindAccount(args.first());
    if (!account)
        return kExitUsage;
    const QString path = Accounts().MailboxDirectory() + account->MailboxFileName();
    if (!account->MailboxFileName().isEmpty() && QFile::exists(path) && !QFile::remove(path)) {
        Err(QStringLiteral("cannot remove the mailbox file %1").arg(path));
        return kExitFailed;
    }
    Out(DisplayName(*account));
    // The account is gone with its file; passwords the keyring cannot let go
    // of now are named, and left for the keyring's manager.
    const QString left = RemoveAccountKeyringItems(*account);
    if (!left.isEmpty())
        Err(left);
    Accounts().Delete(account);
    return kExitOk;
}

} // namespace vm
