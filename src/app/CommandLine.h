#pragma once
// Reading Velmora's command line. The window program takes "-startup" (as the
// first argument only, any letter case), --data-dir DIR and --demo; every
// other use is a command that runs without a display and ends.

#include <QString>
#include <QStringList>

namespace vm {

struct CommandLine
{
    enum class Mode { Gui, Help, Version, Command, Error };
    Mode mode = Mode::Gui;
    QString dataDir;          // --data-dir DIR, empty when not given
    bool startedBySystem = false;
    // --demo: the window on the built-in demo servers and accounts, on a
    // throwaway data directory unless --data-dir is given.
    bool demo = false;
    QString command;          // "--check", "--list", ... for Mode::Command
    QStringList commandArgs;  // the arguments after the command, without --data-dir
    QString error;            // for Mode::Error
};

// The commands that run without a display, with a one-line description each.
struct CommandInfo
{
    const char* name;
    const char* usage;
};
const QList<CommandInfo>& KnownCommands();

// arguments[0] is the program path, as QCoreApplication::arguments() gives it.
CommandLine ParseCommandLine(const QStringList& arguments);

QString HelpText();

// What --version prints: the program and its version, the rights line and the
// licence (GPL version 3 or later) with its no-warranty notice.
QString VersionText();

} // namespace vm
