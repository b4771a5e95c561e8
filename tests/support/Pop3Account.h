#pragma once
// A POP3 server on loopback as the tests use one with the scripted fake
// server: an account of the accounts directory (window and command tests),
// or a bare client pointed at it (protocol tests).
//
//   FakeServer s;
//   s.Pop3Login().Pop3Uidl({"m1"}).Expect("QUIT").SendLine("+OK");
//   s.Start();
//   MailAccount* a = AddPop3Account("bob", "secret", s.Port());

#include <QByteArray>

#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "pop3/Pop3Client.h"

namespace vm::test {

inline MailAccount* AddPop3Account(const QByteArray& login, const QByteArray& password,
                                   quint16 port, bool autoCheck = true)
{
    auto* a = new MailAccount(&Accounts());
    a->Login() = login;
    a->Password() = password;
    a->Server() = "127.0.0.1";
    a->Pop3Port() = port;
    a->AutoCheck() = autoCheck;
    Accounts().Add(a);
    return a;
}

inline void PointAtLoopback(Pop3Client& client, quint16 port, const QByteArray& user = "bob",
                            const QByteArray& password = "secret")
{
    client.Host = "127.0.0.1";
    client.Port = port;
    client.Username = user;
    client.Password = password;
}

} // namespace vm::test
