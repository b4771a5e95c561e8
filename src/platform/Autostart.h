#pragma once
// Starting together with the user's session: an XDG autostart entry
// "velmora.desktop" in the autostart directory ($XDG_CONFIG_HOME/autostart,
// or ~/.config/autostart). Its Exec line is the quoted executable path
// followed by " -startup", which the program recognises as a start by the
// system, and "--data-dir" with the data directory in use, so a start with
// the session opens the same files as the program that wrote the entry.

#include <QString>

namespace vm {

// The autostart directory, from XDG_CONFIG_HOME when set (absolute), else
// ~/.config/autostart.
QString AutostartDirectory();
// AutostartDirectory() + "/velmora.desktop".
QString AutostartFilePath();

// The Exec value for the executable: the path quoted and escaped by the
// desktop entry rules, then " -startup", then (when dataDir is not empty)
// " --data-dir " and the directory, quoted the same way.
QString AutostartExecLine(const QString& executablePath, const QString& dataDir = QString());
// The whole desktop entry written for the executable.
QByteArray AutostartDesktopEntry(const QString& executablePath, const QString& dataDir = QString());

// Writes the entry (enabled) or removes it (disabled). True on success,
// including removing an entry that does not exist.
bool SetRunOnStartup(bool enabled, const QString& executablePath,
                     const QString& dataDir = QString());

} // namespace vm
