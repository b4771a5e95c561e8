#pragma once
// "velmora --passwords keyring|file": moves every account's passwords into
// the desktop keyring or back into the mailbox files, as the settings
// window's "Keep passwords in the desktop keyring" does, and stores the
// choice (PasswordStorage).

#include <QStringList>

namespace vm {

int RunPasswordsCommand(const QStringList& args);

} // namespace vm
