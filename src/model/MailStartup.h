#pragma once
// Loading all mailboxes at start and saving them at exit, with the reports
// the application turns into message boxes. No interface code here: the
// caller looks up the texts and shows them.

#include <QString>

#include <functional>

#include "model/StorageOptions.h"
#include "model/AccountsDirectory.h"

namespace vm {

struct MailboxLoadReports
{
    // Before each file is read (the loading window's progress line).
    std::function<void(const QString& fileName)> progress;
    // Partly invalid file; the account is kept ("IncompleteMailbox").
    std::function<void(const QString& fileName)> incomplete;
    // Invalid file; the account is dropped ("InvalidMailboxError").
    std::function<void(const QString& fileName)> invalid;
    // Unreadable file; the account is dropped ("MailboxAccessError").
    std::function<void(const QString& fileName, const QString& message)> unreadable;
};

// Loads every mailbox file of mailboxDir into dir. Each report is called
// when it happens; loading then goes on with the next file. Returns the
// number of accounts loaded.
int LoadMailboxesAtStart(AccountsDirectory& dir, const QString& mailboxDir,
                         const MailboxLoadOptions& options, const MailboxLoadReports& reports);

// Saves every account's mailbox file in directory order. When saving one
// fails, onError gets the account, the error's class name and message and
// decides: true saves the others (that account stays unsaved), false stops.
// Returns false when stopped (the exit is to be cancelled).
using MailboxSaveErrorHandler = std::function<bool(
    const MailAccount& account, const QString& errorClass, const QString& errorMessage)>;
bool SaveMailboxesAtExit(AccountsDirectory& dir, const MailboxSaveOptions& options,
                         const MailboxSaveErrorHandler& onError);

} // namespace vm
