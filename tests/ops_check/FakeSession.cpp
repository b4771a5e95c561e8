#include "ops_check/FakeSession.h"

#include <algorithm>
#include <stdexcept>

#include "model/Mailbox.h"

namespace vm::test {

void FakeSession::Command(const QString& line)
{
    Log(line);
    Answer(line);
}

void FakeSession::Log(const QString& line)
{
    if (!open_ && line != QLatin1String("USER"))
        throw NotConnected(QStringLiteral("Not connected."));
    log.append(line);
}

void FakeSession::Answer(const QString& line)
{
    if (!open_ && line != QLatin1String("USER"))
        throw NotConnected(QStringLiteral("Not connected."));
    if (beforeCommand)
        beforeCommand(line);
    if (interrupt_)
        throw OperationCancelled(QStringLiteral("Operation cancelled"));
    const auto it = failures.constFind(line);
    if (it == failures.cend())
        return;
    switch (*it) {
    case Failure::Err:
        throw ProtocolReplyError(QStringLiteral("-ERR scripted failure"));
    case Failure::Drop:
        open_ = false;
        throw ConnectionClosed(QStringLiteral("Connection Closed Gracefully."));
    case Failure::Interrupt:
        interrupt_ = true;
        throw OperationCancelled(QStringLiteral("Operation cancelled"));
    }
}

const FakeMessage& FakeSession::At(int n) const
{
    if (n < 1 || n > snapshot_.size() || vanished_.contains(n) || marked_.contains(n))
        throw ProtocolReplyError(QStringLiteral("-ERR no such message"));
    return snapshot_.at(n - 1);
}

void FakeSession::ConnectAndLogin()
{
    Command(QStringLiteral("USER"));
    open_ = true;
    sent_.clear();
    snapshot_ = server;
    marked_.clear();
    vanished_.clear();
    if (loginFails) {
        open_ = false;
        throw ProtocolReplyError(QStringLiteral("-ERR [AUTH] Authentication failed."));
    }
}

bool FakeSession::FetchUidLines(QList<QByteArray>& lines)
{
    Command(QStringLiteral("UIDL"));
    if (uidlRefused)
        return false;
    lines.clear();
    for (int i = 0; i < snapshot_.size(); ++i)
        lines.append(QByteArray::number(i + 1) + ' ' + snapshot_.at(i).uid);
    return true;
}

std::int32_t FakeSession::MessageSize(int n)
{
    Command(QStringLiteral("LIST %1").arg(n));
    return At(n).size;
}

bool FakeSession::FetchSizes(QHash<int, std::int32_t>& sizes, int)
{
    Command(QStringLiteral("LIST"));
    sizes.clear();
    if (sizeListRefused)
        return false;
    for (int n = 1; n <= snapshot_.size(); ++n)
        if (!vanished_.contains(n) && !marked_.contains(n) && snapshot_.at(n - 1).size >= 0)
            sizes.insert(n, snapshot_.at(n - 1).size);
    return true;
}

namespace {

QString CommandText(MessageCommand command, int n)
{
    switch (command) {
    case MessageCommand::Size:
        return QStringLiteral("LIST %1").arg(n);
    case MessageCommand::Headers:
        return QStringLiteral("TOP %1 0").arg(n);
    case MessageCommand::Whole:
        break;
    }
    return QStringLiteral("RETR %1").arg(n);
}

} // namespace

void FakeSession::SendMessageCommand(MessageCommand command, int n)
{
    if (window <= 1)
        return Pop3Session::SendMessageCommand(command, n);
    const QString line = CommandText(command, n);
    Log(line);
    sent_.append(line);
    maxInFlight = std::max(maxInFlight, int(sent_.size()));
}

void FakeSession::ReceiveMessageReply(MessageCommand command, int n, MessageRecord* rec,
                                      std::int32_t* size)
{
    if (window <= 1)
        return Pop3Session::ReceiveMessageReply(command, n, rec, size);
    const QString line = CommandText(command, n);
    if (sent_.isEmpty() || sent_.takeFirst() != line)
        throw std::logic_error("reply read out of order: " + line.toStdString());
    Answer(line);
    if (command == MessageCommand::Size)
        *size = At(n).size;
    else
        Fill(n, *rec, command == MessageCommand::Whole);
}

void FakeSession::Fill(int n, MessageRecord& rec, bool whole) const
{
    const FakeMessage& m = At(n);
    rec.serverNumber = n;
    rec.raw = "Subject: " + m.uid + "\r\n\r\n" + (whole ? QByteArray("body\r\n") : QByteArray());
    rec.headersOnly = !whole;
    rec.noHeaders = false;
    rec.Date = m.date;
    if (m.receiptAsked)
        rec.receiptState = 1;
}

void FakeSession::FetchHeaders(int n, MessageRecord& rec)
{
    Command(QStringLiteral("TOP %1 0").arg(n));
    Fill(n, rec, false);
}

void FakeSession::FetchWhole(int n, MessageRecord& rec)
{
    Command(QStringLiteral("RETR %1").arg(n));
    Fill(n, rec, true);
}

void FakeSession::Delete(int n)
{
    Command(QStringLiteral("DELE %1").arg(n));
    At(n);
    marked_.insert(n);
}

void FakeSession::Disconnect()
{
    Command(QStringLiteral("QUIT"));
    // The server deletes the marked messages now.
    QSet<QByteArray> gone;
    for (int n : marked_)
        gone.insert(snapshot_.at(n - 1).uid);
    for (int i = server.size() - 1; i >= 0; --i)
        if (gone.contains(server.at(i).uid))
            server.removeAt(i);
    marked_.clear();
    open_ = false;
}

void FakeSession::Close()
{
    if (open_)
        log.append(QStringLiteral("(closed)"));
    open_ = false;
    marked_.clear();
}

int FakeSession::Count(const QString& prefix) const
{
    int n = 0;
    for (const QString& l : log)
        if (l.startsWith(prefix))
            ++n;
    return n;
}

QStringList FakeSession::UidsOnServer() const
{
    QStringList out;
    for (const FakeMessage& m : server)
        out.append(QString::fromLatin1(m.uid));
    return out;
}

QStringList Uids(const Mailbox& mailbox)
{
    QStringList out;
    for (int i = 0; i < mailbox.Count(); ++i)
        out.append(QString::fromLatin1(mailbox.At(i)->UID));
    return out;
}

MessageRecord* MakeRecord(const QByteArray& uid, bool headersOnly, std::int32_t size, double date)
{
    auto* r = new MessageRecord;
    r->UID = uid;
    r->headersOnly = headersOnly;
    r->size = size;
    r->Date = date;
    r->raw = "Subject: " + uid + "\r\n\r\n";
    return r;
}

} // namespace vm::test
