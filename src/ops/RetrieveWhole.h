#pragma once
// Whole-message retrieval on demand. As with removal, every message number is
// looked up by unique id in a UIDL list fetched in the same connection. A
// fetched message replaces its headers-only record in place (same position
// in the mailbox), keeping the new flag, the size, the id, the fresh mark
// and, when it was set, the receipt state. Messages gone from the server are
// passed over.

#include <QByteArray>
#include <QList>

#include <optional>

#include "ops/CheckPop3Session.h"
#include "ops/CheckSession.h"

namespace vm { class MessageRecord; }
namespace vm { class MailAccount; }

namespace vm {

// One record fetched whole. The old record is destroyed: its address is
// given only so that holders (list rows, the details window) can find what
// to update, and must not be dereferenced.
struct RetrievedRecord
{
    const MessageRecord* oldRecord = nullptr;
    MessageRecord* newRecord = nullptr;
    int index = -1; // position in the mailbox (unchanged by the replacement)
};

struct RetrieveOutcome
{
    bool completed = false; // result 1
    bool interrupted = false;
    QList<RetrievedRecord> retrieved; // also filled when a later fetch failed
    QList<QByteArray> missing;        // ids the server no longer listed
    std::optional<OperationError> error;
};

// True when some of the records still holds only headers (or only its id),
// i.e. a retrieval has something to do. When false the main list shows the
// "already downloaded" box and opens no connection.
bool AnyToRetrieve(const QList<MessageRecord*>& records);

// Fetches whole, in one connection, every record of the list that holds only
// headers (records of account's mailbox; others are passed over) and puts
// each fetched record in place of the old one as soon as it arrived, so what
// was fetched stays when a later step fails. With the details window's view
// a record whose id the server no longer lists makes the result "not
// completed" without an error; the main list just passes it over.
RetrieveOutcome RunRetrieveWhole(Pop3Session& session, MailAccount& account,
                                 const QList<MessageRecord*>& records,
                                 OperationView view = OperationView::MainWindow,
                                 const StatusFn& status = {});

// Carries the fields that survive a refetch from the old record to the new
// one: unique id, new flag (flags byte), size, fresh mark, and the receipt
// state when the old record's is not 0.
void CarryOver(const MessageRecord& from, MessageRecord& to);

struct RetrieveResult
{
    bool nothingToDo = false; // no record holds only headers: nothing started
    bool started = false;     // false: nothing to do, or the prompt was cancelled
    bool completed = false;
    bool interrupted = false;
    QList<RetrievedRecord> retrieved; // also after a later failure
    QList<QByteArray> missing;
};

// Whole retrieval as the windows and the command line start it (interface
// thread). When no record holds only headers nothing starts (the main list
// then shows "All (selected) messages have been already downloaded.");
// otherwise the error list is cleared and the records are fetched on a
// worker thread, each replacing its record in the mailbox as it arrives.
RetrieveResult RetrieveWholeMessages(MailAccount& account, const QList<MessageRecord*>& records,
                                     OperationView view = OperationView::MainWindow,
                                     const OperationRun& run = {});

} // namespace vm
