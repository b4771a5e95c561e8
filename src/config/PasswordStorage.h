#pragma once
// Where the accounts' secrets are kept: in the account blocks of the mailbox
// files (the setting PasswordStorage 0, the default) or in the desktop
// keyring (1). DesktopKeyring is the program's keyring: items of the Secret
// Service tied to the data directory, with texts for its failures. The two
// moves switch every account from one place to the other so that at every
// moment each secret can be read from at least one of them.

#include <QString>
#include <QStringList>

#include <chrono>

#include "model/AccountSecrets.h"
#include "model/StorageOptions.h"
#include "platform/SecretServiceClient.h"

namespace vm {

class AccountsDirectory;
class MailAccount;

// The keyring of one data directory. Items carry the attributes
// application "velmora", data-directory (the directory's canonical path),
// account (the account's keyring id) and secret (the kind id), so two data
// directories never share an item.
class DesktopKeyring : public SecretVault
{
public:
    // After the keyring stayed locked or did not answer, further calls fail
    // at once for holdAfterFailure, so a check of many accounts does not
    // wait (or ask) once per account.
    DesktopKeyring(const QString& dataDir, SecretServiceLimits limits,
                   std::chrono::milliseconds holdAfterFailure = std::chrono::seconds(30));

    std::optional<QByteArray> Read(const QString& accountId, const QByteArray& kind) override;
    void Write(const QString& accountId, const QByteArray& kind, const QString& label,
               const QByteArray& secret) override;
    // An empty kind removes every item of the account.
    void Remove(const QString& accountId, const QByteArray& kind) override;

    // The text of a failure of the Secret Service, naming the keyring.
    static QString ErrorText(const SecretServiceError& e, const SecretServiceLimits& limits);

private:
    SecretAttributes Attributes(const QString& accountId, const QByteArray& kind) const;
    template <typename F> auto Call(F&& f);

    QString dataDir_;
    SecretServiceClient client_;
    std::chrono::milliseconds hold_;
    std::chrono::steady_clock::time_point heldUntil_{};
    QString heldText_;
};

// Installs a DesktopKeyring for the data directory in use as the program's
// vault. The command line waits less for an unlock prompt than a window.
void InstallDesktopKeyring(bool commandLine);

// The vault mailbox files are written with under the setting: the installed
// one for PasswordStorage 1, none for 0.
SecretVault* KeyringForSaving();

struct PasswordMoveResult
{
    // False: nothing changed (error says why); every secret is where it was.
    bool moved = false;
    QString error;
    // The secrets are in their new place, but these accounts' files still
    // hold (or name) them in the old one until they are written again:
    // "account: reason" each.
    QStringList filesLeft;
    // Moved out of the keyring, but these accounts' items could not be
    // removed from it: "account: reason" each.
    QStringList copiesLeft;
};

// Writes every stored secret of every account into vault, then rewrites the
// mailbox files without them (options with keyring set to vault). When a
// secret cannot be written, the items written by this move are removed
// again and no file is touched.
PasswordMoveResult MovePasswordsToKeyring(AccountsDirectory& accounts, SecretVault& vault,
                                          MailboxSaveOptions options);
// Reads every secret the keyring holds for the accounts, rewrites their
// mailbox files with the secrets in the account blocks (options without a
// keyring), and only then removes the keyring items of each file written.
// When the keyring cannot be read, nothing changes.
PasswordMoveResult MovePasswordsToFiles(AccountsDirectory& accounts, SecretVault& vault,
                                        MailboxSaveOptions options);

// The report of a move for a message box or standard error: empty when it
// moved without a rest.
QString PasswordMoveReport(const PasswordMoveResult& result, bool toKeyring);

// Removes the keyring items of an account that is being removed. Returns
// the text of a failure (the items stay), else an empty text.
QString RemoveAccountKeyringItems(MailAccount& account);

} // namespace vm
