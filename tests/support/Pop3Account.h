#pragma once
// An account of the accounts directory for a POP3 server on loopback, the
// way the window and command tests use one with the scripted fake server:
//
//   FakeServer s;
//   s.Pop3Login().Pop3Uidl({"m1"}).Expect("QUIT").SendLine("+OK");
//   s.Start();
//   MailAccount* a = AddPop3Account("bob", "secret", s.Port());

#include <QByteArray>

#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"

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

} // namespace vm::test
