#pragma once
// An in-memory POP3 mailbox behind the session interface of the operations:
// it keeps the server's messages, numbers them per connection the way a
// POP3 server does, marks deletions and commits them only at "QUIT", and
// logs every command in its protocol form ("UIDL", "TOP 3 0", "DELE 2").
// Failures are scripted per command.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

#include "mime/MessageRecord.h"
#include "ops/CheckSession.h"
#include "ops_check/Printers.h"

namespace vm::test {

struct FakeMessage
{
    QByteArray uid;
    std::int32_t size = 1000;  // what LIST reports; -1 = no size in the reply
    double date = 0;           // what parsing the headers would give
    bool receiptAsked = false; // carries Disposition-Notification-To
};

class FakeSession : public Pop3Session
{
public:
    enum class Failure { Err, Drop, Interrupt };

    QList<FakeMessage> server;        // the mailbox on the server
    QStringList log;                  // commands of every connection
    QHash<QString, Failure> failures; // command -> what happens
    bool uidlRefused = false;
    bool loginFails = false;
    // The server refuses "LIST" without an argument; without the refusal it
    // leaves out messages that vanished or have no size.
    bool sizeListRefused = false;
    // How many message commands the check may send ahead (a pipelining
    // server when above 1). Commands are logged when sent and answered when
    // their reply is read, so scripted failures hit the reply.
    int window = 1;
    int maxInFlight = 0; // most commands sent ahead at once
    // Runs before each command (after it is logged); may change `server`
    // (another client) or vanish(n) (a message deleted meanwhile).
    std::function<void(const QString&)> beforeCommand;

    // Makes message n of the open connection unreadable ("-ERR").
    void Vanish(int n) { vanished_.insert(n); }
    void RequestInterrupt() { interrupt_ = true; }

    void ConnectAndLogin() override;
    bool FetchUidLines(QList<QByteArray>& lines) override;
    std::int32_t MessageSize(int n) override;
    void FetchHeaders(int n, MessageRecord& rec) override;
    void FetchWhole(int n, MessageRecord& rec) override;
    void Delete(int n) override;
    bool FetchSizes(QHash<int, std::int32_t>& sizes, int messages) override;
    int PipelineWindow() const override { return window; }
    void SendMessageCommand(MessageCommand command, int n) override;
    void ReceiveMessageReply(MessageCommand command, int n, MessageRecord* rec,
                             std::int32_t* size) override;
    void Disconnect() override;
    void Close() override;
    bool InterruptRequested() const override { return interrupt_; }

    // Commands of the log that start with prefix.
    int Count(const QString& prefix) const;
    QStringList UidsOnServer() const;

private:
    void Command(const QString& line);
    void Log(const QString& line);
    void Answer(const QString& line);
    const FakeMessage& At(int n) const;
    void Fill(int n, MessageRecord& rec, bool whole) const;

    bool open_ = false;
    QList<FakeMessage> snapshot_; // numbering of this connection
    QSet<int> marked_;
    QSet<int> vanished_;
    std::atomic<bool> interrupt_{false};
    QStringList sent_; // commands sent ahead, replies not yet read
};

// The ids of the mailbox's records, in order.
QStringList Uids(const Mailbox& mailbox);

// A message record as a check or a mailbox file would leave it.
MessageRecord* MakeRecord(const QByteArray& uid, bool headersOnly = true, std::int32_t size = 1000,
                         double date = 0);

} // namespace vm::test
