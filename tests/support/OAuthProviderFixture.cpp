#include "support/OAuthProviderFixture.h"

#include "support/PythonServer.h"
#include "support/TestPki.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

namespace vm::test {

namespace {

// Waits for reply within 20 s; its body.
QByteArray Finish(QNetworkReply* reply, int* status)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    const QByteArray body = reply->readAll();
    if (status)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    return body;
}

} // namespace

OAuthProviderFixture::OAuthProviderFixture(const QStringList& extraArgs)
{
    EnsureCoreApp();
    port_ = vmtest::StartPythonServer(
        process_,
        QStringList{QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/oauth_provider.py"),
                    "--client-id", kClientId} +
            extraArgs,
        error_);
}

OAuthProviderFixture::~OAuthProviderFixture()
{
    vmtest::StopPythonServer(process_);
}

QString OAuthProviderFixture::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

int OAuthProviderFixture::Post(const QString& path, const QByteArray& form)
{
    QNetworkAccessManager nam;
    nam.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request{QUrl(Url(path))};
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    int status = 0;
    Finish(nam.post(request, form), &status);
    return status;
}

QJsonObject OAuthProviderFixture::Stats()
{
    QNetworkAccessManager nam;
    nam.setProxy(QNetworkProxy::NoProxy);
    return QJsonDocument::fromJson(Finish(nam.get(QNetworkRequest(QUrl(Url("/admin/stats")))),
                                          nullptr))
        .object();
}

int OAuthProviderFixture::TokenRequests(const QString& grant)
{
    int n = 0;
    for (const QJsonValue& v : Stats().value("token").toArray())
        if (v.toObject().value("grant_type").toString() == grant)
            ++n;
    return n;
}

FakeBrowser::FakeBrowser()
{
    static QTemporaryDir base;
    static int count = 0;
    dir_ = base.path() + QStringLiteral("/browser%1").arg(++count);
    QDir().mkpath(dir_);
    QFile::copy(QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/fake_browser.py"), Program());
    QFile::setPermissions(Program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString FakeBrowser::Dir() const
{
    return dir_;
}

QString FakeBrowser::Program() const
{
    return dir_ + QStringLiteral("/xdg-open");
}

QString FakeBrowser::LogPath() const
{
    return dir_ + QStringLiteral("/log");
}

QStringList FakeBrowser::Log() const
{
    QFile f(LogPath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

QStringList FakeBrowser::Opened() const
{
    QStringList out;
    for (const QString& line : Log())
        if (line.startsWith("OPEN "))
            out.append(line.mid(5));
    return out;
}

bool FakeBrowser::WaitFor(const QString& prefix, int ms) const
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        for (const QString& line : Log())
            if (line.startsWith(prefix))
                return true;
        QThread::msleep(50);
    }
    return false;
}

} // namespace vm::test
