#pragma once
// The secrets of an account and the desktop keyring that may hold them
// instead of the account block of the mailbox file.
//
// Every kind of secret an account keeps is one row of SecretKinds()
// (model/MailAccount.h): the POP3 password, the SMTP password and the
// OAuth 2.0 refresh token. Each row follows the PasswordStorage setting on
// its own: it is written into the keyring as an item of its own, left out of
// the account block, listed in the block's keyring marker, moved by a switch
// of the setting and removed with the account. A new credential is
// registered by adding its row to that table and an index here, and by
// writing its block field through MailAccount::BlockSecret.

#include <QByteArray>
#include <QString>

#include <optional>
#include <stdexcept>

#include "core/Errors.h"

namespace vm {

class MailAccount;

struct SecretKind
{
    // Names the secret in the keyring item's attributes and in the mailbox
    // file's keyring marker; never changes once files exist.
    const char* id;
    // Shown in the item's label: "Velmora: Work mail (POP3)".
    const char* tag;
    // The account's value of this secret, held in memory.
    QByteArray& (*value)(MailAccount&);
};

// Indexes of the rows of SecretKinds() (declared with MailAccount, whose
// accessors the rows name).
enum SecretIndex : int { kPop3Secret = 0, kSmtpSecret = 1, kOAuthSecret = 2 };

// The keyring could not do what was asked: not there, locked, too slow, or
// it refused. The message names the keyring and says why.
class KeyringError : public std::runtime_error, public ReportableError
{
public:
    explicit KeyringError(const QString& message);
    QString ReportClassName() const override { return QStringLiteral("KeyringError"); }
    QString ReportMessage() const override { return message_; }

private:
    QString message_;
};

// Where an account's secrets go when they are kept in the keyring. An item
// is named by the account's keyring id (unique among the accounts of one
// data directory) and the secret's kind id; the vault adds what ties it to
// the data directory. Every operation throws KeyringError.
class SecretVault
{
public:
    virtual ~SecretVault() = default;
    // The secret; none when the keyring holds no such item.
    virtual std::optional<QByteArray> Read(const QString& accountId, const QByteArray& kind) = 0;
    // Creates or replaces the item.
    virtual void Write(const QString& accountId, const QByteArray& kind, const QString& label,
                       const QByteArray& secret) = 0;
    // Removes the item; an item that is not there is no error.
    virtual void Remove(const QString& accountId, const QByteArray& kind) = 0;
};

// The vault secrets are read from and written to: the one installed at
// start, else one that fails every operation with a KeyringError.
SecretVault& InstalledSecretVault();
// Installs vault (not owned); nullptr installs the failing one again.
void InstallSecretVault(SecretVault* vault);

} // namespace vm
