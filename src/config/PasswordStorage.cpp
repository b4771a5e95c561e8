#include "config/PasswordStorage.h"

#include <QFileInfo>

#include <memory>

#include "config/Settings.h"
#include "core/AppInfo.h"
#include "core/Errors.h"
#include "lang/Lang.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"

namespace vm {

namespace {

QString Commons(const char* key, const char* english, const QStringList& args = {})
{
    return TextOr("COMMONS", key, english, args);
}

QString Name(const MailAccount& account)
{
    return QString::fromUtf8(account.DisplayName());
}

} // namespace

DesktopKeyring::DesktopKeyring(const QString& dataDir, SecretServiceLimits limits,
                               std::chrono::milliseconds holdAfterFailure)
    : client_(QStringLiteral("org.velmora.Velmora.Password"), limits), hold_(holdAfterFailure)
{
    const QString canonical = QFileInfo(dataDir).canonicalFilePath();
    dataDir_ = canonical.isEmpty() ? QFileInfo(dataDir).absoluteFilePath() : canonical;
    while (dataDir_.size() > 1 && dataDir_.endsWith(QLatin1Char('/')))
        dataDir_.chop(1);
}

QString DesktopKeyring::ErrorText(const SecretServiceError& e, const SecretServiceLimits& limits)
{
    using Kind = SecretServiceError::Kind;
    switch (e.kind) {
    case Kind::Unreachable:
        return Commons("KeyringUnavailable",
                       "The desktop keyring (Secret Service) cannot be reached: %s",
                       {e.detail.isEmpty() ? QStringLiteral("-") : e.detail});
    case Kind::Locked:
        return Commons("KeyringLocked", "The desktop keyring is locked and was not unlocked.");
    case Kind::TimedOut:
        return Commons("KeyringTimedOut", "The desktop keyring did not answer within %s seconds.",
                       {QString::number((limits.replyMs + 999) / 1000)});
    case Kind::Failed:
        break;
    }
    return Commons("KeyringFailed", "The desktop keyring refused: %s",
                   {e.detail.isEmpty() ? QStringLiteral("-") : e.detail});
}

SecretAttributes DesktopKeyring::Attributes(const QString& accountId, const QByteArray& kind) const
{
    SecretAttributes a{{QStringLiteral("application"), QStringLiteral("velmora")},
                       {QStringLiteral("data-directory"), dataDir_},
                       {QStringLiteral("account"), accountId}};
    if (!kind.isEmpty())
        a.append({QStringLiteral("secret"), QString::fromUtf8(kind)});
    return a;
}

template <typename F> auto DesktopKeyring::Call(F&& f)
{
    const auto now = std::chrono::steady_clock::now();
    if (now < heldUntil_)
        throw KeyringError(heldText_);
    try {
        return f();
    } catch (const SecretServiceError& e) {
        const QString text = ErrorText(e, client_.Limits());
        using Kind = SecretServiceError::Kind;
        if (e.kind == Kind::Locked || e.kind == Kind::TimedOut) {
            heldUntil_ = std::chrono::steady_clock::now() + hold_;
            heldText_ = text;
        }
        throw KeyringError(text);
    }
}

std::optional<QByteArray> DesktopKeyring::Read(const QString& accountId, const QByteArray& kind)
{
    return Call([&] { return client_.Lookup(Attributes(accountId, kind)); });
}

void DesktopKeyring::Write(const QString& accountId, const QByteArray& kind, const QString& label,
                           const QByteArray& secret)
{
    Call([&] { client_.Store(Attributes(accountId, kind), label, secret); });
}

void DesktopKeyring::Remove(const QString& accountId, const QByteArray& kind)
{
    Call([&] { client_.Clear(Attributes(accountId, kind)); });
}

void InstallDesktopKeyring(bool commandLine)
{
    static std::unique_ptr<DesktopKeyring> keyring;
    SecretServiceLimits limits;
    limits.replyMs = 5000;
    // A window's user may need a while to type the keyring's password; a
    // command is to fail within seconds.
    limits.promptMs = commandLine ? 15000 : 120000;
    keyring = std::make_unique<DesktopKeyring>(AppInfo::Instance().ProgramDir(), limits);
    InstallSecretVault(keyring.get());
}

SecretVault* KeyringForSaving()
{
    return AppSettings().PasswordStorage == 1 ? &InstalledSecretVault() : nullptr;
}

PasswordMoveResult MovePasswordsToKeyring(AccountsDirectory& accounts, SecretVault& vault,
                                          MailboxSaveOptions options)
{
    PasswordMoveResult result;
    // Accounts whose items this move creates, to be removed again when the
    // move fails half way.
    QList<MailAccount*> fresh;
    for (int i = 0; i < accounts.Count(); ++i) {
        MailAccount* a = accounts.At(i);
        bool held = !a->KeyringId().isEmpty();
        const QString file = a->MailboxFileName().isEmpty()
                                 ? MailAccount::NewFileName(a->Login(), accounts.MailboxDirectory())
                                 : a->MailboxFileName();
        try {
            if (!held)
                fresh.append(a);
            a->KeepSecretsInKeyring(vault, file);
        } catch (const KeyringError& e) {
            for (MailAccount* f : fresh) {
                try {
                    f->RemoveKeyringSecrets(vault);
                } catch (const KeyringError&) {
                    // The file still holds the secret; the copy is left over.
                }
            }
            result.error = e.ReportMessage();
            return result;
        }
    }
    result.moved = true;
    options.keyring = &vault;
    for (int i = 0; i < accounts.Count(); ++i) {
        MailAccount* a = accounts.At(i);
        try {
            a->SaveToFile(options);
        } catch (const std::exception& e) {
            result.filesLeft.append(Name(*a) + QStringLiteral(": ") + ErrorMessage(e));
        }
    }
    return result;
}

PasswordMoveResult MovePasswordsToFiles(AccountsDirectory& accounts, SecretVault& vault,
                                        MailboxSaveOptions options)
{
    PasswordMoveResult result;
    for (int i = 0; i < accounts.Count(); ++i) {
        try {
            // An item that is gone cannot be moved; the account goes on
            // without that stored password.
            accounts.At(i)->ReadKeyringSecrets(vault);
        } catch (const KeyringError& e) {
            result.error = e.ReportMessage();
            return result;
        }
    }
    result.moved = true;
    options.keyring = nullptr;
    for (int i = 0; i < accounts.Count(); ++i) {
        MailAccount* a = accounts.At(i);
        if (a->KeyringId().isEmpty())
            continue;
        try {
            a->SaveToFile(options);
        } catch (const std::exception& e) {
            // The keyring keeps its items: the file still names them.
            result.filesLeft.append(Name(*a) + QStringLiteral(": ") + ErrorMessage(e));
            continue;
        }
        try {
            a->RemoveKeyringSecrets(vault);
        } catch (const KeyringError& e) {
            result.copiesLeft.append(Name(*a) + QStringLiteral(": ") + e.ReportMessage());
        }
    }
    return result;
}

QString PasswordMoveReport(const PasswordMoveResult& result, bool toKeyring)
{
    if (!result.moved)
        return toKeyring ? Commons("KeyringMoveInFailed",
                                   "The passwords could not be moved into the desktop keyring: "
                                   "%s||Nothing was changed.",
                                   {result.error})
                         : Commons("KeyringMoveOutFailed",
                                   "The passwords could not be moved out of the desktop keyring: "
                                   "%s||Nothing was changed.",
                                   {result.error});
    QStringList parts;
    if (!result.filesLeft.isEmpty())
        parts.append(Commons("KeyringFilesLeft",
                             "These mailbox files could not be written now and keep their "
                             "passwords where they were until they are saved again: %s",
                             {result.filesLeft.join(QStringLiteral("; "))}));
    if (!result.copiesLeft.isEmpty())
        parts.append(Commons("KeyringCopiesLeft",
                             "The desktop keyring still holds copies of the passwords of these "
                             "accounts; remove them with the keyring's manager: %s",
                             {result.copiesLeft.join(QStringLiteral("; "))}));
    return parts.join(QStringLiteral("\n"));
}

QString RemoveAccountKeyringItems(MailAccount& account)
{
    if (account.KeyringId().isEmpty())
        return QString();
    try {
        InstalledSecretVault().Remove(account.KeyringId(), QByteArray());
        return QString();
    } catch (const KeyringError& e) {
        return Commons("KeyringItemsLeft",
                       "The account %s was removed, but the desktop keyring still holds its "
                       "passwords: %s",
                       {Name(account), e.ReportMessage()});
    }
}

} // namespace vm
