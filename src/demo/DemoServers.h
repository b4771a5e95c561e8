#pragma once
// The demo's mail servers on loopback: POP3 in plain text, POP3 over TLS
// from the first byte, and SMTP with STARTTLS, each on a free port, and a
// small web server for the pictures the sample newsletter links to, served
// by one thread of their own with its event loop. Every demo login has a
// maildrop in the store; the SMTP server delivers into it, and a timer adds
// a new message to the first login's maildrop now and then.
//
// Usable by the program (--demo), tests and benchmarks alike.

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

#include "demo/DemoMailStore.h"
#include "demo/DemoSession.h"

class QEventLoop;
class QObject;

namespace vm {

class DemoServers
{
public:
    struct Options
    {
        QList<DemoUser> users;
        // Time between two arrivals into the first maildrop; 0 for none.
        int arrivalIntervalMs = 3 * 60 * 1000;
        // The n-th arrival (n from 0); empty makes no arrival.
        std::function<QByteArray(int n)> arrival;
        // At most this many connections at once per server; more are
        // closed at once.
        int maxConnections = 16;
        // The web server's port to take when it is free (a kept data
        // directory's mail links to it); 0, or a taken port: any free one.
        quint16 webPort = 0;
    };

    DemoServers();
    ~DemoServers(); // stops the servers
    DemoServers(const DemoServers&) = delete;
    DemoServers& operator=(const DemoServers&) = delete;

    // Makes the certificate, starts the thread and listens on the three
    // ports; each login in options.users gets a maildrop. False with the
    // reason in error when something failed (nothing is left running).
    bool Start(const Options& options, QString* error = nullptr);
    void Stop();
    bool Running() const;

    quint16 Pop3Port() const { return pop3Port_; }
    quint16 Pop3TlsPort() const { return pop3TlsPort_; }
    quint16 SmtpPort() const { return smtpPort_; }
    quint16 WebPort() const { return webPort_; }
    // "http://127.0.0.1:PORT", the address mail links to the web server by.
    QByteArray WebBase() const;
    // The host the servers listen on, as clients name it.
    static QString Host() { return QStringLiteral("127.0.0.1"); }
    QSslCertificate Certificate() const;

    DemoMailStore& Store() { return store_; }

private:
    DemoMailStore store_;
    std::unique_ptr<DemoServerContext> context_; // made by Start
    std::unique_ptr<std::thread> thread_;
    QObject* host_ = nullptr;    // lives on thread_
    QEventLoop* loop_ = nullptr; // thread_'s event loop
    quint16 pop3Port_ = 0;
    quint16 pop3TlsPort_ = 0;
    quint16 smtpPort_ = 0;
    quint16 webPort_ = 0;
};

} // namespace vm
