#pragma once
// Logins and passwords go into the POP3 and SMTP dialogues as they were
// typed (USER, PASS, APOP, AUTH). A CR, LF or NUL in one would end the
// command line early or smuggle a second command after it, so such values
// are refused where they are typed, and the clients refuse them again
// before anything is sent.

#include <QByteArray>
#include <QString>

#include "net/NetErrors.h"

namespace vm {

// A login or password holding CR, LF or NUL reached a protocol client.
VM_DECLARE_NET_ERROR(CredentialError, NetworkError);

// True when text holds no CR, LF or NUL.
bool IsSendableCredential(const QByteArray& text);
bool IsSendableCredential(const QString& text);

// The error shown where such a value is typed and carried by CredentialError.
QString UnsendableCredentialText();

// Throws CredentialError when the login or the password is not sendable.
void CheckCredentials(const QByteArray& login, const QByteArray& password);

} // namespace vm
