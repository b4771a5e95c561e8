#pragma once
// What a protocol client (POP3, SMTP) needs to reach its server and log in:
// the address, the account's credentials, TLS from the first byte and its
// version, the connect limit and, for OAuth 2.0 accounts, the source of the
// access token. The clients keep only their own choices beside it (the kind
// of login, STARTTLS, EHLO).

#include <QByteArray>
#include <QString>

#include <functional>

namespace vm {

struct ConnectionOptions
{
    QString Host;
    quint16 Port = 0;
    QByteArray Username;
    QByteArray Password;
    bool ImplicitTls = false; // TLS from the first byte
    int SSLVersion = 1;       // stored index 0..3; all negotiate TLS 1.2 or later
    // Limit for the name lookup, the TCP connect and the TLS handshake
    // together.
    int ConnectTimeoutMs = 10000;
    // Hands out the access token of a bearer login (worker thread);
    // refresh = true asks for a new one after the server refused the last.
    // Its errors (the token endpoint's) end the login.
    std::function<QByteArray(bool refresh)> BearerToken;
};

} // namespace vm
