#include "support/DovecotFixture.h"

#include "support/TestPki.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSslSocket>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vm::test {

namespace {

quint16 FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// True when the server on port (over TLS when tls) greets with a line that
// holds token: this fixture's own Dovecot, not whatever else may have taken
// the port between the choice of the number and Dovecot's bind.
bool PortGreets(quint16 port, bool tls, const QByteArray& token)
{
    QSslSocket socket;
    if (tls) {
        socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        if (!socket.waitForEncrypted(2000))
            return false;
    } else {
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!socket.waitForConnected(2000))
            return false;
    }
    QElapsedTimer t;
    t.start();
    while (!socket.canReadLine() && t.elapsed() < 2000)
        socket.waitForReadyRead(100);
    const bool ours = socket.canReadLine() && socket.readLine().contains(token);
    socket.abort();
    return ours;
}

QString DovecotBinary()
{
    QString path = QStandardPaths::findExecutable(QStringLiteral("dovecot"));
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(QStringLiteral("dovecot"), {"/usr/sbin", "/sbin"});
    return path;
}

} // namespace

DovecotFixture::DovecotFixture() : dir_(std::make_unique<QTemporaryDir>())
{
}

DovecotFixture::~DovecotFixture()
{
    Stop();
}

bool DovecotFixture::Available()
{
    return !DovecotBinary().isEmpty();
}

QSslCertificate DovecotFixture::CaCertificate() const
{
    return TestPki::Shared().CaCertificate();
}

QString DovecotFixture::ServerFingerprint() const
{
    const QByteArray hex =
        TestPki::Shared().ServerCertificate().digest(QCryptographicHash::Sha256).toHex().toUpper();
    QString out;
    for (qsizetype i = 0; i < hex.size(); i += 2)
        out += (i ? ":" : "") + QString::fromLatin1(hex.mid(i, 2));
    return out;
}

QString DovecotFixture::MaildirPath(const QString& user) const
{
    return Dir() + "/home/" + user + "/Maildir";
}

void DovecotFixture::Chown(const QString& path) const
{
    if (::geteuid() == 0 && mailUid_ >= 0) {
        if (::chown(QFile::encodeName(path).constData(), uid_t(mailUid_), gid_t(mailGid_)) != 0)
            qWarning("DovecotFixture: chown %s failed", qPrintable(path));
    }
}

void DovecotFixture::WritePasswd() const
{
    // One file per user: Dovecot looks at a user file at most once a second,
    // so a user added right after a login would otherwise stay unknown.
    QDir().mkpath(Dir() + "/users");
    for (const auto& u : users_) {
        QFile f(Dir() + "/users/" + u.first + ".passwd");
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(u.first.toUtf8() + ":{PLAIN}" + u.second.toUtf8() + "\n");
    }
}

void DovecotFixture::EnableOAuth2(const QString& introspectionUrl, const QString& mechanisms)
{
    oauthIntrospectionUrl_ = introspectionUrl;
    oauthMechanisms_ = mechanisms;
}

void DovecotFixture::AddUser(const QString& user, const QString& password)
{
    for (auto& u : users_) {
        if (u.first == user) {
            u.second = password;
            WritePasswd();
            return;
        }
    }
    users_.append({user, password});
    WritePasswd();
    MakeHome(user);
}

void DovecotFixture::MakeHome(const QString& user) const
{
    for (const char* sub : {"", "/new", "/cur", "/tmp"})
        QDir().mkpath(MaildirPath(user) + sub);
    Chown(Dir() + "/home/" + user);
    for (const char* sub : {"", "/new", "/cur", "/tmp"})
        Chown(MaildirPath(user) + sub);
}

QString DovecotFixture::Deliver(const QString& user, const QByteArray& message)
{
    const QString name = QStringLiteral("%1.M%2P%3.velmora")
                             .arg(QDateTime::currentSecsSinceEpoch())
                             .arg(++sequence_)
                             .arg(::getpid());
    const QString tmp = MaildirPath(user) + "/tmp/" + name;
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(message);
    f.close();
    Chown(tmp);
    QFile::rename(tmp, MaildirPath(user) + "/new/" + name);
    return name;
}

int DovecotFixture::MessageCount(const QString& user) const
{
    const auto filters = QDir::Files | QDir::NoDotAndDotDot;
    return int(QDir(MaildirPath(user) + "/new").entryList(filters).size() +
               QDir(MaildirPath(user) + "/cur").entryList(filters).size());
}

QString DovecotFixture::Log() const
{
    QFile f(Dir() + "/dovecot.log");
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

bool DovecotFixture::Running() const
{
    return process_ && process_->state() != QProcess::NotRunning;
}

bool DovecotFixture::WaitReady(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (!Running())
            return false;
        if (PortGreets(pop3Port_, false, greetingToken_) &&
            PortGreets(pop3sPort_, true, greetingToken_))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool DovecotFixture::Start()
{
    EnsureCoreApp();
    if (Running())
        return true;
    const QString binary = DovecotBinary();
    if (binary.isEmpty()) {
        error_ = QStringLiteral("dovecot is not installed");
        return false;
    }
    TestPki& pki = TestPki::Shared();
    if (!pki.Ok()) {
        error_ = pki.Error();
        return false;
    }
    const QString d = Dir();
    const bool root = ::geteuid() == 0;
    QString internalUser;
    if (root) {
        // Mail processes may not run as root; they run as "nobody", so the
        // mail homes belong to it and the fixture directory is traversable.
        const passwd* nobody = getpwnam("nobody");
        mailUid_ = nobody ? int(nobody->pw_uid) : 65534;
        mailGid_ = nobody ? int(nobody->pw_gid) : 65534;
        QFile::setPermissions(d, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                     QFile::ExeGroup | QFile::ExeOther);
        internalUser = QStringLiteral("root");
    } else {
        mailUid_ = int(::getuid());
        mailGid_ = int(::getgid());
        const passwd* me = getpwuid(::getuid());
        internalUser = me ? QString::fromLocal8Bit(me->pw_name) : QString::number(::getuid());
    }
    const QString loginUser =
        root && getpwnam("dovenull") ? QStringLiteral("dovenull") : internalUser;
    QDir().mkpath(d + "/run");
    QDir().mkpath(d + "/state");
    QDir().mkpath(d + "/home");
    Chown(d + "/home");
    WritePasswd();
    for (const auto& u : users_)
        MakeHome(u.first);

    // The port numbers are free when chosen, but another process may take
    // one before Dovecot binds it: Dovecot then fails and a new pair is
    // tried. Readiness is a greeting with a token of this start, so a
    // stranger on the port is never taken for this server.
    for (int attempt = 0; attempt < 5; ++attempt) {
        greetingToken_ =
            "Velmora test Dovecot " + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        pop3Port_ = FreePort();
        do {
            pop3sPort_ = FreePort();
        } while (pop3sPort_ == pop3Port_);
        QString conf;
        conf += "base_dir = " + d + "/run\n";
        conf += "state_dir = " + d + "/state\n";
        conf += "log_path = " + d + "/dovecot.log\n";
        conf += "protocols = pop3\nlisten = 127.0.0.1\n";
        conf += "login_greeting = " + QString::fromLatin1(greetingToken_) + "\n";
        conf += "ssl = yes\nssl_cert = <" + pki.ServerCertPath() + "\nssl_key = <" +
                pki.ServerKeyPath() + "\n";
        const bool oauth = !oauthIntrospectionUrl_.isEmpty();
        conf += "auth_mechanisms = plain login apop cram-md5" +
                (oauth ? " " + oauthMechanisms_ : QString()) + "\n";
        conf += "disable_plaintext_auth = no\nauth_failure_delay = 0\n";
        conf += "first_valid_uid = 1\nfirst_valid_gid = 1\n";
        conf += "default_login_user = " + loginUser + "\n";
        conf += "default_internal_user = " + internalUser + "\n";
        if (oauth) {
            // Tokens are checked by the provider, passwords by the user files.
            QFile ext(d + "/dovecot-oauth2.conf.ext");
            ext.open(QIODevice::WriteOnly | QIODevice::Truncate);
            ext.write(("introspection_mode = post\nintrospection_url = " + oauthIntrospectionUrl_ +
                       "\nusername_attribute = username\nactive_attribute = active\n"
                       "active_value = true\n")
                          .toUtf8());
            ext.close();
            conf += "passdb {\n  driver = oauth2\n  mechanisms = " + oauthMechanisms_ +
                    "\n  args = " + d + "/dovecot-oauth2.conf.ext\n}\n";
        }
        conf += "passdb {\n  driver = passwd-file\n" +
                QString(oauth ? "  mechanisms = plain login apop cram-md5\n" : "") +
                "  args = scheme=PLAIN " + d + "/users/%u.passwd\n}\n";
        conf += QStringLiteral(
                    "userdb {\n  driver = static\n  args = uid=%1 gid=%2 home=%3/home/%u\n}\n")
                    .arg(mailUid_)
                    .arg(mailGid_)
                    .arg(d);
        conf += "mail_location = maildir:~/Maildir\n";
        conf += QStringLiteral("service pop3-login {\n  chroot =\n"
                               "  inet_listener pop3 {\n    port = %1\n  }\n"
                               "  inet_listener pop3s {\n    port = %2\n    ssl = yes\n  }\n}\n")
                    .arg(pop3Port_)
                    .arg(pop3sPort_);
        // No growing delay after failed logins (the auth penalty).
        conf += "service anvil {\n  chroot =\n"
                "  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n";
        QFile f(d + "/dovecot.conf");
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(conf.toUtf8());
        f.close();

        process_ = std::make_unique<QProcess>();
        process_->setProcessChannelMode(QProcess::MergedChannels);
        process_->start(binary, {"-F", "-c", d + "/dovecot.conf"});
        if (!process_->waitForStarted(5000)) {
            error_ = QStringLiteral("dovecot did not start: ") + process_->errorString();
            process_.reset();
            continue;
        }
        if (WaitReady(10000))
            return true;
        error_ = QStringLiteral("dovecot did not become ready: ") +
                 QString::fromLocal8Bit(process_->readAll()) + Log();
        Stop();
    }
    return false;
}

void DovecotFixture::Stop()
{
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(2000);
        }
    }
    process_.reset();
}

} // namespace vm::test
