#pragma once
// Shared pieces of the HTML view tests: the application object set up for
// Qt WebEngine offscreen, a local HTTP server that records every request,
// and waits with generous limits that fail the test when they run out.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QTcpServer;
class QWebEnginePage;
class QWebEngineView;

namespace vmtest {

// Creates the application object once: offscreen, WebEngine without
// sandbox and GPU, a private data directory. Returns that directory.
QString EnsureWebApp();

// Runs the event loop until done() holds or ms pass; returns done().
bool WaitUntil(const std::function<bool()>& done, int ms = 30000);

// Writes bytes to path; false on failure.
bool WriteFile(const QString& path, const QByteArray& bytes);

// The page's text as the engine sees it; a failure of the running test when
// no answer comes within 30 s.
QString PageText(QWebEnginePage* page);
// Runs a script in the program's own world and returns its result; a
// failure of the running test when no answer comes within 30 s.
QVariant RunAppScript(QWebEnginePage* page, const QString& script);

// The end marker for "nothing else happens": a script adds a local picture
// from folder to the page, a request made after everything the page asked
// for so far and going the same way through the request guard. True once it
// has loaded; a failure of the running test when it does not within 30 s.
bool LaterLocalPictureLoads(QWebEnginePage* page, const QString& folder);

// Clicks the element with the id in the view's page with the mouse, as a
// user would; false when the element is not found.
bool ClickElement(QWebEngineView* view, const QString& id);

// An HTTP server on 127.0.0.1 that answers every request with a small body
// of a type fitting the path and records the request paths.
class RecordingHttpServer : public QObject
{
    Q_OBJECT
public:
    RecordingHttpServer();
    ~RecordingHttpServer() override;
    quint16 Port() const;
    QString Base() const; // "http://127.0.0.1:PORT"
    // Connections accepted and request paths read, in order.
    int Connections() const { return connections_; }
    QStringList Paths() const { return paths_; }
    void Reset();

private:
    QTcpServer* server_ = nullptr;
    int connections_ = 0;
    QStringList paths_;
};

} // namespace vmtest
