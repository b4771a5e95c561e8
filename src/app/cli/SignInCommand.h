#pragma once
// "velmora --sign-in ACCOUNT" and the browser step that --add-account
// --oauth2 shares with it: the address is printed on standard error and
// opened in the desktop's browser; the command waits for the provider's
// answer (Ctrl+C cancels) and stores the tokens with the account.

#include <QStringList>

namespace vm {

class MailAccount;

int RunSignInCommand(const QStringList& args);

namespace cli {

// Runs the browser step for account (whose OAuth settings are complete) and
// stores the tokens in it. 0 when signed in; 1 when the user cancelled or
// the provider refused (the reason printed).
int SignInWithBrowser(MailAccount& account);

} // namespace cli
} // namespace vm
