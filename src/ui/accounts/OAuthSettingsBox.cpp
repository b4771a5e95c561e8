#include "ui/accounts/OAuthSettingsBox.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/Messages.h"
#include "lang/Lang.h"
#include "model/MailAccount.h"
#include "oauth/AccountTokens.h"
#include "oauth/OAuthProviders.h"
#include "ui/accounts/SignInWindow.h"
#include "ui/common/FormParts.h"

namespace vm {

namespace {

const char* const kProviders[] = {kProviderMicrosoft, kProviderGoogle, kProviderCustom};

QString Tx(const char* key, const char* english)
{
    const QString text = LangText(QStringLiteral("OAuthSettings"), QString::fromLatin1(key));
    return text.isEmpty() ? QString::fromUtf8(english) : text;
}

QByteArray B(const QLineEdit* e)
{
    return e->text().trimmed().toUtf8();
}

} // namespace

OAuthSettingsBox::OAuthSettingsBox(QWidget* parent)
    : QGroupBox(QStringLiteral("Sign-in"), parent)
{
    setObjectName(QStringLiteral("GBSignIn"));
    auto* v = new QVBoxLayout(this);
    auto* choice = new QHBoxLayout;
    RBPasswordSignIn = new QRadioButton(QStringLiteral("Password"), this);
    RBPasswordSignIn->setObjectName(QStringLiteral("RBPasswordSignIn"));
    RBOAuthSignIn = new QRadioButton(QStringLiteral("OAuth 2.0 (in the browser)"), this);
    RBOAuthSignIn->setObjectName(QStringLiteral("RBOAuthSignIn"));
    choice->addWidget(RBPasswordSignIn);
    choice->addWidget(RBOAuthSignIn);
    choice->addStretch(1);
    v->addLayout(choice);

    POAuth = new QWidget(this);
    POAuth->setObjectName(QStringLiteral("POAuth"));
    auto* f = new QFormLayout(POAuth);
    f->setContentsMargins(0, 0, 0, 0);
    CBProvider = new QComboBox(POAuth);
    CBProvider->setObjectName(QStringLiteral("CBProvider"));
    CBProvider->addItems({QStringLiteral("Microsoft"), QStringLiteral("Google"),
                          QStringLiteral("Custom")});
    f->addRow(NamedLabel("LProvider", QStringLiteral("Provider:"), POAuth, false), CBProvider);
    EClientId = NamedEdit("EClientId", POAuth);
    f->addRow(NamedLabel("LClientId", QStringLiteral("Client id:"), POAuth, false), EClientId);
    EClientSecret = NamedEdit("EClientSecret", POAuth);
    f->addRow(NamedLabel("LClientSecret", QStringLiteral("Client secret:"), POAuth, false),
              EClientSecret);
    LClientIdHint = NamedLabel("LClientIdHint", QString(), POAuth);
    f->addRow(LClientIdHint);
    LAuthorizeUrl =
        NamedLabel("LAuthorizeUrl", QStringLiteral("Authorization address:"), POAuth, false);
    EAuthorizeUrl = NamedEdit("EAuthorizeUrl", POAuth);
    f->addRow(LAuthorizeUrl, EAuthorizeUrl);
    LTokenUrl = NamedLabel("LTokenUrl", QStringLiteral("Token address:"), POAuth, false);
    ETokenUrl = NamedEdit("ETokenUrl", POAuth);
    f->addRow(LTokenUrl, ETokenUrl);
    LScope = NamedLabel("LScope", QStringLiteral("Scope:"), POAuth, false);
    EScope = NamedEdit("EScope", POAuth);
    f->addRow(LScope, EScope);
    auto* signInRow = new QHBoxLayout;
    BSignIn = new QPushButton(QStringLiteral("Sign in..."), POAuth);
    BSignIn->setObjectName(QStringLiteral("BSignIn"));
    LSignInState = new QLabel(POAuth);
    LSignInState->setWordWrap(true);
    signInRow->addWidget(BSignIn);
    signInRow->addWidget(LSignInState, 1);
    f->addRow(signInRow);
    v->addWidget(POAuth);

    RBPasswordSignIn->setChecked(true);
    signIn = [](QWidget* parent, const OAuthEndpoints& endpoints, const QByteArray& hint) {
        return SignInWindow::SignIn(parent, endpoints, hint);
    };
    connect(RBOAuthSignIn, &QRadioButton::toggled, this, [this](bool on) {
        Refresh();
        emit methodChanged(on);
    });
    connect(CBProvider, &QComboBox::activated, this, [this] {
        providerTouched_ = true;
        Refresh();
    });
    for (QLineEdit* e : {EClientId, EClientSecret, EAuthorizeUrl, ETokenUrl, EScope})
        connect(e, &QLineEdit::textEdited, this, [this] { Refresh(); });
    connect(BSignIn, &QPushButton::clicked, this, &OAuthSettingsBox::BSignInClick);
    Refresh();
}

QByteArray OAuthSettingsBox::ProviderId() const
{
    return kProviders[std::clamp(CBProvider->currentIndex(), 0, 2)];
}

void OAuthSettingsBox::Load(const MailAccount& account)
{
    loaded_ = account.OAuth();
    loadedSignedIn_ = account.SecretStored(kOAuthSecret);
    loadedRefused_ = account.SignInRefused();
    tokens_.reset();
    providerTouched_ = !loaded_.provider.isEmpty();
    int index = 0;
    for (int i = 0; i < 3; ++i)
        if (loaded_.provider == kProviders[i])
            index = i;
    CBProvider->setCurrentIndex(index);
    EClientId->setText(QString::fromUtf8(loaded_.clientId));
    EClientSecret->setText(QString::fromUtf8(loaded_.clientSecret));
    EAuthorizeUrl->setText(QString::fromUtf8(loaded_.authorizeUrl));
    ETokenUrl->setText(QString::fromUtf8(loaded_.tokenUrl));
    EScope->setText(QString::fromUtf8(loaded_.scope));
    (account.UsesOAuth() ? RBOAuthSignIn : RBPasswordSignIn)->setChecked(true);
    Refresh();
    emit methodChanged(account.UsesOAuth());
}

bool OAuthSettingsBox::OAuthChosen() const
{
    return RBOAuthSignIn->isChecked();
}

OAuthSettings OAuthSettingsBox::Settings() const
{
    OAuthSettings s;
    s.provider = ProviderId();
    s.clientId = B(EClientId);
    s.clientSecret = B(EClientSecret);
    if (s.provider == kProviderCustom) {
        s.authorizeUrl = B(EAuthorizeUrl);
        s.tokenUrl = B(ETokenUrl);
        s.scope = EScope->text().simplified().toUtf8();
    }
    return s;
}

QString OAuthSettingsBox::Problem() const
{
    if (!OAuthChosen())
        return {};
    QString problem;
    ResolveOAuthEndpoints(Settings(), &problem);
    return problem;
}

bool OAuthSettingsBox::SignedIn() const
{
    return tokens_.has_value() || (loadedSignedIn_ && Settings() == loaded_);
}

void OAuthSettingsBox::Store(MailAccount& account) const
{
    account.SignIn() = OAuthChosen() ? SignInMethod::OAuth2 : SignInMethod::Password;
    if (!OAuthChosen())
        return;
    const OAuthSettings settings = Settings();
    if (!(settings == account.OAuth()))
        account.ForgetTokens();
    account.OAuth() = settings;
    if (tokens_)
        StoreSignIn(account, *tokens_);
}

void OAuthSettingsBox::GuessFromServer(const QString& server)
{
    if (providerTouched_)
        return;
    const QByteArray guess = GuessProviderFromServer(server.toUtf8());
    for (int i = 0; i < 3; ++i)
        if (guess == kProviders[i])
            CBProvider->setCurrentIndex(i);
    Refresh();
}

void OAuthSettingsBox::BSignInClick()
{
    QString problem;
    const std::optional<OAuthEndpoints> endpoints = ResolveOAuthEndpoints(Settings(), &problem);
    if (!endpoints) {
        ShowError(problem);
        return;
    }
    const std::optional<TokenReply> tokens =
        signIn(window(), *endpoints, loginHint ? loginHint() : QByteArray());
    if (tokens)
        tokens_ = tokens;
    Refresh();
}

void OAuthSettingsBox::changeEvent(QEvent* event)
{
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        Refresh();
}

void OAuthSettingsBox::Refresh()
{
    const bool oauth = RBOAuthSignIn->isChecked();
    POAuth->setVisible(oauth);
    const bool custom = ProviderId() == kProviderCustom;
    for (QWidget* w : std::initializer_list<QWidget*>{LAuthorizeUrl, EAuthorizeUrl, LTokenUrl,
                                                      ETokenUrl, LScope, EScope})
        w->setVisible(oauth && custom);
    const bool noClientId =
        EClientId->text().trimmed().isEmpty() && ConfiguredClientCredentials(ProviderId()).id.isEmpty();
    LClientIdHint->setText(noClientId ? NoClientIdText(ProviderId()) : QString());
    LClientIdHint->setVisible(oauth && noClientId);
    if (tokens_)
        LSignInState->setText(Tx("StateSignedIn", "Signed in."));
    else if (loadedSignedIn_ && Settings() == loaded_)
        LSignInState->setText(loadedRefused_
                                  ? Tx("StateRefused", "The provider refused the sign-in; sign "
                                                       "in again.")
                                  : Tx("StateSignedIn", "Signed in."));
    else
        LSignInState->setText(Tx("StateNotSignedIn", "Not signed in yet."));
}

} // namespace vm
