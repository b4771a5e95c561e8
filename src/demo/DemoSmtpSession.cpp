#include "demo/DemoSmtpSession.h"

#include <QDateTime>

#include "demo/DemoMailStore.h"

namespace vm {

DemoSmtpSession::DemoSmtpSession(qintptr descriptor, const DemoServerContext& context,
                                 QObject* parent)
    : DemoSession(descriptor, context, false, kMaxLineLength, parent)
{
}

void DemoSmtpSession::Greet()
{
    SendLine("220 velmora.demo ESMTP Velmora demo server ready");
}

void DemoSmtpSession::HandleOverlongLine()
{
    SendLine("500 5.5.2 Line too long.");
}

void DemoSmtpSession::HandleLine(const QByteArray& line)
{
    switch (state_) {
    case State::Data:
        DataLine(line);
        return;
    case State::AuthPlain:
    case State::AuthLoginUser:
    case State::AuthLoginPassword: {
        if (line == "*") {
            state_ = State::Command;
            SendLine("501 5.7.0 Authentication cancelled.");
            return;
        }
        const auto decoded =
            QByteArray::fromBase64Encoding(line, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            state_ = State::Command;
            SendLine("501 5.5.2 Cannot decode the answer.");
            return;
        }
        if (state_ == State::AuthLoginUser) {
            authUser_ = decoded.decoded;
            state_ = State::AuthLoginPassword;
            SendLine("334 UGFzc3dvcmQ6"); // "Password:"
            return;
        }
        const State was = state_;
        state_ = State::Command;
        if (was == State::AuthLoginPassword) {
            CheckLogin(authUser_, decoded.decoded);
        } else {
            // authzid NUL authcid NUL password
            const QList<QByteArray> parts = decoded.decoded.split('\0');
            if (parts.size() == 3)
                CheckLogin(parts.at(1), parts.at(2));
            else
                SendLine("501 5.5.2 Malformed PLAIN answer.");
        }
        return;
    }
    case State::Command:
        break;
    }
    const int space = int(line.indexOf(' '));
    Command((space < 0 ? line : line.left(space)).toUpper(),
            space < 0 ? QByteArray() : line.mid(space + 1).trimmed());
}

void DemoSmtpSession::Command(const QByteArray& verb, const QByteArray& arg)
{
    if (verb == "EHLO" || verb == "HELO") {
        ResetTransaction();
        greeted_ = true;
        if (verb == "HELO") {
            SendLine("250 velmora.demo");
            return;
        }
        QByteArray reply = "250-velmora.demo greets " +
                           (arg.isEmpty() ? QByteArray("you") : arg.left(255)) +
                           "\r\n250-PIPELINING\r\n250-SIZE " + QByteArray::number(kMaxMessageSize) +
                           "\r\n250-8BITMIME\r\n250-ENHANCEDSTATUSCODES\r\n";
        if (!Encrypted())
            reply += "250-STARTTLS\r\n";
        reply += "250 AUTH PLAIN LOGIN\r\n";
        Send(reply);
    } else if (verb == "STARTTLS") {
        if (Encrypted()) {
            SendLine("503 5.5.1 TLS is on already.");
            return;
        }
        SendLine("220 2.0.0 Ready to start TLS");
        // The dialogue starts again: a new EHLO and a new login.
        greeted_ = false;
        login_.clear();
        ResetTransaction();
        StartTls();
    } else if (verb == "AUTH") {
        Auth(arg);
    } else if (verb == "MAIL") {
        QByteArray address;
        if (!greeted_)
            SendLine("503 5.5.1 Say EHLO first.");
        else if (login_.isEmpty())
            SendLine("530 5.7.0 Authentication required.");
        else if (haveSender_)
            SendLine("503 5.5.1 Sender given already.");
        else if (!PathArgument(arg, "FROM:", address))
            SendLine("501 5.5.4 Syntax: MAIL FROM:<address>");
        else {
            const int size = int(arg.toUpper().indexOf("SIZE="));
            if (size >= 0 && arg.mid(size + 5).split(' ').value(0).toLongLong() > kMaxMessageSize) {
                SendLine("552 5.3.4 Message too big.");
                return;
            }
            haveSender_ = true;
            sender_ = address;
            SendLine("250 2.1.0 OK");
        }
    } else if (verb == "RCPT") {
        QByteArray address;
        if (!haveSender_)
            SendLine("503 5.5.1 MAIL first.");
        else if (!PathArgument(arg, "TO:", address) || address.isEmpty())
            SendLine("501 5.5.4 Syntax: RCPT TO:<address>");
        else if (recipientCount_ >= kMaxRecipients)
            SendLine("452 4.5.3 Too many recipients.");
        else {
            QByteArray login = context_.users.value(0).login;
            for (const DemoUser& u : context_.users)
                if (u.address == address)
                    login = u.login;
            if (!recipientLogins_.contains(login))
                recipientLogins_.append(login);
            ++recipientCount_;
            SendLine("250 2.1.5 OK");
        }
    } else if (verb == "DATA") {
        if (!haveSender_ || recipientCount_ == 0) {
            SendLine("503 5.5.1 No valid recipients.");
            return;
        }
        state_ = State::Data;
        data_.clear();
        dataTooLarge_ = false;
        SendLine("354 End data with <CR><LF>.<CR><LF>");
    } else if (verb == "RSET") {
        ResetTransaction();
        SendLine("250 2.0.0 OK");
    } else if (verb == "NOOP") {
        SendLine("250 2.0.0 OK");
    } else if (verb == "QUIT") {
        SendLine("221 2.0.0 Bye");
        Finish();
    } else {
        SendLine("502 5.5.2 Command not recognised.");
    }
}

void DemoSmtpSession::Auth(const QByteArray& arg)
{
    const QList<QByteArray> parts = arg.split(' ');
    const QByteArray mechanism = parts.value(0).toUpper();
    if (!greeted_) {
        SendLine("503 5.5.1 Say EHLO first.");
    } else if (!login_.isEmpty()) {
        SendLine("503 5.5.1 Logged in already.");
    } else if (mechanism == "PLAIN") {
        state_ = State::AuthPlain;
        if (parts.size() > 1)
            HandleLine(parts.at(1));
        else
            SendLine("334 ");
    } else if (mechanism == "LOGIN") {
        state_ = State::AuthLoginUser;
        if (parts.size() > 1)
            HandleLine(parts.at(1));
        else
            SendLine("334 VXNlcm5hbWU6"); // "Username:"
    } else {
        SendLine("504 5.5.4 Unknown authentication mechanism.");
    }
}

void DemoSmtpSession::CheckLogin(const QByteArray& login, const QByteArray& password)
{
    const DemoUser* u = context_.FindUser(login);
    if (u && u->password == password) {
        login_ = u->login;
        SendLine("235 2.7.0 Authentication successful.");
        return;
    }
    SendLine("535 5.7.8 Invalid login or password.");
    if (++failedLogins_ >= kMaxFailedLogins)
        Finish();
}

void DemoSmtpSession::DataLine(const QByteArray& line)
{
    if (line == ".") {
        state_ = State::Command;
        if (dataTooLarge_) {
            SendLine("552 5.3.4 Message too big.");
        } else {
            const QByteArray stamp =
                QDateTime::currentDateTime().toString(Qt::RFC2822Date).toLatin1();
            const QByteArray text = "Return-Path: <" + sender_ + ">\r\nReceived: from " +
                                    PeerAddress() + " by velmora.demo with ESMTP" +
                                    (Encrypted() ? "S" : "") + "A; " + stamp + "\r\n" + data_;
            bool delivered = true;
            for (const QByteArray& login : std::as_const(recipientLogins_))
                delivered = context_.store->Deliver(login, text) && delivered;
            SendLine(delivered ? "250 2.0.0 Delivered." : "452 4.2.2 Mailbox full.");
        }
        ResetTransaction();
        return;
    }
    if (dataTooLarge_)
        return;
    // Dot-unstuffing: a line that starts with "." lost its first dot.
    const QByteArray text = line.startsWith('.') ? line.mid(1) : line;
    if (data_.size() + text.size() + 2 > kMaxMessageSize) {
        dataTooLarge_ = true;
        data_.clear();
        return;
    }
    data_ += text;
    data_ += "\r\n";
}

void DemoSmtpSession::ResetTransaction()
{
    haveSender_ = false;
    sender_.clear();
    recipientLogins_.clear();
    recipientCount_ = 0;
    data_.clear();
    dataTooLarge_ = false;
}

bool DemoSmtpSession::PathArgument(const QByteArray& arg, const QByteArray& keyword,
                                   QByteArray& address)
{
    if (!arg.toUpper().startsWith(keyword))
        return false;
    const QByteArray rest = arg.mid(keyword.size()).trimmed();
    if (!rest.startsWith('<'))
        return false;
    const int close = int(rest.indexOf('>'));
    if (close < 0)
        return false;
    address = rest.mid(1, close - 1).trimmed().toLower();
    return !address.contains('\r') && !address.contains('\n') && address.size() <= 320;
}

} // namespace vm
