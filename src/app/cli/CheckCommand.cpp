#include "app/cli/CheckCommand.h"

#include <QTimer>

#include <csignal>
#include <cstdio>

#include "config/PasswordStorage.h"
#include "config/Settings.h"
#include "config/StorageSettings.h"
#include "core/Messages.h"
#include "core/AppInfo.h"
#include "core/TerminalText.h"
#include "lang/Lang.h"
#include "lang/LangStartup.h"
#include "mime/MessageRecord.h"
#include "model/MailStartup.h"
#include "model/MailboxKey.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/Mailbox.h"
#include "oauth/AccountTokens.h"
#include "net/PasswordPrompt.h"
#include "ops/AccountSelection.h"
#include "ops/CheckAccount.h"
#include "ops/ErrorList.h"
#include "ops/OperationReport.h"
#include "platform/SingleInstance.h"
#include "pop3/Pop3Client.h"

namespace vm {
namespace cli {

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int)
{
    g_stop = 1;
}

// Nothing can be asked without a display: every prompt is cancelled.
class NoPrompt : public PasswordPrompt
{
public:
    PasswordAnswer Ask(const PasswordRequest&) override { return {}; }
};

} // namespace

void Out(const QString& line)
{
    const QByteArray bytes = TerminalSafeText(line).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void Err(const QString& line)
{
    const QByteArray bytes = "velmora: " + TerminalSafeText(line).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

QString DisplayName(const MailAccount& account)
{
    return QString::fromUtf8(account.DisplayName());
}

bool LoadBasics()
{
    AppInfo& app = AppInfo::Instance();
    QString fatal = DiscoverLanguageFiles(app.ProgramDir());
    if (fatal.isEmpty()) {
        AppSettings().Load(app.SettingsFilePath());
        fatal = ChooseAndLoadLanguage(app.ProgramDir(), AppSettings().LanguageFile);
    }
    if (!fatal.isEmpty()) {
        Err(fatal);
        return false;
    }
    WarnIfStorageOpenToOthers(app.ProgramDir(), MailboxDirectoryFromSettings());
    BuildMailboxKey();
    InstallDesktopKeyring(true);
    return true;
}

void LoadMailboxes()
{
    MailboxLoadReports reports;
    reports.incomplete = [](const QString& file) {
        ShowWarning(TextOr("COMMONS", "IncompleteMailbox",
                           "File %s has partially invalid structure.", {file}));
    };
    reports.invalid = [](const QString& file) {
        ShowError(TextOr("COMMONS", "InvalidMailboxError",
                         "File %s has invalid structure and cannot be loaded.", {file}));
    };
    reports.unreadable = [](const QString& file, const QString& message) {
        ShowError(TextOr("COMMONS", "MailboxAccessError",
                         "Fatal error occured while trying to read file %s - %s.",
                         {file, message}));
    };
    LoadMailboxesAtStart(Accounts(), MailboxDirectoryFromSettings(),
                         LoadOptionsFromSettings(), reports);
}

bool LockDataDirectory(std::unique_ptr<SingleInstance>& holder)
{
    holder = std::make_unique<SingleInstance>(AppInfo::Instance().ProgramDir());
    if (holder->TryAcquire())
        return true;
    holder.reset();
    Err(QStringLiteral("a Velmora window is running on the data directory %1; close it first "
                       "(the window would overwrite the mailbox files this command writes)")
            .arg(AppInfo::Instance().ProgramDir()));
    return false;
}

bool OpenDataForWriting(std::unique_ptr<SingleInstance>& holder)
{
    if (!LoadBasics() || !LockDataDirectory(holder))
        return false;
    LoadMailboxes();
    return true;
}

bool RefuseOptions(const char* command, const QStringList& args)
{
    for (const QString& a : args)
        if (a.startsWith(QLatin1String("--"))) {
            Err(QStringLiteral("unknown option for %1: %2").arg(QLatin1String(command), a));
            return false;
        }
    return true;
}

MailAccount* FindAccount(const QString& name)
{
    AccountsDirectory& dir = Accounts();
    MailAccount* found = nullptr;
    int matches = 0;
    for (int i = 0; i < dir.Count(); ++i) {
        MailAccount* a = dir.At(i);
        if (a && DisplayName(*a) == name) {
            if (!found)
                found = a;
            ++matches;
        }
    }
    if (matches == 0)
        Err(QStringLiteral("unknown account: %1").arg(name));
    else if (matches > 1)
        Err(QStringLiteral("%1 accounts are named %2; rename one in the account window")
                .arg(matches)
                .arg(name));
    return matches == 1 ? found : nullptr;
}

MailAccount* LoadAccount(const QString& accountName, int& exitCode)
{
    exitCode = kExitFailed;
    if (!LoadBasics())
        return nullptr;
    LoadMailboxes();
    exitCode = kExitUsage;
    return FindAccount(accountName);
}

MessageRecord* FindMessage(MailAccount& account, const QString& uidl)
{
    MessageRecord* m = account.Box().FindByUIDL(uidl.toUtf8());
    if (!m)
        Err(QStringLiteral("account %1 holds no message with the UIDL %2")
                .arg(DisplayName(account), uidl));
    return m;
}

MessageRecord* LoadHeldMessage(const QString& accountName, const QString& uidl, int& exitCode)
{
    MailAccount* account = LoadAccount(accountName, exitCode);
    MessageRecord* m = account ? FindMessage(*account, uidl) : nullptr;
    if (m && m->HoldingState() == MessageRecord::Holding::UidlOnly) {
        Err(QStringLiteral("only the UIDL of this message is held, not its header or body; "
                           "fetch it with --fetch"));
        exitCode = kExitFailed;
        return nullptr;
    }
    return m;
}

bool WholeMessageHeld(const MessageRecord& message)
{
    if (message.HoldingState() == MessageRecord::Holding::Whole)
        return true;
    Err(QStringLiteral("the body of this message is not held; fetch it with --fetch"));
    return false;
}

bool PasswordKnown(const MailAccount& account)
{
    if (account.UsesOAuth())
        return account.SecretStored(kOAuthSecret);
    return account.SecretStored(kPop3Secret) || account.SessionPasswordValid();
}

bool ReadKeyringPasswords(const QList<MailAccount*>& accounts, int kind)
{
    for (MailAccount* a : accounts) {
        // An OAuth 2.0 account logs in to both servers with its refresh
        // token's access tokens.
        const int k = a->UsesOAuth() ? int(kOAuthSecret) : kind;
        if (!a->KeyringUnread(k))
            continue;
        QString problem;
        if (k == kOAuthSecret)
            a->RefreshTokenWithoutPrompt(&problem);
        else if (k == kSmtpSecret)
            a->SmtpPasswordWithoutPrompt(&problem);
        else
            a->Pop3PasswordWithoutPrompt(&problem);
        if (!problem.isEmpty()) {
            Err(QStringLiteral("account %1: %2").arg(DisplayName(*a), problem));
            return false;
        }
    }
    return true;
}

QString NoPasswordText(const MailAccount& account)
{
    if (account.UsesOAuth())
        return NotSignedInText(account);
    return QStringLiteral("account %1 has no stored password, and without a display it cannot "
                          "be asked for; store one with the account window or "
                          "--add-account ... --password-stdin")
        .arg(DisplayName(account));
}

bool SaveAccount(MailAccount& account)
{
    try {
        account.SaveToFile(SaveOptionsFromSettings());
        return true;
    } catch (const std::exception& e) {
        Err(QStringLiteral("cannot save the mailbox file of account %1: %2 %3")
                .arg(DisplayName(account), ErrorClassName(e), ErrorMessage(e)));
        return false;
    }
}

void PrepareNetworkCommand()
{
    static NoPrompt prompt;
    SetPasswordPrompter(&prompt);
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    // The wait of every operation runs an event loop on this thread: look
    // for a stop request there and turn it into the client's interrupt.
    static QTimer* watch = nullptr;
    if (!watch) {
        watch = new QTimer;
        watch->setInterval(100);
        QObject::connect(watch, &QTimer::timeout, [] {
            if (g_stop)
                SharedPop3Client().RequestInterrupt();
        });
        watch->start();
    }
}

bool StopRequested()
{
    return g_stop != 0;
}

} // namespace cli

int RunCheckCommand(const QStringList& args)
{
    using namespace cli;
    if (!RefuseOptions("--check", args))
        return kExitUsage;
    std::unique_ptr<SingleInstance> lock;
    if (!OpenDataForWriting(lock))
        return kExitFailed;

    QList<MailAccount*> accounts;
    if (args.isEmpty()) {
        accounts = AccountsToCheck(Accounts(), CheckKind::Automatic);
        for (int i = 0; i < Accounts().Count(); ++i) {
            MailAccount* a = Accounts().At(i);
            if (a && a->AutoCheck() && !accounts.contains(a))
                Err(QStringLiteral("skipped: %1").arg(NoPasswordText(*a)));
        }
    } else {
        for (const QString& name : args) {
            MailAccount* a = FindAccount(name);
            if (!a)
                return kExitUsage;
            if (!accounts.contains(a))
                accounts.append(a);
        }
    }

    // Nothing is checked (and no file written) when the keyring cannot give
    // a password it holds.
    if (!ReadKeyringPasswords(accounts, kPop3Secret))
        return kExitFailed;

    PrepareNetworkCommand();
    ClearErrorList();
    bool allCompleted = true;
    QList<MailAccount*> visited;
    QStringList lines;
    const CheckCommandSummary summary = RunCheckCommand(
        accounts,
        [&](MailAccount& account) {
            visited.append(&account);
            if (!PasswordKnown(account)) {
                AppendErrorLine(ErrorLine(DisplayName(account), QStringLiteral("EPasswordNeeded"),
                                          NoPasswordText(account)));
                lines.append(DisplayName(account) + QStringLiteral("\t0"));
                return AccountCheckResult{};
            }
            const CheckAccountResult r = CheckAccount(account);
            lines.append(DisplayName(account) + '\t' + QString::number(r.added));
            return AccountCheckResult{r.completed, r.changed};
        },
        [] { return SharedPop3Client().InterruptRequested() || StopRequested(); });
    allCompleted = summary.allCompleted;

    // What was fetched is kept, also after a failure or an interrupt.
    for (MailAccount* a : visited)
        if (!SaveAccount(*a))
            allCompleted = false;
    for (const QString& l : lines)
        Out(l);
    ReportOperation(OperationKind::MailCheck, summary.interrupted, !summary.allCompleted);
    return allCompleted && !summary.interrupted ? kExitOk : kExitFailed;
}

} // namespace vm
