#pragma once
// The desktop's mail programs: the webmail address of an account made into
// a web address that may be opened (http and https only), and the default
// mail client found the way the desktop finds it ("xdg-mime query default
// x-scheme-handler/mailto" names a desktop entry whose Exec line is run
// directly, without a shell).

#include <QString>
#include <QStringList>

namespace vm {

// The account's webmail address as a web address to open: trimmed; when its
// lower-case form holds no "http", "http://" is put in front. Empty when the
// result is not a valid http or https address with a host (so "file:",
// "javascript:" and the like are never opened).
QString WebmailUrl(const QString& address);

// The program and arguments of a desktop entry's Exec value, after the
// entry's own escapes: quoted arguments ("..." with \" \` \$ \\ inside)
// joined, field codes dropped (%f %F %u %U and the deprecated ones) or
// filled (%i with "--icon ICON" when icon is given, %c with name, %k with
// entryPath, %% with %). Empty when the value is malformed (an unterminated
// quote).
QStringList SplitDesktopExec(const QString& exec, const QString& name = {},
                             const QString& icon = {}, const QString& entryPath = {});

// The desktop entry file for a desktop file id ("org.example.Mail.desktop"),
// searched in $XDG_DATA_HOME/applications then every $XDG_DATA_DIRS folder's
// applications (a "-" in the id may stand for a subfolder). Empty when none.
QString FindDesktopEntry(const QString& desktopId);

// What starting the default mail client needs: the command from the entry,
// or a reason why there is none.
struct MailClientCommand
{
    QStringList argv; // program first; empty on failure
    QString problem;  // why there is no command (for the log and tests)
};

// Asks xdg-mime for the mailto handler (waits at most a few seconds) and
// reads its desktop entry ([Desktop Entry] Exec, skipping Hidden entries).
MailClientCommand DefaultMailClientCommand();

// Starts the default mail client detached, without a shell. False when there
// is no client or it could not be started.
bool StartDefaultMailClient(QString* problem = nullptr);

} // namespace vm
