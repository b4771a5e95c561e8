#include "app/cli/FetchCommand.h"

#include <memory>

#include "app/cli/CheckCommand.h"
#include "mime/MessageRecord.h"
#include "model/MailAccount.h"
#include "ops/ErrorList.h"
#include "ops/OperationReport.h"
#include "ops/RetrieveWhole.h"
#include "platform/SingleInstance.h"

namespace vm {

int RunFetchCommand(const QStringList& args)
{
    using namespace cli;
    MessageTargets cmd;
    if (const int rc = PrepareMessageCommand("--fetch", args, cmd))
        return rc;
    MailAccount* account = cmd.account;
    const RetrieveResult r = RetrieveWholeMessages(*account, cmd.records);
    if (r.nothingToDo) {
        Err(TextOr("MAINWND", "AllMessagesDownloaded",
                   "All (selected) messages have been already downloaded."));
        return kExitOk;
    }
    for (const QByteArray& uid : r.missing)
        Err(QStringLiteral("not on the server any more: %1").arg(QString::fromUtf8(uid)));
    // What was fetched stays, also when a later message failed.
    bool saved = true;
    if (!r.retrieved.isEmpty())
        saved = SaveAccount(*account);
    Out(QStringLiteral("%1\t%2").arg(DisplayName(*account)).arg(r.retrieved.size()));
    ReportOperation(OperationKind::MessageRetrieval, r.interrupted, !r.completed);
    return r.completed && saved ? kExitOk : kExitFailed;
}

} // namespace vm
