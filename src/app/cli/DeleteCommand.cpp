#include "app/cli/DeleteCommand.h"

#include <memory>

#include "app/cli/CheckCommand.h"
#include "mime/TIdMessageEx.h"
#include "model/TMailAccount.h"
#include "ops/ErrorList.h"
#include "ops/OperationReport.h"
#include "ops/RemovalOperation.h"
#include "platform/SingleInstance.h"

namespace vm {

namespace cli {

// Shared by --delete and --fetch: the account and its records named by
// UIDL, the data directory locked. Returns 0 when ready, else the exit code.
int PrepareMessageCommand(const char* command, const QStringList& args,
                          std::unique_ptr<SingleInstance>& lock, TMailAccount*& account,
                          QList<TIdMessageEx*>& records)
{
    if (args.size() < 2) {
        Err(QStringLiteral("usage: velmora %1 ACCOUNT UIDL...").arg(QLatin1String(command)));
        return kExitUsage;
    }
    for (const QString& a : args)
        if (a.startsWith(QLatin1String("--"))) {
            Err(QStringLiteral("unknown option for %1: %2").arg(QLatin1String(command), a));
            return kExitUsage;
        }
    if (!LoadBasics())
        return kExitFailed;
    if (!LockDataDirectory(lock))
        return kExitFailed;
    LoadMailboxes();
    account = FindAccount(args.first());
    if (!account)
        return kExitUsage;
    for (int i = 1; i < args.size(); ++i) {
        TIdMessageEx* m = account->Mailbox().FindByUIDL(args.at(i).toUtf8());
        if (!m) {
            Err(QStringLiteral("account %1 holds no message with the UIDL %2")
                    .arg(DisplayName(*account), args.at(i)));
            return kExitUsage;
        }
        if (!records.contains(m))
            records.append(m);
    }
    if (!PasswordKnown(*account)) {
        Err(NoPasswordText(*account));
        return kExitFailed;
    }
    PrepareNetworkCommand();
    return kExitOk;
}

} // namespace cli

int RunDeleteCommand(const QStringList& args)
{
    using namespace cli;
    std::unique_ptr<SingleInstance> lock;
    TMailAccount* account = nullptr;
    QList<TIdMessageEx*> records;
    if (const int rc = PrepareMessageCommand("--delete", args, lock, account, records))
        return rc;
    const RemovalResult r = RemoveMessagesOnServer(*account, records);
    if (r.completed) {
        if (!SaveAccount(*account))
            return kExitFailed;
        Out(QStringLiteral("%1\t%2").arg(DisplayName(*account)).arg(r.removed.size()));
    }
    ReportOperation(OperationKind::MessageRemoval, r.interrupted, !r.completed);
    return r.completed ? kExitOk : kExitFailed;
}

} // namespace vm
