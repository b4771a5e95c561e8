#pragma once
// A real Dovecot POP3 + POP3S server on loopback for integration tests,
// started as a throwaway foreground process from a private configuration in
// a temporary directory and stopped again when the fixture is destroyed.
// POP3S uses a certificate signed by the test CA (TestPki); passwords are
// stored in plain text so APOP works. Works as root and as a normal user.
//
//   DovecotFixture dc;
//   ASSERT_TRUE(dc.Start()) << dc.LastError();
//   dc.AddUser("bob", "secret");
//   dc.Deliver("bob", "From: a@b\r\nSubject: x\r\n\r\nbody\r\n");
//   ... connect to dc.Host():dc.Pop3Port() or dc.Pop3sPort() ...

#include <QByteArray>
#include <QProcess>
#include <QSslCertificate>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace vm::test {

class DovecotFixture
{
public:
    DovecotFixture();
    ~DovecotFixture();
    DovecotFixture(const DovecotFixture&) = delete;
    DovecotFixture& operator=(const DovecotFixture&) = delete;

    // True when the dovecot program is installed.
    static bool Available();

    // Writes the configuration, starts Dovecot on free ports and waits until
    // both listeners accept connections. False (see LastError) on failure.
    bool Start();
    void Stop();
    bool Running() const;
    QString LastError() const { return error_; }

    QString Host() const { return QStringLiteral("127.0.0.1"); }
    quint16 Pop3Port() const { return pop3Port_; }
    quint16 Pop3sPort() const { return pop3sPort_; }
    // The CA that signed the server certificate (valid for "localhost").
    QSslCertificate CaCertificate() const;
    // SHA-256 fingerprint of the server certificate, "AB:CD:..." form.
    QString ServerFingerprint() const;

    // Lets users log in with OAuth 2.0 bearer tokens as well (SASL mechanisms
    // given, "xoauth2 oauthbearer" by default), which Dovecot's oauth2 passdb
    // checks by token introspection: a POST of the token to
    // introspectionUrl, whose JSON answer names the user ("username") and
    // says whether the token is "active". Call before Start.
    void EnableOAuth2(const QString& introspectionUrl,
                      const QString& mechanisms = QStringLiteral("xoauth2 oauthbearer"));

    // Adds a user (or changes the password); may be called while running.
    void AddUser(const QString& user, const QString& password);
    // Puts a message into the user's Maildir/new; returns its file name.
    QString Deliver(const QString& user, const QByteArray& message);
    // Number of messages the user has on the server (new and cur).
    int MessageCount(const QString& user) const;

    QString Dir() const { return dir_->path(); }
    QString Log() const;

private:
    QString MaildirPath(const QString& user) const;
    void Chown(const QString& path) const;
    void MakeHome(const QString& user) const;
    void WritePasswd() const;
    bool WaitReady(int ms);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> process_;
    QList<QPair<QString, QString>> users_;
    quint16 pop3Port_ = 0;
    quint16 pop3sPort_ = 0;
    int mailUid_ = -1;
    int mailGid_ = -1;
    int sequence_ = 0;
    QString error_;
    QString oauthIntrospectionUrl_;
    QString oauthMechanisms_;
    QByteArray greetingToken_;
};

} // namespace vm::test
