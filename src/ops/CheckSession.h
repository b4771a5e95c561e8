#pragma once
// The POP3 conversation as the mail check, the removal and the whole-message
// retrieval use it. The program's POP3 client stands behind it
// (Pop3ClientSession); the operations only see these steps, which keeps them
// free of threads and sockets and lets them run the same under the windows,
// the command line and the tests.
//
// Every step runs on the thread of the operation and throws an error derived
// from NetworkError when it fails. A command that the server answers with
// "-ERR" throws ProtocolReplyError (or a class derived from it); the mail
// check tells that case apart from a lost connection or a server out of
// step (a line that is neither "+OK" nor "-ERR"), which end the session.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

#include "net/NetErrors.h"

namespace vm { class MessageRecord; }
namespace vm { class MailAccount; }
namespace vm { class Mailbox; }

namespace vm {

// The message commands the operations may send ahead of their replies.
enum class MessageCommand {
    Size,    // "LIST n"
    Headers, // "TOP n 0"
    Whole,   // "RETR n"
};

class Pop3Session
{
public:
    virtual ~Pop3Session() = default;

    // Connects, reads the greeting and logs in with the account the session
    // was prepared for.
    virtual void ConnectAndLogin() = 0;
    // Sends "UIDL" and returns the raw reply lines ("number id"); false when
    // the server refuses the command.
    virtual bool FetchUidLines(QList<QByteArray>& lines) = 0;
    // "LIST n": the size in bytes, or -1 when the reply carries no size.
    virtual std::int32_t MessageSize(int n) = 0;
    // "TOP n 0" / "RETR n" into rec: raw text, server number, holding flags,
    // receipt state, parsed headers (and parts).
    virtual void FetchHeaders(int n, MessageRecord& rec) = 0;
    virtual void FetchWhole(int n, MessageRecord& rec) = 0;
    // "DELE n", expecting "+OK".
    virtual void Delete(int n) = 0;

    // "LIST" without an argument: the size of messages 1..messages (the
    // count UIDL gave) by number in one reply; a message may be missing.
    // False when the server refuses it (the dialogue stays in step);
    // callers then ask "LIST n" per message.
    virtual bool FetchSizes(QHash<int, std::int32_t>& sizes, int messages);
    // How many message commands may be sent before the first of their
    // replies is read; 1 when the server takes one command at a time.
    virtual int PipelineWindow() const { return 1; }
    // Sends a message command without waiting for its reply. Every sent
    // command is matched, in the same order, by one ReceiveMessageReply with
    // the same command and number. By default the command runs when its
    // reply is asked for (MessageSize, FetchHeaders, FetchWhole).
    virtual void SendMessageCommand(MessageCommand command, int n);
    // The reply of the oldest sent command: the size for Size, the record
    // for Headers and Whole. Throws like the one-at-a-time steps; "-ERR"
    // (ProtocolReplyError) spoils only this reply.
    virtual void ReceiveMessageReply(MessageCommand command, int n, MessageRecord* rec,
                                     std::int32_t* size);
    // True when ReceiveMessageReply for Whole hands back the record read but
    // not yet parsed; FinishWhole then completes it, on any thread, before
    // the record is used. Lets the parsing of one message overlap the
    // reading of the next.
    virtual bool ParsesWholeLater() const { return false; }
    virtual void FinishWhole(MessageRecord& rec);
    // "QUIT" and close: the server commits the deletions of the connection.
    virtual void Disconnect() = 0;
    // Closes the connection without "QUIT" (the server discards deletions).
    // Never throws.
    virtual void Close() = 0;
    // True once the user asked to interrupt the operation (any status other
    // than osProceed).
    virtual bool InterruptRequested() const = 0;
};

// Receives the status texts of an operation ("Connecting to server ...").
// Called on the thread that runs the operation; may be empty.
using StatusFn = std::function<void(const QString&)>;

// What a failed operation leaves for its error line.
struct OperationError
{
    QString className; // e.g. "ConnectionClosed"
    QString message;
};

// Message numbers by unique id from raw UIDL reply lines ("number id"): for
// every id, the number written in the line that carries it (exact,
// case-sensitive; the lowest number when a server lists an id twice). The
// lines are read by UidsByNumber (pop3/Pop3Listing.h): a listing that does
// not name each number 1..n once throws Pop3ProtocolError.
class UidlNumbers
{
public:
    explicit UidlNumbers(const QList<QByteArray>& lines);
    // The message number of uid, or -1 when the server does not list it.
    int Lookup(const QByteArray& uid) const;

private:
    QHash<QByteArray, int> numbers_;
};

// The account's display name as Unicode text.
QString DisplayNameOf(const MailAccount& account);

// Which window's texts an operation shows: the main window's status panel,
// or the operation label of the details window.
enum class OperationView { MainWindow, DetailsWindow };

// Removes (and destroys) every record of the mailbox for which gone is true,
// keeping the order of the rest; one pass however many go. Returns how many
// were removed.
int RemoveRecordsWhere(Mailbox& mailbox, const std::function<bool(const MessageRecord*)>& gone);

// Positions of a mailbox's records by record, built on first use in one
// pass, so that replacing many records in place stays linear.
class MailboxPositions
{
public:
    explicit MailboxPositions(Mailbox& mailbox) : mailbox_(mailbox) {}
    // Index of rec in the mailbox, or -1.
    int Of(const MessageRecord* rec);
    // rec now stands at index (after an add or a replace).
    void Placed(const MessageRecord* rec, int index);
    // from left the mailbox (replaced, not moved).
    void Forget(const MessageRecord* from);
    // Records were removed: positions are rebuilt at the next look-up.
    void Invalidate() { valid_ = false; }

private:
    Mailbox& mailbox_;
    QHash<const MessageRecord*, int> map_;
    bool valid_ = false;
};

} // namespace vm
