#pragma once
// Opening an address in the user's web browser the way the desktop does,
// without a shell: the commands of $BROWSER when it is set (a list separated
// by ":", tried in order; "%s" in a command stands for the address, else the
// address is added as the last argument), else xdg-open. The address is
// always one argument of its own; nothing of it is ever interpreted.

#include <QString>
#include <QStringList>
#include <QUrl>

namespace vm {

// The command lines (program first) to try for address, given the value of
// $BROWSER (empty: xdg-open alone).
QList<QStringList> BrowserCommands(const QString& browserVariable, const QString& address);

// Starts the first command of BrowserCommands that can be started, detached.
// False when none could (no browser: the caller shows the address instead).
bool OpenInBrowser(const QUrl& url);

} // namespace vm
