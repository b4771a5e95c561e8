#include "app/cli/AddAccountCommand.h"

#include <QHash>

#include <cstdio>
#include <memory>

#include "app/cli/CheckCommand.h"
#include "config/PasswordStorage.h"
#include "app/cli/SignInCommand.h"
#include "config/StorageSettings.h"
#include "core/Messages.h"
#include "model/AccountsDirectory.h"
#include "net/Credentials.h"
#include "oauth/OAuthProviders.h"
#include "oauth/OAuthText.h"
#include "ops/ErrorList.h"
#include "platform/SingleInstance.h"

namespace vm {

namespace {

using namespace cli;

// One line of standard input without its line end; false at the end.
bool ReadStdinLine(QByteArray& line)
{
    line.clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(stdin)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line.append(char(c));
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return any;
}

// A port as the account windows accept it: an integer 0..65535 after
// trimming (leading zeros allowed).
bool ParsePort(const QString& text, std::uint16_t& port)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    if (!ok || n < 0 || n > 65535)
        return false;
    port = std::uint16_t(n);
    return true;
}

bool ParseIndex(const QString& text, int max, std::uint8_t& value)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    if (!ok || n < 0 || n > max)
        return false;
    value = std::uint8_t(n);
    return true;
}

const QStringList kValueOptions{"--login",    "--server",      "--port",        "--ssl-version",
                                "--name",     "--smtp-server", "--smtp-port",   "--smtp-login",
                                "--smtp-tls", "--from",        "--sender-name", "--reply-to",
                                "--oauth2", "--oauth2-client-id", "--oauth2-client-secret",
                                "--oauth2-authorize-url", "--oauth2-token-url", "--oauth2-scope"};
const QStringList kFlagOptions{"--tls",
                               "--apop",
                               "--password-stdin",
                               "--no-autocheck",
                               "--smtp-auth",
                               "--smtp-password-stdin",
                               "--send-via-velmora"};

} // namespace

int RunAddAccountCommand(const QStringList& args)
{
    QHash<QString, QString> values;
    QStringList flags;
    QStringList stdinOrder;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (kValueOptions.contains(a)) {
            if (i + 1 >= args.size()) {
                Err(QStringLiteral("%1 needs a value").arg(a));
                return kExitUsage;
            }
            values.insert(a, args.at(++i));
        } else if (kFlagOptions.contains(a)) {
            flags.append(a);
            if (a.endsWith(QLatin1String("-stdin")))
                stdinOrder.append(a);
        } else {
            Err(QStringLiteral("unknown option for --add-account: %1").arg(a));
            return kExitUsage;
        }
    }
    const auto has = [&](const char* f) { return flags.contains(QLatin1String(f)); };
    const auto value = [&](const char* k) { return values.value(QLatin1String(k)); };

    // The account window's checks, in its order.
    const QByteArray login = value("--login").toUtf8();
    const QByteArray server = value("--server").trimmed().toUtf8();
    if (login.isEmpty() || server.isEmpty()) {
        Err(TextOr("AccountWnd", "POP3Requirements",
                   "You must enter at least POP3 user login and POP3 server name/address."));
        return kExitUsage;
    }
    std::uint16_t port = has("--tls") ? 995 : 110;
    if (values.contains(QStringLiteral("--port")) && !ParsePort(value("--port"), port)) {
        Err(TextOr("AccountWnd", "InvalidPOP3Port",
                   "POP3 port number is incorrect; it must be an integer in range from 0 to "
                   "65535 (110 by default)."));
        return kExitUsage;
    }
    std::uint8_t sslVersion = 0;
    if (values.contains(QStringLiteral("--ssl-version")) &&
        !ParseIndex(value("--ssl-version"), 3, sslVersion)) {
        Err(QStringLiteral("--ssl-version takes 0 (SSL 2.0), 1 (SSL 2.3), 2 (SSL 3.0) or 3 "
                           "(TLS/SSL 1.0)"));
        return kExitUsage;
    }
    std::uint16_t smtpPort = 25;
    if (values.contains(QStringLiteral("--smtp-port")) &&
        !ParsePort(value("--smtp-port"), smtpPort)) {
        Err(TextOr("SMTPWnd", "InvalidSMTPPort",
                   "SMTP port number is incorrect; it must be an integer in range from 0 to "
                   "65535 (25 by default)."));
        return kExitUsage;
    }
    std::uint8_t smtpTls = 0;
    if (values.contains(QStringLiteral("--smtp-tls")) &&
        !ParseIndex(value("--smtp-tls"), 2, smtpTls)) {
        Err(QStringLiteral("--smtp-tls takes 0 (never), 1 (when possible) or 2 (always)"));
        return kExitUsage;
    }
    // OAuth 2.0: the provider and, for a custom one, its addresses and scope.
    const bool oauth = values.contains(QStringLiteral("--oauth2"));
    OAuthSettings oauthSettings;
    if (oauth) {
        oauthSettings.provider = value("--oauth2").trimmed().toLower().toUtf8();
        oauthSettings.clientId = value("--oauth2-client-id").trimmed().toUtf8();
        oauthSettings.clientSecret = value("--oauth2-client-secret").trimmed().toUtf8();
        oauthSettings.authorizeUrl = value("--oauth2-authorize-url").trimmed().toUtf8();
        oauthSettings.tokenUrl = value("--oauth2-token-url").trimmed().toUtf8();
        oauthSettings.scope = value("--oauth2-scope").simplified().toUtf8();
        if (!IsKnownProvider(oauthSettings.provider)) {
            Err(QStringLiteral("--oauth2 takes microsoft, google or custom"));
            return kExitUsage;
        }
        const bool custom = oauthSettings.provider == kProviderCustom;
        if (custom && (oauthSettings.authorizeUrl.isEmpty() || oauthSettings.tokenUrl.isEmpty())) {
            Err(QStringLiteral("--oauth2 custom needs --oauth2-authorize-url URL and "
                               "--oauth2-token-url URL"));
            return kExitUsage;
        }
        if (!custom && (!oauthSettings.authorizeUrl.isEmpty() || !oauthSettings.tokenUrl.isEmpty() ||
                        !oauthSettings.scope.isEmpty())) {
            Err(QStringLiteral("--oauth2-authorize-url, --oauth2-token-url and --oauth2-scope "
                               "belong to --oauth2 custom"));
            return kExitUsage;
        }
        for (const char* option : {"--password-stdin", "--smtp-password-stdin", "--apop"})
            if (has(option)) {
                Err(QStringLiteral("%1 cannot be combined with --oauth2: the account signs in "
                                   "with its provider, without a password")
                        .arg(QLatin1String(option)));
                return kExitUsage;
            }
        QString problem;
        if (!ResolveOAuthEndpoints(oauthSettings, &problem)) {
            Err(problem);
            return kExitUsage;
        }
    } else {
        for (const char* option : {"--oauth2-client-id", "--oauth2-client-secret",
                                   "--oauth2-authorize-url", "--oauth2-token-url",
                                   "--oauth2-scope"})
            if (values.contains(QLatin1String(option))) {
                Err(QStringLiteral("%1 needs --oauth2 PROVIDER").arg(QLatin1String(option)));
                return kExitUsage;
            }
    }

    const QByteArray smtpLogin = value("--smtp-login").toUtf8();
    const QByteArray smtpServer = value("--smtp-server").trimmed().toUtf8();
    const QByteArray from = value("--from").trimmed().toUtf8();
    if (has("--send-via-velmora") && !((!smtpLogin.isEmpty() || !has("--smtp-auth")) &&
                                       !smtpServer.isEmpty() && !from.isEmpty())) {
        Err(TextOr("AccountWnd", "SMTPRequirements",
                   "If you want Velmora to send messages itself, you have to enter in SMTP setup "
                   "at least the following: server name or address, server port (25 by default) "
                   "and sender's e-mail address (\"from\"). If server requires authorization, "
                   "enter also user's login."));
        return kExitUsage;
    }

    // Passwords, one line each, in the order the options were given.
    QByteArray password;
    QByteArray smtpPassword;
    for (const QString& option : stdinOrder) {
        QByteArray line;
        if (!ReadStdinLine(line)) {
            Err(QStringLiteral("%1: no password line on standard input").arg(option));
            return kExitUsage;
        }
        (option == QLatin1String("--password-stdin") ? password : smtpPassword) = line;
    }
    // A line break or NUL would end the USER, PASS or AUTH line early.
    for (const QByteArray& credential : {login, password, smtpLogin, smtpPassword}) {
        if (!IsSendableCredential(credential)) {
            Err(UnsendableCredentialText());
            return kExitUsage;
        }
    }
    const bool autoCheck = !has("--no-autocheck");
    if (password.isEmpty() && autoCheck && !oauth)
        ShowWarning(TextOr("AccountWnd", "AutocheckRequirements",
                           "If the function of automatic mail checking is to be actually working, "
                           "you will have to enter account's password - at least for a current "
                           "VL's session."));

    std::unique_ptr<SingleInstance> lock;
    if (!OpenDataForWriting(lock))
        return kExitFailed;

    auto account = std::make_unique<MailAccount>(&Accounts());
    account->Login() = login;
    account->Password() = password;
    account->Server() = server;
    account->Pop3Port() = port;
    account->FriendlyName() = value("--name").trimmed().toUtf8();
    account->AutoCheck() = autoCheck;
    account->APOP() = has("--apop");
    account->Pop3TLS() = has("--tls");
    account->Pop3SSLVersion() = sslVersion;
    account->SmtpLogin() = smtpLogin;
    account->SmtpPassword() = smtpPassword;
    account->SmtpServer() = smtpServer;
    account->SmtpPort() = smtpPort;
    account->SmtpAuthentication() = has("--smtp-auth");
    account->SmtpTLSMode() = smtpTls;
    account->FromAddress() = from;
    account->ReplyToAddress() = value("--reply-to").trimmed().toUtf8();
    account->SenderName() = value("--sender-name").trimmed().toUtf8();
    account->SendViaThisProgram() = has("--send-via-velmora");
    if (oauth) {
        account->SignIn() = SignInMethod::OAuth2;
        account->OAuth() = oauthSettings;
    }

    // Commands name accounts by display name, so two of one name would make
    // both unreachable from the command line.
    const QString name = DisplayName(*account);
    for (int i = 0; i < Accounts().Count(); ++i)
        if (Accounts().At(i) && DisplayName(*Accounts().At(i)) == name) {
            Err(QStringLiteral("an account named %1 exists already; choose another --name")
                    .arg(name));
            return kExitUsage;
        }

    // The account is stored only once its tokens are.
    if (oauth) {
        const int rc = SignInWithBrowser(*account);
        if (rc != kExitOk)
            return rc;
    }

    MailAccount* added = account.release();
    Accounts().Add(added);
    try {
        added->SaveToFile(SaveOptionsFromSettings());
    } catch (const KeyringError& e) {
        // No file was written: the account does not exist. A password the
        // keyring took before it failed goes again.
        Err(e.ReportMessage());
        RemoveAccountKeyringItems(*added);
        return kExitFailed;
    } catch (const std::exception& e) {
        ShowWarning(TextOr("MAINWND", "ErrorSavingNewAccount",
                           "New account has been created and added to directory, but it was "
                           "impossible to save its storage file."));
        Err(ErrorMessage(e));
        return kExitFailed;
    }
    Out(name);
    return kExitOk;
}

} // namespace vm
