#pragma once
// The account window: one account's POP3 settings, what the main window's
// Client button does for it and how its messages are sent. "SMTP setup..."
// opens the SMTP window, whose values reach the account only when this
// window is confirmed.

#include "ui/accounts/SmtpWindow.h"
#include "ui/common/TranslatedWindow.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QWidget;

namespace vm {

class MailAccount;
class OAuthSettingsBox;


class AccountWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    explicit AccountWindow(QWidget* parent = nullptr);
    ~AccountWindow() override;

    // Shows the window modally for the account. True (OK) when the account
    // was updated; false (Cancel) leaves it unchanged.
    bool Edit(MailAccount& account);

    // Fills the controls from the account and loads the SMTP window from it
    // (the first step of Edit, available to tests that drive the window
    // without showing it modally).
    void LoadAccount(MailAccount& account);

    // The checks and the saving of OK; closes the window when they pass.
    // Returns true when the account was written.
    bool BOKClick();

    SmtpWindow* ActiveSmtpWindow() const { return smtp_; }

    QTabWidget* PGC = nullptr;
    QWidget* TSBasic = nullptr;
    QWidget* TSAdvanced = nullptr;
    QGroupBox* GBServer = nullptr;
    QLineEdit* ELogin = nullptr;
    QLineEdit* EPassword = nullptr;
    QLineEdit* EServer = nullptr;
    QComboBox* EPort = nullptr;
    QLineEdit* EFriendly = nullptr;
    QCheckBox* CBAutoCheck = nullptr;
    QLabel* LPortHint = nullptr;
    QGroupBox* GBConnection = nullptr;
    QCheckBox* CBAPOP = nullptr;
    QCheckBox* CBSSL = nullptr;
    QComboBox* CBSSLVersion = nullptr;
    QLabel* LTLSInUse = nullptr; // what the connection really uses
    QLabel* LConnectionHint = nullptr;
    // Password or OAuth 2.0 sign-in (GBSignIn), on a page of its own.
    QWidget* TSSignIn = nullptr;
    OAuthSettingsBox* GBSignIn = nullptr;
    QGroupBox* GBExternalClient = nullptr;
    QRadioButton* RBSystemApplication = nullptr;
    QRadioButton* RBWebMail = nullptr;
    QLineEdit* EWebMail = nullptr;
    QGroupBox* GBSending = nullptr;
    QPushButton* BSMTP = nullptr;
    QRadioButton* RBSendViaDefaultClient = nullptr;
    QRadioButton* RBSendViaVL = nullptr;
    QPushButton* BOK = nullptr;
    QPushButton* BCancel = nullptr;

private:
    void CBSSLClick();
    SmtpWindow* smtp_ = nullptr;
    MailAccount* account_ = nullptr;
};

} // namespace vm
