#include "app/Commands.h"

#include <QTextStream>

#include <cstdio>

#include "app/cli/AddAccountCommand.h"
#include "app/cli/CheckCommand.h"
#include "app/cli/ContactsCommand.h"
#include "app/cli/DeleteCommand.h"
#include "app/cli/FetchCommand.h"
#include "app/cli/ListCommand.h"
#include "app/cli/PasswordsCommand.h"
#include "app/cli/RemoveAccountCommand.h"
#include "app/cli/SendCommand.h"
#include "app/cli/SignInCommand.h"
#include "app/cli/SaveCommand.h"
#include "app/cli/ShowCommand.h"
#include "core/DataDir.h"
#include "core/Messages.h"
#include "core/AppInfo.h"
#include "core/TerminalText.h"
#include "lang/LangStartup.h"

namespace vm {

bool PrepareCommandDataDir(const CommandLine& cl)
{
    const DataDirChoice dir = ResolveDataDirFromEnvironment(cl.dataDir);
    const QString problem = PrepareDataDir(dir.path);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "velmora: %s\n", TerminalSafeText(problem).toLocal8Bit().constData());
        return false;
    }
    AppInfo::SetDataDir(dir.path);
    return true;
}

int RunCommand(const CommandLine& cl)
{
    // Messages and questions of the shared code go to standard error; a
    // question is answered No, the answer that never destroys anything.
    static ConsoleMessageService console(MsgAnswer::No);
    SetMessageService(&console);
    // The translators' check looks at one file and needs no data directory.
    if (cl.command == QLatin1String("--check-language")) {
        if (cl.commandArgs.size() != 1) {
            std::fprintf(stderr, "velmora: usage: velmora --check-language FILE\n");
            return 2;
        }
        // The report quotes the file, which may come from anyone.
        QString report;
        QTextStream out(&report);
        const int rc = CheckLanguageFile(cl.commandArgs.first(), out);
        out.flush();
        std::fputs(TerminalSafeText(report).toUtf8().constData(), stdout);
        std::fflush(stdout);
        return rc;
    }
    if (!PrepareCommandDataDir(cl))
        return 2;
    if (cl.command == QLatin1String("--check"))
        return RunCheckCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--list"))
        return RunListCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--show"))
        return RunShowCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--save"))
        return RunSaveCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--save-attachments"))
        return RunSaveAttachmentsCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--delete"))
        return RunDeleteCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--fetch"))
        return RunFetchCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--add-account"))
        return RunAddAccountCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--sign-in"))
        return RunSignInCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--remove-account"))
        return RunRemoveAccountCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--passwords"))
        return RunPasswordsCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--send"))
        return RunSendCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--contacts"))
        return RunContactsCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--import-contacts"))
        return RunImportContactsCommand(cl.commandArgs);
    if (cl.command == QLatin1String("--export-contacts"))
        return RunExportContactsCommand(cl.commandArgs);
    std::fprintf(stderr, "velmora: %s is not a known command\n",
                 TerminalSafeText(cl.command).toLocal8Bit().constData());
    return 2;
}

} // namespace vm
