#include "app/cli/SignInCommand.h"

#include <memory>

#include "app/cli/CheckCommand.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "oauth/AccountTokens.h"
#include "oauth/OAuthText.h"
#include "oauth/SignInFlow.h"
#include "platform/SingleInstance.h"

namespace vm {
namespace cli {

int SignInWithBrowser(MailAccount& account)
{
    QString problem;
    const std::optional<OAuthEndpoints> endpoints =
        ResolveOAuthEndpoints(account.OAuth(), &problem);
    if (!endpoints) {
        Err(problem);
        return kExitFailed;
    }
    SignInRequest request;
    request.endpoints = *endpoints;
    request.loginHint = account.Login();
    PrepareNetworkCommand();
    const SignInResult result = RunSignIn(
        request,
        [](const QUrl& address, bool opened) {
            Err(opened ? OAuthText("CliOpened",
                                   "sign in with your provider in the browser that opened; if "
                                   "none did, open this address: %s",
                                   {QString::fromLatin1(address.toEncoded())})
                       : OAuthText("CliNoBrowser",
                                   "no browser could be started; open this address to sign in: "
                                   "%s",
                                   {QString::fromLatin1(address.toEncoded())}));
        },
        [] { return StopRequested(); });
    switch (result.status) {
    case SignInResult::Status::SignedIn:
        StoreSignIn(account, result.tokens);
        return kExitOk;
    case SignInResult::Status::Cancelled:
        Err(OAuthText("CliCancelled", "the sign-in was cancelled; nothing was stored"));
        return kExitFailed;
    case SignInResult::Status::Failed:
        break;
    }
    Err(result.error);
    return kExitFailed;
}

} // namespace cli

int RunSignInCommand(const QStringList& args)
{
    using namespace cli;
    if (!RefuseOptions("--sign-in", args))
        return kExitUsage;
    if (args.size() != 1) {
        Err(QStringLiteral("usage: velmora --sign-in ACCOUNT"));
        return kExitUsage;
    }
    std::unique_ptr<SingleInstance> lock;
    if (!OpenDataForWriting(lock))
        return kExitFailed;
    MailAccount* account = FindAccount(args.first());
    if (!account)
        return kExitUsage;
    if (!account->UsesOAuth()) {
        Err(OAuthText("NotOAuthAccount",
                      "account %s signs in with a password, not with OAuth 2.0",
                      {DisplayName(*account)}));
        return kExitUsage;
    }
    const int rc = SignInWithBrowser(*account);
    if (rc != kExitOk)
        return rc;
    return SaveAccount(*account) ? kExitOk : kExitFailed;
}

} // namespace vm
