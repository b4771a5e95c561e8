#pragma once
// The commands that run without a display (--check, --list, --send, ...).

#include "app/CommandLine.h"

namespace vm {

// Runs cl.command with cl.commandArgs under a QCoreApplication; returns the
// exit code (0 success, 1 failure, 2 bad arguments).
int RunCommand(const CommandLine& cl);

// Resolves and prepares the data directory for a command; false after
// printing the reason.
bool PrepareCommandDataDir(const CommandLine& cl);

} // namespace vm
