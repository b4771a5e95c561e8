#include "oauth/SignInFlow.h"

#include <QEventLoop>
#include <QTimer>

#include "net/Transport.h"
#include "oauth/OAuthText.h"
#include "oauth/RedirectListener.h"
#include "platform/Browser.h"

namespace vm {

namespace {

QString PageTitle()
{
    return QStringLiteral("Velmora");
}

} // namespace

QString SignInTimedOutText()
{
    return OAuthText("TimedOut",
                     "The browser did not come back from the provider in time; the sign-in "
                     "was not completed.");
}

SignInFlow::SignInFlow(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<vm::SignInResult>();
}

SignInFlow::~SignInFlow()
{
    StopExchange();
}

void SignInFlow::StopExchange()
{
    if (transport_) {
        transport_->RequestInterrupt();
        transport_->Abort();
    }
    if (exchange_.joinable())
        exchange_.join();
    transport_.reset();
}

bool SignInFlow::Start(const SignInRequest& request, QString* error)
{
    if (running_)
        return false;
    request_ = request;
    listener_ = new RedirectListener(this);
    if (!listener_->Listen(error)) {
        delete listener_;
        listener_ = nullptr;
        return false;
    }
    connect(listener_, &RedirectListener::redirected, this, &SignInFlow::OnRedirect);
    verifier_ = NewCodeVerifier();
    state_ = NewState();
    redirectUri_ = listener_->RedirectUri();
    address_ = AuthorizationUrl(request_.endpoints, redirectUri_, state_,
                                CodeChallengeS256(verifier_), request_.loginHint);
    running_ = true;
    QTimer::singleShot(request_.timeLimitMs, this, [this] {
        if (running_ && !exchange_.joinable())
            Finish({SignInResult::Status::Failed, {}, SignInTimedOutText()});
    });
    browserOpened_ = request_.openBrowser ? request_.openBrowser(address_) : OpenInBrowser(address_);
    return true;
}

void SignInFlow::OnRedirect(const QByteArray& target)
{
    if (!running_)
        return;
    const RedirectAnswer answer = ParseRedirect(target, state_);
    QString failure;
    switch (answer.kind) {
    case RedirectAnswer::Kind::Code:
        break;
    case RedirectAnswer::Kind::ProviderError:
        failure = OAuthText("ProviderSaidNo", "The provider did not grant access (%s).",
                            {answer.description.isEmpty()
                                 ? answer.error
                                 : answer.error + QStringLiteral(": ") + answer.description});
        break;
    case RedirectAnswer::Kind::StateMismatch:
        failure = OAuthText("StateMismatch",
                            "The answer that came back to Velmora does not belong to this "
                            "sign-in (its state value differs); it was ignored.");
        break;
    case RedirectAnswer::Kind::NoCode:
    case RedirectAnswer::Kind::OtherPath:
        failure = OAuthText("NoCode",
                            "The provider's answer carries no authorization code; the sign-in "
                            "was not completed.");
        break;
    }
    if (!failure.isEmpty()) {
        Finish({SignInResult::Status::Failed, {}, failure});
        return;
    }
    // The code is exchanged off the interface thread; the browser's page
    // waits for the outcome.
    transport_ = std::make_shared<Transport>();
    exchange_ = std::thread([this, transport = transport_, code = answer.code,
                             endpoints = request_.endpoints, verifier = verifier_,
                             redirect = redirectUri_, limits = request_.tokenLimits] {
        SignInResult result;
        try {
            result.tokens = ExchangeCode(endpoints, code, verifier, redirect, *transport, limits);
            result.status = SignInResult::Status::SignedIn;
        } catch (const OperationCancelled&) {
            result.status = SignInResult::Status::Cancelled;
        } catch (const ConnectionAborted&) {
            result.status = SignInResult::Status::Cancelled;
        } catch (const NetworkError& e) {
            result.status = SignInResult::Status::Failed;
            result.error = e.Message();
        }
        transport->Close();
        QMetaObject::invokeMethod(this, [this, result] { OnExchanged(result); },
                                  Qt::QueuedConnection);
    });
}

void SignInFlow::OnExchanged(const SignInResult& result)
{
    if (exchange_.joinable())
        exchange_.join();
    transport_.reset();
    if (running_)
        Finish(result);
}

void SignInFlow::Cancel()
{
    if (!running_)
        return;
    Finish({SignInResult::Status::Cancelled, {}, {}});
}

void SignInFlow::Finish(const SignInResult& result)
{
    if (!running_)
        return;
    running_ = false;
    StopExchange();
    if (listener_) {
        switch (result.status) {
        case SignInResult::Status::SignedIn:
            listener_->Respond(PageTitle(), OAuthText("BrowserDone",
                                                      "Velmora is signed in. You can close "
                                                      "this page."));
            break;
        case SignInResult::Status::Cancelled:
            listener_->Respond(PageTitle(),
                               OAuthText("BrowserCancelled",
                                         "The sign-in was cancelled in Velmora. You can close "
                                         "this page."));
            break;
        case SignInResult::Status::Failed:
            listener_->Respond(PageTitle(),
                               OAuthText("BrowserFailed",
                                         "The sign-in did not succeed: %s You can close this "
                                         "page and try again in Velmora.",
                                         {result.error}));
            break;
        }
        listener_->Close();
    }
    emit finished(result);
}

SignInResult RunSignIn(const SignInRequest& request,
                       const std::function<void(const QUrl&, bool)>& onAddress,
                       const std::function<bool()>& stop)
{
    SignInFlow flow;
    SignInResult result;
    QEventLoop loop;
    QObject::connect(&flow, &SignInFlow::finished, &loop, [&](const SignInResult& r) {
        result = r;
        loop.quit();
    });
    QString error;
    if (!flow.Start(request, &error)) {
        result.status = SignInResult::Status::Failed;
        result.error = OAuthText("NoListener",
                                 "Velmora cannot receive the provider's answer on this "
                                 "computer (%s).",
                                 {error});
        return result;
    }
    if (onAddress)
        onAddress(flow.AuthorizationAddress(), flow.BrowserOpened());
    QTimer watch;
    watch.setInterval(100);
    QObject::connect(&watch, &QTimer::timeout, &flow, [&] {
        if (stop && stop())
            flow.Cancel();
    });
    watch.start();
    if (flow.Running())
        loop.exec();
    return result;
}

} // namespace vm
