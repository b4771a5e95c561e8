#pragma once
// The SMTP settings of one account, opened from the account window's
// "SMTP setup..." button. Its values stay in the window until the account
// window is confirmed; Cancel (or closing the window any other way) puts
// back the values the window had when it was opened.

#include <QString>

#include "ui/common/TranslatedWindow.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;
namespace vm { class MailAccount; }

namespace vm {

class SmtpWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    explicit SmtpWindow(QWidget* parent = nullptr);

    // Fills every control from the account.
    void LoadFromAccount(const MailAccount& account);
    // Writes the window's values into the account. The port is checked
    // first; when it is not an integer in 0..65535 nothing is written and
    // the result is false.
    bool WriteToAccount(MailAccount& account) const;
    // The check the account window makes before saving an account that
    // sends through this program: a login unless no authorization is
    // required, a server, a port and a From address.
    bool MeetsSendingRequirements() const;

    // The name the caption shows ("SMTP settings for %s"); empty gives the
    // plain caption. Set by the account window before showing.
    QString accountName;

    // Checks the port and closes with OK (the window's OK button).
    void BOKClick();

    QTabWidget* PGC = nullptr;
    QWidget* TSAccount = nullptr;
    QGroupBox* GBServer = nullptr;
    QLineEdit* ELogin = nullptr;
    QLineEdit* EPassword = nullptr;
    QLineEdit* EFromAddress = nullptr;
    QLineEdit* EReplyToAddress = nullptr;
    QLineEdit* EName = nullptr;
    QGroupBox* GBServerAndConnection = nullptr;
    QLineEdit* EServer = nullptr;
    QComboBox* EPort = nullptr;
    QLabel* LPortHint = nullptr;
    QCheckBox* CBServerRequiresAuth = nullptr;
    QComboBox* CBRequireSSL = nullptr;
    QLabel* LTLSInUse = nullptr; // what the connection really uses
    QComboBox* CBSSLVersion = nullptr;
    QLabel* LSecurityHint = nullptr;
    QPushButton* BOK = nullptr;
    QPushButton* BCancel = nullptr;

    // The values of the controls, as the snapshot keeps them.
    struct Values
    {
        QString login, password, from, replyTo, name, server, port;
        bool auth = false;
        int tls = 0;
        int ssl = 0;
    };
    Values Capture() const;
    void Apply(const Values& v);

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ApplySslRule();
    Values snapshot_;
};

} // namespace vm
