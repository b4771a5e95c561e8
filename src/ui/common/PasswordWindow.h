#pragma once
// The password prompt: asks for the password of one account when none is
// stored or remembered. POP3 allows an empty password, SMTP does not. The
// protocol clients reach it through vm::PasswordPrompt (GuiPasswordPrompt
// below); they never see the window.

#include "net/PasswordPrompt.h"
#include "ui/common/TranslatedWindow.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vm {


class PasswordWindow : public vm::TranslatedWindow
{
    Q_OBJECT
public:
    explicit PasswordWindow(QWidget* parent = nullptr);

    // What the caller stores in the window before showing it: the account's
    // display name and whether an empty password may be accepted.
    QString accountName;
    bool allowEmptyPassword = true;
    // Why a stored password could not be used (shown above the prompt when
    // not empty).
    QString note;

    QString Password() const;
    bool Memorize() const;

    QLabel* LNote;
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


// The prompt of the windowed program: shows PasswordWindow modally.
class GuiPasswordPrompt : public PasswordPrompt
{
public:
    PasswordAnswer Ask(const PasswordRequest& request) override;
};

// Installs a GuiPasswordPrompt as the program's password prompt.
void InstallGuiPasswordPrompt();

} // namespace vm
