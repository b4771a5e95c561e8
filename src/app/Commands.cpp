#include "app/Commands.h"

#include <cstdio>

#include "core/DataDir.h"
#include "core/Messages.h"
#include "core/MyApplication.h"

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
    if (!PrepareCommandDataDir(cl))
        return 2;
    std::fprintf(stderr, "velmora: %s is not available in this build\n",
                 cl.command.toLocal8Bit().constData());
    return 2;
}

} // namespace vm
