// Velmora: the windowed mail checker, and its commands for scripts.

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/VelmoraApp.h"
#include "core/TempDir.h"
#include "net/Transport.h"
#include "platform/LargePageHeap.h"

namespace {

// How long the end of the program waits for host name lookups that a
// connect stopped waiting for (the resolver's own time limit is 5 s).
constexpr int kLookupExitWaitMs = 5000;

int RunProgram(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const vm::CommandLine cl = vm::ParseCommandLine(arguments);

    switch (cl.mode) {
    case vm::CommandLine::Mode::Help:
        std::fputs(vm::HelpText().toLocal8Bit().constData(), stdout);
        return 0;
    case vm::CommandLine::Mode::Version:
        std::fputs(vm::VersionText().toLocal8Bit().constData(), stdout);
        return 0;
    case vm::CommandLine::Mode::Error:
        std::fprintf(stderr, "velmora: %s\nTry 'velmora --help'.\n",
                     cl.error.toLocal8Bit().constData());
        return 2;
    case vm::CommandLine::Mode::Command: {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
        return vm::RunCommand(cl);
    }
    case vm::CommandLine::Mode::Gui:
        break;
    }

    // Without any display the window system would abort the program; say
    // what is wrong instead and point to the commands that need none.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "velmora: no display to show the window on (DISPLAY is not set).\n"
                             "The commands listed by 'velmora --help' run without one.\n");
        return 2;
    }
    // The HTML views (Qt WebEngine) need this before the application object.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setQuitOnLastWindowClosed(false);
    vm::VelmoraApp velmora(app, cl);
    return velmora.Run();
}

} // namespace

int main(int argc, char** argv)
{
    vm::UseLargePageHeap(argv);
    const int code = RunProgram(argc, argv);
    // Every thread the program started has been joined by now (workers,
    // parsers, the update query), except host name lookups that cannot be
    // cancelled. None may still run when main returns: its end would race
    // the global destructors (Qt's, OpenSSL's, the C library's) and can
    // corrupt the heap after the work is done. A lookup still stuck after
    // the wait ends with the process, without those destructors; every file
    // is written by then.
    if (!vm::JoinAbandonedLookups(kLookupExitWaitMs)) {
        vm::RemoveTempDir();
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
