// OAuth 2.0 accounts from the command line, end to end: --add-account
// --oauth2 with a recording browser (xdg-open first on PATH) and the tests'
// provider, --check against a Dovecot whose oauth2 passdb asks that
// provider, renewal after the access tokens were revoked, a revoked grant,
// --sign-in, and refusals.

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QElapsedTimer>
#include <QThread>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <csignal>

#include "support/DovecotFixture.h"
#include "support/OAuthProviderFixture.h"
#include "support/TestPki.h"

using vm::test::DovecotFixture;
using vm::test::FakeBrowser;
using vm::test::OAuthProviderFixture;

namespace {

struct Result
{
    int code = -1;
    QString out;
    QString err;
};

void PrintTo(const Result& r, std::ostream* os)
{
    *os << "exit " << r.code << "\nstdout: " << r.out.toStdString()
        << "\nstderr: " << r.err.toStdString();
}

class OAuthCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vm::test::EnsureCoreApp();
        if (!QFile::exists(Program()))
            GTEST_SKIP() << "the program is not built";
        ASSERT_TRUE(provider.Ok()) << provider.Error().toStdString();
        ASSERT_TRUE(data.isValid());
    }

    static QString Program() { return QStringLiteral(VELMORA_BINARY_DIR "/src/app/velmora"); }

    // The program's environment: no display, no $BROWSER, the recording
    // browser first on PATH.
    void Launch(QProcess& p, const QStringList& args, const QByteArray& browserMode = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "BROWSER",
                                 "VELMORA_OAUTH_CLIENT_IDS"})
            env.remove(QLatin1String(name));
        env.insert("PATH", browser.Dir() + ":" + env.value("PATH"));
        env.insert("FAKE_BROWSER_LOG", browser.LogPath());
        env.insert("FAKE_BROWSER_MODE", QString::fromLatin1(browserMode));
        p.setProcessEnvironment(env);
        p.start(Program(), QStringList{"--data-dir", data.path()} + args);
    }
    Result Finish(QProcess& p)
    {
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
        }
        Result r;
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    Result Run(const QStringList& args)
    {
        QProcess p;
        Launch(p, args);
        return Finish(p);
    }

    QStringList AddArgs(quint16 port) const
    {
        return {"--add-account",        "--login",
                "bob",                  "--server",
                "127.0.0.1",            "--port",
                QString::number(port),  "--name",
                "Bob",                  "--oauth2",
                "custom",               "--oauth2-client-id",
                OAuthProviderFixture::kClientId,
                "--oauth2-authorize-url", provider.Url("/authorize"),
                "--oauth2-token-url",   provider.Url("/token"),
                "--oauth2-scope",       "mail"};
    }

    // Every file of the data directory, read whole.
    QList<QByteArray> DataFiles() const
    {
        QList<QByteArray> files;
        QDirIterator it(data.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (f.open(QIODevice::ReadOnly))
                files.append(f.readAll());
        }
        return files;
    }

    OAuthProviderFixture provider;
    FakeBrowser browser;
    QTemporaryDir data;
};

} // namespace

TEST_F(OAuthCli, SignInCheckRenewAndSignInAgain)
{
    if (!DovecotFixture::Available())
        GTEST_SKIP() << "dovecot is not installed";
    DovecotFixture dc;
    dc.EnableOAuth2(provider.Url("/introspect"));
    ASSERT_TRUE(dc.Start()) << dc.LastError().toStdString();
    dc.AddUser("bob", "not-used");
    dc.Deliver("bob", "From: a@example.org\r\nSubject: first\r\n\r\nbody\r\n");
    dc.Deliver("bob", "From: a@example.org\r\nSubject: second\r\n\r\nbody\r\n");

    const Result added = Run(AddArgs(dc.Pop3Port()));
    ASSERT_EQ(added.code, 0) << ::testing::PrintToString(added);
    EXPECT_EQ(added.out, "Bob\n");
    // The browser got the authorization address with PKCE and a state, and
    // the terminal showed the same address.
    const QStringList opened = browser.Opened();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(added.err.contains(opened.first())) << added.err.toStdString();
    const QUrlQuery q(QUrl(opened.first()).query(QUrl::FullyEncoded));
    EXPECT_EQ(q.queryItemValue("code_challenge_method"), "S256");
    EXPECT_EQ(q.queryItemValue("code_challenge").size(), 43);
    EXPECT_FALSE(q.queryItemValue("state").isEmpty());
    EXPECT_TRUE(q.queryItemValue("redirect_uri", QUrl::FullyDecoded).startsWith("http://127.0.0.1:"));

    const Result check = Run({"--check"});
    ASSERT_EQ(check.code, 0) << ::testing::PrintToString(check) << dc.Log().toStdString();
    EXPECT_EQ(check.out, "Bob\t2\n");
    EXPECT_TRUE(dc.Log().contains("method=OAUTHBEARER")) << dc.Log().toStdString();
    const Result list = Run({"--list", "Bob", "--json"});
    EXPECT_EQ(QJsonDocument::fromJson(list.out.toUtf8()).array().size(), 2);

    // Every access token revoked: the next check renews and goes on.
    ASSERT_EQ(provider.Post("/admin/revoke-access"), 200);
    const int renewals = provider.TokenRequests("refresh_token");
    dc.Deliver("bob", "From: a@example.org\r\nSubject: third\r\n\r\nbody\r\n");
    const Result again = Run({"--check", "Bob"});
    EXPECT_EQ(again.code, 0) << ::testing::PrintToString(again);
    EXPECT_EQ(again.out, "Bob\t1\n");
    EXPECT_GT(provider.TokenRequests("refresh_token"), renewals);

    // No token lies in clear anywhere in the data directory.
    const QJsonArray issued = provider.Stats().value("issued").toArray();
    ASSERT_GE(issued.size(), 3);
    for (const QByteArray& file : DataFiles())
        for (const QJsonValue& token : issued)
            EXPECT_FALSE(file.contains(token.toString().toLatin1()));

    // A revoked grant: the check fails and says how to sign in again.
    ASSERT_EQ(provider.Post("/admin/revoke-grants"), 200);
    const Result refused = Run({"--check", "Bob"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains("account Bob")) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("--sign-in \"Bob\"")) << refused.err.toStdString();

    const Result signedIn = Run({"--sign-in", "Bob"});
    EXPECT_EQ(signedIn.code, 0) << ::testing::PrintToString(signedIn);
    EXPECT_EQ(browser.Opened().size(), 2);
    EXPECT_EQ(Run({"--check", "Bob"}).code, 0);
}

TEST_F(OAuthCli, WrongArgumentsAreRefusedBeforeTheBrowser)
{
    const QString token = provider.Url("/token");
    const QString authorize = provider.Url("/authorize");
    const QStringList base{"--add-account", "--login", "bob", "--server", "pop.example.org"};
    const QList<QStringList> cases{
        {"--oauth2", "yahoo", "--oauth2-client-id", "x"},
        {"--oauth2", "custom", "--oauth2-client-id", "x"},
        {"--oauth2", "custom", "--oauth2-client-id", "x", "--oauth2-authorize-url",
         "http://id.example.org/a", "--oauth2-token-url", "http://id.example.org/t"},
        {"--oauth2", "microsoft"}, // no client id anywhere
        {"--oauth2", "google", "--oauth2-client-id", "x", "--password-stdin"},
        {"--oauth2-client-id", "x"},
        {"--oauth2", "google", "--oauth2-client-id", "x", "--oauth2-token-url", token},
    };
    for (const QStringList& extra : cases) {
        SCOPED_TRACE(extra.join(' ').toStdString());
        const Result r = Run(base + extra);
        EXPECT_EQ(r.code, 2) << ::testing::PrintToString(r);
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_TRUE(browser.Opened().isEmpty());
    EXPECT_FALSE(QFile::exists(data.path() + "/bob.mbx"));
    // Without a client id the message says how to give one.
    EXPECT_TRUE(Run(base + QStringList{"--oauth2", "microsoft"}).err.contains(
        "VELMORA_OAUTH_CLIENT_IDS"));
}

TEST_F(OAuthCli, CancelledOrRefusedSignInStoresNothing)
{
    // The provider says no: exit 1 with its reason.
    ASSERT_EQ(provider.Post("/admin/mode", "authorize=deny"), 200);
    const Result denied = Run(AddArgs(110));
    EXPECT_EQ(denied.code, 1) << ::testing::PrintToString(denied);
    EXPECT_TRUE(denied.err.contains("access_denied")) << denied.err.toStdString();

    // The user presses Ctrl+C while the browser is open.
    QProcess p;
    Launch(p, AddArgs(110), "record");
    ASSERT_TRUE(p.waitForStarted(10000));
    // The browser's second address: this sign-in's.
    QElapsedTimer waited;
    waited.start();
    while (browser.Opened().size() < 2 && waited.elapsed() < 60000)
        QThread::msleep(50);
    ASSERT_EQ(browser.Opened().size(), 2);
    ::kill(pid_t(p.processId()), SIGINT);
    const Result cancelled = Finish(p);
    EXPECT_EQ(cancelled.code, 1) << ::testing::PrintToString(cancelled);
    EXPECT_TRUE(cancelled.err.contains("cancelled")) << cancelled.err.toStdString();

    EXPECT_FALSE(QFile::exists(data.path() + "/bob.mbx"));
    EXPECT_EQ(provider.TokenRequests("authorization_code"), 0);
}
