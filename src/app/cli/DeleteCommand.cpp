#include "app/cli/DeleteCommand.h"

#include <memory>

#include "app/cli/CheckCommand.h"
#include "mime/MessageRecord.h"
#include "model/MailAccount.h"
#include "ops/ErrorList.h"
#include "ops/OperationReport.h"
#include "ops/RemovalOperation.h"
#include "platform/SingleInstance.h"

namespace vm {

namespace cli {

int PrepareMessageCommand(const char* command, const QStringList& args, MessageTargets& cmd)
{
    if (args.size() < 2) {
        Err(QStringLiteral("usage: velmora %1 ACCOUNT UIDL...").arg(QLatin1String(command)));
        return kExitUsage;
    }
    if (!RefuseOptions(command, args))
        return kExitUsage;
    if (!OpenDataForWriting(cmd.lock))
        return kExitFailed;
    MailAccount*& account = cmd.account;
    QList<MessageRecord*>& records = cmd.records;
    account = FindAccount(args.first());
    if (!account)
        return kExitUsage;
    for (int i = 1; i < args.size(); ++i) {
        MessageRecord* m = FindMessage(*account, args.at(i));
        if (!m)
            return kExitUsage;
        if (!records.contains(m))
            records.append(m);
    }
    if (!ReadKeyringPasswords({account}, kPop3Secret))
        return kExitFailed;
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
    MessageTargets cmd;
    if (const int rc = PrepareMessageCommand("--delete", args, cmd))
        return rc;
    MailAccount* account = cmd.account;
    const RemovalResult r = RemoveMessagesOnServer(*account, cmd.records);
    if (r.completed) {
        if (!SaveAccount(*account))
            return kExitFailed;
        Out(QStringLiteral("%1\t%2").arg(DisplayName(*account)).arg(r.removed.size()));
    }
    ReportOperation(OperationKind::MessageRemoval, r.interrupted, !r.completed);
    return r.completed ? kExitOk : kExitFailed;
}

} // namespace vm
