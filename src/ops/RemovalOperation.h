#pragma once
// Removal of messages on the server without downloading them. Message
// numbers never come from the mailbox: each id is looked up in a UIDL list
// fetched in the same connection, "DELE" marks the message, and only the
// final "QUIT" makes the deletions real. Any failure closes the connection
// without "QUIT", so the server keeps every message; the caller removes the
// records from the mailbox only after a completed removal.

#include <QByteArray>
#include <QList>

#include <optional>

#include "ops/CheckPop3Session.h"
#include "ops/CheckSession.h"

namespace vm { class MessageRecord; }
namespace vm { class MailAccount; }
namespace vm { class Mailbox; }

namespace vm {

struct RemovalOutcome
{
    bool completed = false; // result 1: the server has deleted what it listed
    bool interrupted = false;
    int deleted = 0; // "DELE" commands answered "+OK"
    int missing = 0; // ids the server no longer listed (passed over)
    std::optional<OperationError> error;
};

// Deletes the messages with the given ids on the server in one connection.
// Ids the server does not list are passed over without error.
RemovalOutcome RunRemoval(Pop3Session& session, const MailAccount& account,
                          const QList<QByteArray>& uids,
                          OperationView view = OperationView::MainWindow,
                          const StatusFn& status = {});

// After a completed removal: removes (and destroys) the given records from
// the mailbox, also those whose id was already gone from the server. Returns
// how many were removed.
int RemoveRemovedRecords(Mailbox& mailbox, const QList<const MessageRecord*>& records);

struct RemovalResult
{
    bool started = false; // false: the password prompt was cancelled
    bool completed = false;
    bool interrupted = false;
    // The records removed from the mailbox (destroyed: the addresses are
    // only for finding list rows). Empty unless completed.
    QList<const MessageRecord*> removed;
    int missing = 0; // of those, already gone from the server
};

// Removal as the windows and the command line start it (interface thread):
// clears the error list, deletes the records' messages on the server in one
// connection on a worker thread, and only when that completed removes the
// records from the account's mailbox. Null entries are passed over.
RemovalResult RemoveMessagesOnServer(MailAccount& account, const QList<MessageRecord*>& records,
                                     OperationView view = OperationView::MainWindow,
                                     const OperationRun& run = {});

} // namespace vm
