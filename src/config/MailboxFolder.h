#pragma once
// Changing the folder that holds the mailbox files, in an order that never
// loses an account, whatever fails and wherever the program dies:
//   1. Copy: every account is written into the new folder (and the files
//      that failed to load are copied there); the old files stay.
//   2. The settings naming the new folder are written (atomically: the old
//      or the new velmora.ini, never half of one).
//   3. Finish: only then are the old files removed. When step 2 failed,
//      Undo removes the copies instead and the accounts keep their files.
// A start after dying before step 2 completed reads the old folder, which
// is complete; after step 2 it reads the new one, which is complete too.
// Leftovers are only ever extra copies.

#include <QString>
#include <QStringList>

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

class MailboxFolderMove
{
public:
    explicit MailboxFolderMove(AccountsDirectory& accounts) : accounts_(accounts) {}

    // Step 1: writes every account into the folder to (each under a file
    // name free there) and copies the other "*.mbx" files of the old folder
    // (those that failed to load at start) to free names beside them. The
    // accounts directory names the new folder afterwards. On a failure the
    // files already written there are removed again, the accounts keep
    // their old folder and file names, and the result is false with the
    // reason in error.
    bool Copy(const QString& to, const MailboxSaveOptions& options, QString* error);
    // Step 3: removes the old files.
    void Finish();
    // Instead of step 3: removes the copies; the accounts name their old
    // folder and files again.
    void Undo();

private:
    AccountsDirectory& accounts_;
    QString from_;
    QStringList oldNames_; // per account, its file in the old folder
    QStringList strays_;   // other mailbox files of the old folder, copied
    QStringList written_;  // paths created in the new folder
};

} // namespace vm
