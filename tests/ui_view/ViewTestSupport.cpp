#include "support/GuiTestApp.h"
#include "ViewTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "core/AppInfo.h"

namespace vmtest {

QString EnsureWebApp()
{
    static QTemporaryDir dir;
    if (!qApp) {
        MakeGuiTestApp();
        vm::AppInfo::SetDataDir(dir.path() + '/');
    }
    return dir.path() + '/';
}

bool WaitUntil(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qSleep(5);
    }
    return true;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QString PageText(QWebEnginePage* page)
{
    bool done = false;
    QString text;
    page->toPlainText([&](const QString& t) {
        text = t;
        done = true;
    });
    if (!WaitUntil([&] { return done; }))
        ADD_FAILURE() << "timed out waiting for the page's text";
    return text;
}

QVariant RunAppScript(QWebEnginePage* page, const QString& script)
{
    bool done = false;
    QVariant result;
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    if (!WaitUntil([&] { return done; }))
        ADD_FAILURE() << "timed out waiting for the result of the script: "
                      << script.toStdString();
    return result;
}

bool LaterLocalPictureLoads(QWebEnginePage* page, const QString& folder)
{
    static int count = 0;
    const QString name = QStringLiteral("end-marker-%1.svg").arg(++count);
    if (!WriteFile(folder + '/' + name,
                   "<svg xmlns='http://www.w3.org/2000/svg' width='7' height='7'/>")) {
        ADD_FAILURE() << "cannot write the end marker into " << folder.toStdString();
        return false;
    }
    RunAppScript(page, QStringLiteral("(function(){var i=document.createElement('img');"
                                      "i.id='%1';i.src='%1';document.body.appendChild(i);"
                                      "return true;})()")
                           .arg(name));
    const QString loaded = QStringLiteral("(function(){var i=document.getElementById('%1');"
                                          "return !!i&&i.complete&&i.naturalWidth===7;})()")
                               .arg(name);
    if (!WaitUntil([&] { return RunAppScript(page, loaded).toBool(); })) {
        ADD_FAILURE() << "the end marker " << name.toStdString() << " never loaded";
        return false;
    }
    return true;
}

bool ClickElement(QWebEngineView* view, const QString& id)
{
    const QVariantList rect =
        RunAppScript(
            view->page(),
            QStringLiteral("(function(){var e=document.getElementById('%1');if(!e)return [];"
                           "var r=e.getBoundingClientRect();"
                           "return [r.left+r.width/2, r.top+r.height/2];})()")
                .arg(id))
            .toList();
    if (rect.size() != 2 || !view->focusProxy())
        return false;
    QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {},
                      QPoint(qRound(rect[0].toDouble()), qRound(rect[1].toDouble())));
    return true;
}

RecordingHttpServer::RecordingHttpServer() : server_(new QTcpServer(this))
{
    server_->listen(QHostAddress::LocalHost, 0);
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection()) {
            ++connections_;
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                const QByteArray request = socket->peek(socket->bytesAvailable());
                if (!request.contains("\r\n\r\n"))
                    return;
                socket->readAll();
                const QList<QByteArray> first = request.left(request.indexOf("\r\n")).split(' ');
                const QString path = first.size() > 1 ? QString::fromLatin1(first[1]) : QString();
                paths_.append(path);
                QByteArray type = "text/html";
                QByteArray body = "<html><body>remote</body></html>";
                if (path.endsWith(QLatin1String(".css"))) {
                    type = "text/css";
                    body = "body { color: red; }";
                } else if (path.endsWith(QLatin1String(".js"))) {
                    type = "application/javascript";
                    body = "document.title = 'remote script ran';";
                } else if (path.endsWith(QLatin1String(".svg"))) {
                    type = "image/svg+xml";
                    body = "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'/>";
                }
                socket->write(
                    "HTTP/1.1 200 OK\r\nContent-Type: " + type +
                    "\r\nCache-Control: no-store\r\nConnection: close\r\nContent-Length: " +
                    QByteArray::number(body.size()) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        }
    });
}

RecordingHttpServer::~RecordingHttpServer() = default;

quint16 RecordingHttpServer::Port() const
{
    return server_->serverPort();
}

QString RecordingHttpServer::Base() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(Port());
}

void RecordingHttpServer::Reset()
{
    connections_ = 0;
    paths_.clear();
}

} // namespace vmtest
