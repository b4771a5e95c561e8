#pragma once
// The small window that waits while the user signs in with an OAuth 2.0
// provider in the browser: it says what happens, shows the address (for
// copying when no browser opened, or to open it in another one) and offers
// Cancel. It closes by itself when the browser comes back.

#include <QByteArray>

#include <optional>

#include "oauth/SignInFlow.h"
#include "ui/common/TranslatedWindow.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vm {

class SignInWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    explicit SignInWindow(QWidget* parent = nullptr);
    ~SignInWindow() override;

    // Starts the sign-in and shows the window modally until it ends. The
    // tokens when signed in; nothing when cancelled or failed (a failure is
    // reported in a message box).
    std::optional<TokenReply> Run(const SignInRequest& request);

    // The sign-in's own window (tests answer it through the flow).
    SignInFlow* Flow() const { return flow_; }

    // Runs a sign-in in a window of its own, for the account windows and the
    // account tree; the request limits may be shortened by tests.
    static std::optional<TokenReply> SignIn(QWidget* parent, const OAuthEndpoints& endpoints,
                                            const QByteArray& loginHint);
    // The time limit for the browser to come back, for SignIn (tests).
    static void SetTimeLimitMs(int ms);

    QLabel* LSignInHint = nullptr;
    QLabel* LAddress = nullptr;
    QLineEdit* EAddress = nullptr;
    QPushButton* BCopy = nullptr;
    QProgressBar* PBWaiting = nullptr;
    QPushButton* BCancel = nullptr;

private:
    SignInFlow* flow_ = nullptr;
    SignInResult result_;
};

} // namespace vm
