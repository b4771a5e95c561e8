#include "app/Commands.h"

#include <QTextStream>

#include <cstdio>

#include "core/DataDir.h"
#include "core/Messages.h"
#include "core/MyApplication.h"
#include "lang/LangStartup.h"

namespace vm {

bool PrepareCommandDataDir(const CommandLine& cl)
{
    const DataDirChoice dir = ResolveDataDirFromEnvironment(cl.dataDir);
    const QString problem = PrepareDataDir(dir.path);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "velmora: %s\n", problem.toLocal8Bit().constData());
        return false;
    }
    MyApplication::SetDataDir(dir.path);
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
        QTextStream out(stdout);
        const int rc = CheckLanguageFile(cl.commandArgs.first(), out);
        out.flush();
        return rc;
    }
    if (!PrepareCommandDataDir(cl))
        return 2;
    std::fprintf(stderr, "velmora: %s is not available in this build\n",
                 cl.command.toLocal8Bit().constData());
    return 2;
}

} // namespace vm
