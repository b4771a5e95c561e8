#include "demo/DemoServers.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <future>
#include <thread>

#include "demo/DemoCertificate.h"
#include "demo/DemoPop3Session.h"
#include "demo/DemoSmtpSession.h"
#include "demo/DemoWebSession.h"

namespace vm {

namespace {

// Hands each accepted connection to a new session, up to a number at once.
class DemoListener : public QTcpServer
{
public:
    using Factory = std::function<DemoSession*(qintptr, QObject*)>;
    DemoListener(Factory factory, int maxConnections, QObject* parent)
        : QTcpServer(parent), factory_(std::move(factory)), maxConnections_(maxConnections)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        int live = 0;
        for (QObject* child : children())
            live += dynamic_cast<DemoSession*>(child) ? 1 : 0;
        if (live >= maxConnections_) {
            QTcpSocket refused;
            refused.setSocketDescriptor(descriptor);
            refused.abort();
            return;
        }
        factory_(descriptor, this);
    }

private:
    Factory factory_;
    int maxConnections_;
};

} // namespace

DemoServers::DemoServers() = default;

DemoServers::~DemoServers()
{
    Stop();
}

QSslCertificate DemoServers::Certificate() const
{
    return context_ ? context_->certificate : QSslCertificate();
}

bool DemoServers::Running() const
{
    return thread_ != nullptr;
}

bool DemoServers::Start(const Options& options, QString* error)
{
    auto fail = [&](const QString& why) {
        Stop();
        if (error)
            *error = why;
        return false;
    };
    if (Running())
        return fail(QStringLiteral("The demo servers run already."));
    if (options.users.isEmpty())
        return fail(QStringLiteral("The demo servers need a login."));
    const DemoCertificate cert = MakeDemoCertificate();
    if (cert.IsNull())
        return fail(QStringLiteral("Could not make the demo servers' certificate."));
    context_ = std::make_unique<DemoServerContext>();
    context_->store = &store_;
    context_->users = options.users;
    context_->certificate = cert.certificate;
    context_->key = cert.key;
    for (const DemoUser& u : options.users)
        store_.AddMaildrop(u.login);

    // A std::thread running an event loop of its own, joined by Stop: a
    // QThread's wait() returns before its thread has really ended (Qt's
    // threads are detached), and no thread may still be ending when the
    // program returns from main.
    std::promise<void> started;
    thread_ = std::make_unique<std::thread>([this, &started] {
        QEventLoop loop; // gives the thread its event dispatcher
        QObject host;
        host_ = &host;
        loop_ = &loop;
        started.set_value();
        loop.exec();
    });
    started.get_future().wait();

    QString listenError;
    QMetaObject::invokeMethod(
        host_,
        [&] {
            const DemoServerContext& ctx = *context_;
            auto listen = [&](DemoListener::Factory factory, quint16& port,
                              quint16 preferred = 0) {
                auto* l = new DemoListener(std::move(factory), options.maxConnections, host_);
                if (!(preferred != 0 && l->listen(QHostAddress::LocalHost, preferred)) &&
                    !l->listen(QHostAddress::LocalHost, 0)) {
                    listenError = l->errorString();
                    return;
                }
                port = l->serverPort();
            };
            auto begin = [](DemoSession* s) {
                s->Begin();
                return s;
            };
            listen(
                [&ctx, begin](qintptr d, QObject* p) {
                    return begin(new DemoPop3Session(d, ctx, false, p));
                },
                pop3Port_);
            listen([&ctx](qintptr d, QObject* p) { return new DemoPop3Session(d, ctx, true, p); },
                   pop3TlsPort_);
            listen([&ctx, begin](qintptr d,
                                 QObject* p) { return begin(new DemoSmtpSession(d, ctx, p)); },
                   smtpPort_);
            listen([&ctx, begin](qintptr d,
                                 QObject* p) { return begin(new DemoWebSession(d, ctx, p)); },
                   webPort_, options.webPort);
            if (options.arrivalIntervalMs > 0 && options.arrival) {
                auto* timer = new QTimer(host_);
                const QByteArray login = options.users.first().login;
                auto arrival = options.arrival;
                timer->callOnTimeout([this, timer, login, arrival] {
                    const int n = timer->property("n").toInt();
                    timer->setProperty("n", n + 1);
                    const QByteArray text = arrival(n);
                    if (!text.isEmpty())
                        store_.Deliver(login, text);
                });
                timer->start(options.arrivalIntervalMs);
            }
        },
        Qt::BlockingQueuedConnection);
    if (!listenError.isEmpty())
        return fail(QStringLiteral("The demo servers cannot listen: %1").arg(listenError));
    return true;
}

void DemoServers::Stop()
{
    if (!thread_)
        return;
    // The listeners and sessions are the host's children; they go with it,
    // on their own thread.
    QMetaObject::invokeMethod(
        host_, [this] { qDeleteAll(host_->children()); }, Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(loop_, &QEventLoop::quit, Qt::QueuedConnection);
    thread_->join();
    thread_.reset();
    host_ = nullptr;
    loop_ = nullptr;
    pop3Port_ = pop3TlsPort_ = smtpPort_ = webPort_ = 0;
}

QByteArray DemoServers::WebBase() const
{
    return "http://" + Host().toLatin1() + ':' + QByteArray::number(webPort_);
}

} // namespace vm
