#include "demo/DemoPop3Session.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QRandomGenerator>

namespace vm {

DemoPop3Session::DemoPop3Session(qintptr descriptor, const DemoServerContext& context,
                                 bool implicitTls, QObject* parent)
    : DemoSession(descriptor, context, implicitTls, kMaxLineLength, parent)
{
    timestamp_ = '<' + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + '.' +
                 QByteArray::number(QDateTime::currentSecsSinceEpoch()) + "@velmora.demo>";
}

void DemoPop3Session::Greet()
{
    SendLine("+OK Velmora demo POP3 server ready " + timestamp_);
}

void DemoPop3Session::HandleOverlongLine()
{
    SendLine("-ERR Line too long.");
}

void DemoPop3Session::HandleLine(const QByteArray& line)
{
    const int space = int(line.indexOf(' '));
    const QByteArray verb = (space < 0 ? line : line.left(space)).toUpper();
    const QByteArray arg = space < 0 ? QByteArray() : line.mid(space + 1);
    if (verb == "QUIT") {
        if (!login_.isEmpty() && !deleted_.isEmpty()) {
            QSet<QByteArray> uids;
            for (int i : std::as_const(deleted_))
                uids.insert(messages_.at(i).uid);
            context_.store->Remove(login_, uids);
        }
        SendLine("+OK Bye.");
        Finish();
        return;
    }
    if (verb == "CAPA") {
        SendLine("+OK Capability list follows");
        Send("USER\r\nUIDL\r\nTOP\r\nPIPELINING\r\nRESP-CODES\r\nAUTH-RESP-CODE\r\n"
             "IMPLEMENTATION Velmora-demo\r\n.\r\n");
        return;
    }
    if (verb == "NOOP") {
        SendLine("+OK");
        return;
    }
    if (login_.isEmpty())
        Authorization(verb, arg);
    else
        Transaction(verb, arg);
}

void DemoPop3Session::Authorization(const QByteArray& verb, const QByteArray& arg)
{
    if (verb == "USER") {
        user_ = arg;
        SendLine("+OK Send the password.");
    } else if (verb == "PASS") {
        if (user_.isEmpty()) {
            SendLine("-ERR USER first.");
            return;
        }
        const DemoUser* u = context_.FindUser(user_);
        if (u && u->password == arg)
            LoggedIn(u->login);
        else
            LoginFailed();
    } else if (verb == "APOP") {
        const QList<QByteArray> parts = arg.split(' ');
        const DemoUser* u = parts.size() == 2 ? context_.FindUser(parts.at(0)) : nullptr;
        const QByteArray digest =
            u ? QCryptographicHash::hash(timestamp_ + u->password, QCryptographicHash::Md5).toHex()
              : QByteArray();
        if (u && parts.at(1).toLower() == digest)
            LoggedIn(u->login);
        else
            LoginFailed();
    } else {
        SendLine("-ERR Log in first.");
    }
}

void DemoPop3Session::LoggedIn(const QByteArray& login)
{
    login_ = login;
    messages_ = context_.store->Snapshot(login);
    qint64 bytes = 0;
    for (const DemoMessage& m : std::as_const(messages_))
        bytes += m.text.size();
    SendLine("+OK Logged in, " + QByteArray::number(messages_.size()) + " messages (" +
             QByteArray::number(bytes) + " octets).");
}

void DemoPop3Session::LoginFailed()
{
    user_.clear();
    SendLine("-ERR [AUTH] Invalid login or password.");
    if (++failedLogins_ >= kMaxFailedLogins)
        Finish();
}

const DemoMessage* DemoPop3Session::MessageFor(const QByteArray& arg)
{
    bool ok = false;
    const int n = arg.toInt(&ok);
    if (!ok || n < 1 || n > messages_.size()) {
        SendLine("-ERR No such message.");
        return nullptr;
    }
    if (deleted_.contains(n - 1)) {
        SendLine("-ERR Message " + QByteArray::number(n) + " is deleted.");
        return nullptr;
    }
    return &messages_.at(n - 1);
}

void DemoPop3Session::SendMultiline(const QByteArray& text)
{
    // Byte-stuffing: a line that starts with "." gets a second one.
    QByteArray out;
    out.reserve(text.size() + text.size() / 64 + 8);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        end = end < 0 ? text.size() : end + 1;
        if (text.at(start) == '.')
            out += '.';
        out.append(text.constData() + start, end - start);
        start = end;
    }
    if (!out.isEmpty() && !out.endsWith("\r\n"))
        out += "\r\n";
    out += ".\r\n";
    Send(out);
}

void DemoPop3Session::Transaction(const QByteArray& verb, const QByteArray& arg)
{
    const QList<QByteArray> args = arg.split(' ');
    if (verb == "STAT") {
        int count = 0;
        qint64 bytes = 0;
        for (int i = 0; i < messages_.size(); ++i)
            if (!deleted_.contains(i)) {
                ++count;
                bytes += messages_.at(i).text.size();
            }
        SendLine("+OK " + QByteArray::number(count) + ' ' + QByteArray::number(bytes));
    } else if (verb == "LIST" || verb == "UIDL") {
        const bool uidl = verb == "UIDL";
        auto item = [&](int i) {
            return QByteArray::number(i + 1) + ' ' +
                   (uidl ? messages_.at(i).uid : QByteArray::number(messages_.at(i).text.size()));
        };
        if (!arg.isEmpty()) {
            if (MessageFor(arg))
                SendLine("+OK " + item(arg.toInt() - 1));
            return;
        }
        QByteArray out = "+OK\r\n";
        for (int i = 0; i < messages_.size(); ++i)
            if (!deleted_.contains(i))
                out += item(i) + "\r\n";
        Send(out + ".\r\n");
    } else if (verb == "RETR") {
        if (const DemoMessage* m = MessageFor(arg)) {
            SendLine("+OK " + QByteArray::number(m->text.size()) + " octets");
            SendMultiline(m->text);
        }
    } else if (verb == "TOP") {
        bool ok = false;
        const int lines = args.size() == 2 ? args.at(1).toInt(&ok) : -1;
        if (!ok || lines < 0) {
            SendLine("-ERR Usage: TOP message lines.");
            return;
        }
        if (const DemoMessage* m = MessageFor(args.at(0))) {
            const QByteArray& t = m->text;
            qsizetype end = t.indexOf("\r\n\r\n");
            end = end < 0 ? t.size() : end + 4;
            for (int k = 0; k < lines && end < t.size(); ++k) {
                const qsizetype nl = t.indexOf('\n', end);
                end = nl < 0 ? t.size() : nl + 1;
            }
            SendLine("+OK");
            SendMultiline(t.left(end));
        }
    } else if (verb == "DELE") {
        if (MessageFor(arg)) {
            deleted_.insert(arg.toInt() - 1);
            SendLine("+OK Marked for deletion.");
        }
    } else if (verb == "RSET") {
        deleted_.clear();
        SendLine("+OK");
    } else {
        SendLine("-ERR Unknown command.");
    }
}

} // namespace vm
