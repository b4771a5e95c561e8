#include "ui/common/TLoginWnd.h"

#include "lang/Lang.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString PromptText(const QString& name)
{
    QString text = vm::LangFormat(QStringLiteral("LOGINWND"), QStringLiteral("Prompt"), {name});
    if (text.isEmpty())
        text = QStringLiteral("Account <%1>\n- enter user's password:").arg(name);
    return text;
}

} // namespace

TLoginWnd::TLoginWnd(QWidget* parent) : vm::TBaseForm(parent)
{
    setObjectName(QStringLiteral("LoginWnd"));
    setWindowTitle(QStringLiteral("Password needed"));
    LPrompt = new QLabel(this);
    LPrompt->setObjectName(QStringLiteral("LPrompt"));
    EPassword = new QLineEdit(this);
    EPassword->setObjectName(QStringLiteral("EPassword"));
    EPassword->setEchoMode(QLineEdit::Password);
    CBMemorize = new QCheckBox(QStringLiteral("Remember until shutdown"), this);
    CBMemorize->setObjectName(QStringLiteral("CBMemorize"));
    BLogin = new QPushButton(QStringLiteral("Login"), this);
    BLogin->setObjectName(QStringLiteral("BLogin"));
    BLogin->setDefault(true); // Enter in the edit acts as BLogin when it is enabled
    BCancel = new QPushButton(QStringLiteral("Cancel"), this);
    BCancel->setObjectName(QStringLiteral("BCancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LPrompt);
    layout->addWidget(EPassword);
    layout->addWidget(CBMemorize);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BLogin);
    buttons->addWidget(BCancel);
    layout->addLayout(buttons);

    connect(EPassword, &QLineEdit::textChanged, this, [this] { UpdateEnabling(); });
    connect(BLogin, &QPushButton::clicked, this, [this] {
        if (BLogin->isEnabled())
            accept();
    });
    connect(BCancel, &QPushButton::clicked, this, &QDialog::reject); // Escape too
    vm::TranslateWindow(this);
}

QString TLoginWnd::Password() const
{
    return EPassword->text();
}

bool TLoginWnd::Memorize() const
{
    return CBMemorize->isChecked();
}

void TLoginWnd::UpdateEnabling()
{
    BLogin->setEnabled(allowEmptyPassword || !EPassword->text().isEmpty());
}

void TLoginWnd::showEvent(QShowEvent* event)
{
    LPrompt->setText(PromptText(accountName));
    EPassword->clear();
    CBMemorize->setChecked(false);
    UpdateEnabling();
    vm::TBaseForm::showEvent(event);
    EPassword->setFocus();
}

void TLoginWnd::done(int result)
{
    if (result == QDialog::Accepted && !BLogin->isEnabled())
        return;
    accountName.clear(); // the window forgets the account either way
    vm::TBaseForm::done(result);
}

namespace vm {

PasswordAnswer GuiPasswordPrompt::Ask(const PasswordRequest& request)
{
    TLoginWnd wnd(TBaseForm::CurrentModalWindow());
    wnd.accountName = request.displayName;
    wnd.allowEmptyPassword = request.allowEmpty;
    PasswordAnswer answer;
    answer.accepted = wnd.ShowModal() == QDialog::Accepted;
    if (answer.accepted) {
        answer.password = wnd.Password();
        answer.memorize = wnd.Memorize();
    }
    return answer;
}

void InstallGuiPasswordPrompt()
{
    static GuiPasswordPrompt prompt;
    SetPasswordPrompter(&prompt);
}

} // namespace vm
