#pragma once
// The password prompt: asks for the password of one account when none is
// stored or remembered. POP3 allows an empty password, SMTP does not. The
// protocol clients reach it through vm::PasswordPrompt (GuiPasswordPrompt
// below); they never see the window.

#include "net/PasswordPrompt.h"
#include "ui/common/TBaseForm.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TLoginWnd : public vm::TBaseForm
{
    Q_OBJECT
public:
    explicit TLoginWnd(QWidget* parent = nullptr);

    // What the caller stores in the window before showing it: the account's
    // display name and whether an empty password may be accepted.
    QString accountName;
    bool allowEmptyPassword = true;

    QString Password() const;
    bool Memorize() const;

    QLabel* LPrompt;
    QLineEdit* EPassword;
    QCheckBox* CBMemorize;
    QPushButton* BLogin;
    QPushButton* BCancel;

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void UpdateEnabling();
};

namespace vm {

// The prompt of the windowed program: shows TLoginWnd modally.
class GuiPasswordPrompt : public PasswordPrompt
{
public:
    PasswordAnswer Ask(const PasswordRequest& request) override;
};

// Installs a GuiPasswordPrompt as the program's password prompt.
void InstallGuiPasswordPrompt();

} // namespace vm
