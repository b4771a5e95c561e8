#include "ui/accounts/SignInWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Messages.h"
#include "lang/Lang.h"
#include "ui/common/FormParts.h"

namespace vm {

namespace {

int g_timeLimitMs = 5 * 60 * 1000;

QString Tx(const char* key)
{
    return LangText(QStringLiteral("SignInWnd"), QString::fromLatin1(key));
}

} // namespace

SignInWindow::SignInWindow(QWidget* parent) : TranslatedWindow(parent)
{
    setObjectName(QStringLiteral("SignInWnd"));
    setWindowTitle(QStringLiteral("Sign in"));
    setModal(true);
    setMinimumWidth(480);
    auto* v = new QVBoxLayout(this);
    LSignInHint = NamedLabel("LSignInHint",
                             QStringLiteral("Velmora has opened the provider's sign-in page in "
                                            "your browser. Sign in there and allow access to "
                                            "your mail; this window closes by itself."),
                             this);
    v->addWidget(LSignInHint);
    PBWaiting = new QProgressBar(this);
    PBWaiting->setObjectName(QStringLiteral("PBWaiting"));
    PBWaiting->setRange(0, 0); // busy: no end known
    PBWaiting->setTextVisible(false);
    v->addWidget(PBWaiting);
    LAddress = NamedLabel("LAddress",
                          QStringLiteral("If no browser opened, open this address in one:"),
                          this);
    v->addWidget(LAddress);
    auto* row = new QHBoxLayout;
    EAddress = NamedEdit("EAddress", this);
    EAddress->setReadOnly(true);
    BCopy = new QPushButton(QStringLiteral("Copy"), this);
    BCopy->setObjectName(QStringLiteral("BCopy"));
    row->addWidget(EAddress, 1);
    row->addWidget(BCopy);
    v->addLayout(row);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    BCancel = new QPushButton(QStringLiteral("Cancel"), this);
    BCancel->setObjectName(QStringLiteral("BCancel"));
    buttons->addWidget(BCancel);
    v->addLayout(buttons);

    flow_ = new SignInFlow(this);
    connect(BCopy, &QPushButton::clicked, this, [this] {
        QApplication::clipboard()->setText(EAddress->text());
        EAddress->selectAll();
    });
    connect(BCancel, &QPushButton::clicked, this, &SignInWindow::reject);
    connect(flow_, &SignInFlow::finished, this, [this](const SignInResult& result) {
        result_ = result;
        done(result.status == SignInResult::Status::SignedIn ? Accepted : Rejected);
    });
    TranslateWindow(this);
}

SignInWindow::~SignInWindow() = default;

std::optional<TokenReply> SignInWindow::Run(const SignInRequest& request)
{
    result_ = SignInResult();
    QString error;
    if (!flow_->Start(request, &error)) {
        ShowError(Tx("NoListener").isEmpty() ? error : Tx("NoListener") + QLatin1Char(' ') + error);
        return std::nullopt;
    }
    EAddress->setText(QString::fromLatin1(flow_->AuthorizationAddress().toEncoded()));
    EAddress->setCursorPosition(0);
    if (!flow_->BrowserOpened() && !Tx("NoBrowser").isEmpty())
        LSignInHint->setText(Tx("NoBrowser"));
    if (flow_->Running())
        ShowModal();
    // Closed by any other means than the flow's end: the sign-in is cancelled.
    flow_->Cancel();
    if (result_.status == SignInResult::Status::Failed)
        ShowError(result_.error);
    if (result_.status != SignInResult::Status::SignedIn)
        return std::nullopt;
    return result_.tokens;
}

void SignInWindow::SetTimeLimitMs(int ms)
{
    g_timeLimitMs = ms;
}

std::optional<TokenReply> SignInWindow::SignIn(QWidget* parent, const OAuthEndpoints& endpoints,
                                               const QByteArray& loginHint)
{
    SignInWindow window(parent);
    SignInRequest request;
    request.endpoints = endpoints;
    request.loginHint = loginHint;
    request.timeLimitMs = g_timeLimitMs;
    return window.Run(request);
}

} // namespace vm
