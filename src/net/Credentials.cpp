#include "net/Credentials.h"

namespace vm {

bool IsSendableCredential(const QByteArray& text)
{
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\0')
            return false;
    }
    return true;
}

bool IsSendableCredential(const QString& text)
{
    for (QChar c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return false;
    }
    return true;
}

QString UnsendableCredentialText()
{
    return QStringLiteral(
        "A login or password must not contain line breaks or NUL characters.");
}

void CheckCredentials(const QByteArray& login, const QByteArray& password)
{
    if (!IsSendableCredential(login) || !IsSendableCredential(password))
        throw CredentialError(UnsendableCredentialText());
}

} // namespace vm
