// The demo servers on their own, for tests and benchmarks in other
// languages: starts them with the sample mail, prints one JSON line with the
// ports, the certificate's SHA-256 fingerprint and the logins, and runs
// until standard input is closed.
//
// Usage: demo_server [ARRIVAL_INTERVAL_MS]

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

#include "demo/DemoServers.h"
#include "demo/DemoSetup.h"
#include "net/TlsTrust.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int interval = argc > 1 ? std::atoi(argv[1]) : 0;
    vm::DemoServers servers;
    QString error;
    if (!servers.Start(vm::DemoServerOptions(interval), &error)) {
        std::fprintf(stderr, "demo_server: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    vm::FillDemoMailboxes(servers, QDateTime::currentDateTime());
    QJsonArray users;
    for (const vm::DemoAccountSpec& s : vm::DemoAccountSpecs())
        users.append(QJsonObject{{"login", QString::fromUtf8(s.login)},
                                 {"password", QString::fromUtf8(s.password)},
                                 {"address", QString::fromUtf8(s.address)}});
    const QJsonObject info{{"pop3", servers.Pop3Port()},
                           {"pop3s", servers.Pop3TlsPort()},
                           {"smtp", servers.SmtpPort()},
                           {"fingerprint", vm::CertificateFingerprint(servers.Certificate())},
                           {"users", users}};
    std::printf("%s\n", QJsonDocument(info).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            QCoreApplication::quit();
    });
    const int code = QCoreApplication::exec();
    servers.Stop();
    return code;
}
