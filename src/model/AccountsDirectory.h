#pragma once
// The single, process-wide list of all accounts. It loads every mailbox file
// of the mailbox directory at start, saves them all at exit, and offers the
// operations that act on all mailboxes at once.

#include <QString>

#include <exception>
#include <functional>

#include "core/Errors.h"
#include "core/CommonContainer.h"
#include "model/StorageOptions.h"
#include "model/MailAccount.h"

namespace vm {

class AccountsDirectory : public CommonContainer<MailAccount>, public AccountOwner
{
public:
    // The parameter block of the loading pass (owned by the caller).
    struct LoadParams
    {
        using Report = std::function<void(LoadParams&)>;
        using ErrorReport = std::function<void(LoadParams&, const std::exception&)>;

        int found = 0;          // out: number of "*.mbx" files found
        int loaded = 0;         // out: accounts loaded and added
        QString directory;      // in/out: normalised to end with "/"
        QString currentFile;    // out: the file about to be read (name only)
        Report progress;        // before each file is read; may be empty
        ErrorReport incomplete; // damaged record: the account is kept
        ErrorReport invalid;    // bad header or account block: dropped
        ErrorReport unreadable; // any other error: dropped
        vm::MailboxLoadOptions options;
        int attempts = 4;       // tries to open a file ...
        int retryDelayMs = 500; // ... this far apart
    };

    AccountsDirectory() = default;

    // Saves account index, index + 1, ... up to the last. On an error index
    // names the failing account and the error propagates, so the caller can
    // resume at index + 1.
    virtual void SaveAll(int& index, const vm::MailboxSaveOptions& options);
    // Loads every "*.mbx" file of params.directory in listing order and adds
    // the accounts; per-file errors go to the reports. Returns true.
    virtual bool LoadAll(LoadParams& params);
    // Clears the new flag of every message of every mailbox.
    virtual void ClearNew();
    // Clears fresh marks in every mailbox; with unlessKept set, stale
    // mailboxes keep theirs.
    virtual void ClearFresh(bool unlessKept);
    // Fresh messages over all mailboxes, with the same switch.
    virtual int CountFresh(bool unlessKept) const;

    // Saves every account from the first, answering each failure through
    // onError (the account, the error): true goes on with the next account,
    // false stops. Returns false when stopped.
    bool SaveAllResuming(const vm::MailboxSaveOptions& options,
                         const std::function<bool(MailAccount&, const std::exception&)>& onError);

    // The mailbox directory, ending with "/" once loading has run.
    const QString& MailboxDirectory() const override { return mailboxDirectory_; }
    QString FreeKeyringId(const QString& base, const MailAccount& asking) const override;
    void SetMailboxDirectory(const QString& dir);

private:
    QString mailboxDirectory_;
};

// The process-wide accounts directory.
AccountsDirectory& Accounts();

} // namespace vm
