#pragma once
// One interactive sign-in with an OAuth 2.0 provider: the authorization code
// grant with PKCE (S256) and a state value, the browser sent to the
// provider's authorization address, the redirect received by a one-shot
// loopback listener, the code exchanged for tokens at the token endpoint.
// Everything runs on the interface thread's event loop except the token
// request, which runs on a thread of its own; Cancel ends the flow at any
// point, and a time limit ends it when the browser never comes back.
//
// The authorization address carries no secret (the state and the code
// challenge only), so it may be printed and shown for copying; tokens never
// leave the flow except in its result.

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <thread>

#include "oauth/OAuthProviders.h"
#include "oauth/TokenEndpoint.h"

namespace vm {

class RedirectListener;
class Transport;

struct SignInRequest
{
    OAuthEndpoints endpoints;
    QByteArray loginHint;          // the account's login, when known
    int timeLimitMs = 5 * 60 * 1000; // for the browser to come back
    TokenLimits tokenLimits;
    // Opens the address in a browser; the desktop's opener when empty.
    // False: no browser could be started (the address is still shown).
    std::function<bool(const QUrl&)> openBrowser;
};

struct SignInResult
{
    enum class Status { SignedIn, Cancelled, Failed };
    Status status = Status::Failed;
    TokenReply tokens; // SignedIn only
    QString error;     // Failed: what went wrong, for the user
};

class SignInFlow : public QObject
{
    Q_OBJECT
public:
    explicit SignInFlow(QObject* parent = nullptr);
    ~SignInFlow() override;

    // Starts listening, builds the address and opens the browser. False (with
    // the reason) when no listener could be started; then nothing runs.
    bool Start(const SignInRequest& request, QString* error = nullptr);
    // The address the browser was sent to (also for copying by hand).
    QUrl AuthorizationAddress() const { return address_; }
    bool BrowserOpened() const { return browserOpened_; }
    bool Running() const { return running_; }
    // Ends the flow with Cancelled (nothing once it has finished).
    void Cancel();

signals:
    // Emitted once, when the flow ends in any way.
    void finished(const vm::SignInResult& result);

private:
    void OnRedirect(const QByteArray& target);
    void OnExchanged(const SignInResult& result);
    void Finish(const SignInResult& result);
    void StopExchange();

    SignInRequest request_;
    RedirectListener* listener_ = nullptr;
    QByteArray verifier_;
    QByteArray state_;
    QString redirectUri_;
    QUrl address_;
    bool browserOpened_ = false;
    bool running_ = false;
    std::shared_ptr<Transport> transport_;
    std::thread exchange_;
};

// Runs a sign-in to its end in an event loop of its own and returns how it
// ended. onAddress is called once the address is known (whether a browser
// could be started); stop is asked every 100 ms and cancels the flow when
// it returns true.
SignInResult RunSignIn(const SignInRequest& request,
                       const std::function<void(const QUrl& address, bool browserOpened)>& onAddress,
                       const std::function<bool()>& stop);

// The texts of a failed sign-in.
QString SignInTimedOutText();

} // namespace vm

Q_DECLARE_METATYPE(vm::SignInResult)
