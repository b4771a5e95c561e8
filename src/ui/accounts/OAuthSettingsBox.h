#pragma once
// The sign-in choice of the account window and the wizard: password or
// OAuth 2.0, and for OAuth 2.0 the provider (Microsoft, Google, custom), the
// client id and secret, for a custom provider the authorization and token
// addresses and the scope, the "Sign in..." button and what the account's
// sign-in state is. It says plainly when no client id is set.
//
// Tokens from a sign-in made here are kept until the host window writes
// the box into the account (its OK or Next), so Cancel stores nothing.

#include <QGroupBox>

#include <functional>
#include <optional>

#include "model/MailAccount.h"
#include "oauth/OAuthProtocol.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vm {

class OAuthSettingsBox : public QGroupBox
{
    Q_OBJECT
public:
    explicit OAuthSettingsBox(QWidget* parent = nullptr);

    // Fills the controls from the account and forgets tokens of an earlier
    // sign-in made here.
    void Load(const MailAccount& account);
    // The settings as typed.
    bool OAuthChosen() const;
    OAuthSettings Settings() const;
    // What stops these settings from being used (empty when nothing does):
    // no client id, an address that is not https, a custom provider without
    // addresses. Only for OAuth 2.0.
    QString Problem() const;
    // A sign-in was made here, or the account holds a refresh token for the
    // settings as they are.
    bool SignedIn() const;
    // Writes the choice, the settings and the tokens of a sign-in made here
    // into the account. Changed provider, client or addresses drop tokens
    // that belonged to the old ones.
    void Store(MailAccount& account) const;

    // Selects the provider that server obviously belongs to (when the user
    // has not chosen one yet).
    void GuessFromServer(const QString& server);
    // The login sent as a hint to the provider.
    std::function<QByteArray()> loginHint;
    // Runs the browser step: true when signed in. Tests replace it.
    std::function<std::optional<TokenReply>(QWidget*, const OAuthEndpoints&, const QByteArray&)>
        signIn;
    void BSignInClick();

    QRadioButton* RBPasswordSignIn = nullptr;
    QRadioButton* RBOAuthSignIn = nullptr;
    QWidget* POAuth = nullptr;
    QComboBox* CBProvider = nullptr;
    QLineEdit* EClientId = nullptr;
    QLineEdit* EClientSecret = nullptr;
    QLabel* LClientIdHint = nullptr;
    QLabel* LAuthorizeUrl = nullptr;
    QLineEdit* EAuthorizeUrl = nullptr;
    QLabel* LTokenUrl = nullptr;
    QLineEdit* ETokenUrl = nullptr;
    QLabel* LScope = nullptr;
    QLineEdit* EScope = nullptr;
    QPushButton* BSignIn = nullptr;
    QLabel* LSignInState = nullptr;

signals:
    // Password or OAuth 2.0 was chosen (the host disables its password
    // fields for OAuth 2.0).
    void methodChanged(bool oauth);

protected:
    // A language switch re-reads the texts this box sets itself.
    void changeEvent(QEvent* event) override;

private:
    void Refresh();
    QByteArray ProviderId() const;

    OAuthSettings loaded_;
    bool loadedSignedIn_ = false;
    bool loadedRefused_ = false;
    bool providerTouched_ = false;
    std::optional<TokenReply> tokens_;
};

} // namespace vm
