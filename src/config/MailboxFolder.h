#pragma once
// Changing the folder that holds the mailbox files. The accounts are
// written into the new folder at once, and only then are the old files
// removed, so the next start (which reads the folder the settings name)
// finds every account, and a failure leaves everything where it was.

#include <QString>

#include "model/StorageOptions.h"

namespace vm {

class AccountsDirectory;

// The folder as it is compared: absolute, cleaned, symbolic links
// resolved where the folder exists, ending with "/".
QString ComparableFolder(const QString& dir);

// True when dir is an existing folder, given as an absolute path, in which
// a file can be created.
bool FolderAcceptsFiles(const QString& dir);

// True when dir holds at least one "*.mbx" file.
bool FolderHoldsMailboxes(const QString& dir);

// Writes every account of accounts into the folder to (each under a file
// name free there), copies the other "*.mbx" files of the old folder
// (those that failed to load at start) to free names beside them, and
// then removes the old files. The accounts directory names the new folder
// afterwards. On a failure nothing of the old folder is touched, the files
// already written to the new folder are removed again, the accounts keep
// their old file names, and the result is false with the reason in error.
bool MoveMailboxFiles(AccountsDirectory& accounts, const QString& to,
                      const MailboxSaveOptions& options, QString* error);

} // namespace vm
