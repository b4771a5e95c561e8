#pragma once
// Runs tests/support/oauth_provider.py (the tests' own OAuth 2.0 provider on
// loopback) for one test, and reaches its test controls: revoking tokens,
// switching how it answers, reading what it was asked.

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace vm::test {

class OAuthProviderFixture
{
public:
    // extraArgs: options of oauth_provider.py (--expires-in, --rotate-refresh...).
    explicit OAuthProviderFixture(const QStringList& extraArgs = {});
    ~OAuthProviderFixture();
    bool Ok() const { return port_ != 0; }
    QString Error() const { return error_; }
    quint16 Port() const { return port_; }
    // "http://127.0.0.1:PORT" + path.
    QString Url(const QString& path) const;
    static constexpr char kClientId[] = "velmora-test";

    // POST of form to path (e.g. "/admin/revoke-access"); the status.
    int Post(const QString& path, const QByteArray& form = {});
    // GET /admin/stats.
    QJsonObject Stats();
    // The number of token requests of grant ("authorization_code",
    // "refresh_token").
    int TokenRequests(const QString& grant);

private:
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};

// The fake browser (tests/support/fake_browser.py) as xdg-open in a folder
// of its own; put Dir() first on PATH (or name Program() in $BROWSER). Log()
// holds the lines it wrote ("OPEN <address>", "PAGE {...}").
class FakeBrowser
{
public:
    FakeBrowser();
    QString Dir() const;
    QString Program() const; // Dir() + "/xdg-open"
    QString LogPath() const;
    QStringList Log() const;
    // The addresses it was asked to open.
    QStringList Opened() const;
    // Waits until it has written a line starting with prefix; false on time-out.
    bool WaitFor(const QString& prefix, int ms = 30000) const;

private:
    QString dir_;
};

} // namespace vm::test
