#pragma once
// What the program settings say about mailbox files: the folder they live
// in and the options their writing and loading take. The storage code gets
// these as plain values, so it does not depend on the settings object.

#include <QString>

#include "model/StorageOptions.h"

namespace vm {

// The mailbox directory: the MbxStorage setting, or the program directory
// when that is empty; ends with "/".
QString MailboxDirectoryFromSettings();
MailboxSaveOptions SaveOptionsFromSettings();
MailboxLoadOptions LoadOptionsFromSettings();

// Warns (one message for all of them) when the data directory or the
// mailbox directory can be entered, read or written by other users: the
// files there hold mail and passwords. A warning only; nothing is refused.
// Returns true when it warned. Called once per run, after the language file
// is loaded.
bool WarnIfStorageOpenToOthers(const QString& dataDir, const QString& mailboxDir);

} // namespace vm
