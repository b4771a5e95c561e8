#include "app/MailClientButton.h"

#include <QDesktopServices>

#include "core/Messages.h"
#include "lang/Lang.h"
#include "model/MailAccount.h"
#include "platform/DefaultMailClient.h"

namespace vm {

namespace {

// The window's text, with its English form when no language is loaded.
QString MainWindowText(const char* key, const char* english, const QStringList& args = {})
{
    return TextOr("MAINWND", key, english, args);
}

} // namespace

void OpenAccountClient(const MailAccount* account, const MailClientLaunchers& launchers)
{
    if (!account)
        return;
    if (account->ClientKind() == 1) {
        const QString address = QString::fromUtf8(account->WebmailAddress()).trimmed();
        if (address.isEmpty())
            return;
        const QString url = WebmailUrl(address);
        const bool opened =
            !url.isEmpty() && (launchers.openUrl ? launchers.openUrl(QUrl(url))
                                                 : QDesktopServices::openUrl(QUrl(url)));
        if (!opened)
            ShowError(MainWindowText("ErrorLaunchingWebmail",
                                     "Could not start a web browser with given webmail site "
                                     "address (%s); check if the address is spelled properly.",
                                     {url.isEmpty() ? address : url}));
        return;
    }
    QString problem;
    const bool started =
        launchers.startClient ? launchers.startClient(&problem) : StartDefaultMailClient(&problem);
    if (!started) {
        if (!problem.isEmpty())
            qWarning("default mail client: %s", qUtf8Printable(problem));
        ShowError(
            MainWindowText("ErrorLaunchingDefaultClient", "Can't start default mail client."));
    }
}

} // namespace vm
