#include "ui/common/PasswordWindow.h"

#include "core/Messages.h"
#include "lang/Lang.h"
#include "net/Credentials.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vm {

namespace {

QString PromptText(const QString& name)
{
    QString text = vm::LangFormat(QStringLiteral("LOGINWND"), QStringLiteral("Prompt"), {name});
    if (text.isEmpty())
        text = QStringLiteral("Account <%1>\n- enter user's password:").arg(name);
    return text;
}

} // namespace

PasswordWindow::PasswordWindow(QWidget* parent) : vm::TranslatedWindow(parent)
{
    setObjectName(QStringLiteral("LoginWnd"));
    setWindowTitle(QStringLiteral("Password needed"));
    LNote = new QLabel(this);
    LNote->setObjectName(QStringLiteral("LNote"));
    LNote->setWordWrap(true);
    LNote->hide();
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
    layout->addWidget(LNote);
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

QString PasswordWindow::Password() const
{
    return EPassword->text();
}

bool PasswordWindow::Memorize() const
{
    return CBMemorize->isChecked();
}

void PasswordWindow::UpdateEnabling()
{
    BLogin->setEnabled(allowEmptyPassword || !EPassword->text().isEmpty());
}

void PasswordWindow::showEvent(QShowEvent* event)
{
    LNote->setText(note);
    LNote->setVisible(!note.isEmpty());
    // A note wraps at a readable width instead of squeezing into the prompt's.
    LNote->setMinimumWidth(note.isEmpty() ? 0 : fontMetrics().averageCharWidth() * 45);
    LPrompt->setText(PromptText(accountName));
    EPassword->clear();
    CBMemorize->setChecked(false);
    UpdateEnabling();
    // The texts came after the window took its size: it fits them now.
    layout()->activate();
    adjustSize();
    vm::TranslatedWindow::showEvent(event);
    EPassword->setFocus();
}

void PasswordWindow::done(int result)
{
    if (result == QDialog::Accepted && !BLogin->isEnabled())
        return;
    if (result == QDialog::Accepted && !IsSendableCredential(EPassword->text())) {
        // A line break or NUL would end the PASS or AUTH line early.
        ShowError(UnsendableCredentialText());
        EPassword->setFocus();
        return;
    }
    accountName.clear(); // the window forgets the account either way
    note.clear();
    vm::TranslatedWindow::done(result);
}


PasswordAnswer GuiPasswordPrompt::Ask(const PasswordRequest& request)
{
    PasswordWindow wnd(TranslatedWindow::CurrentModalWindow());
    wnd.accountName = request.displayName;
    wnd.allowEmptyPassword = request.allowEmpty;
    wnd.note = request.note;
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
