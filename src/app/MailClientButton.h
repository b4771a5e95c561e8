#pragma once
// The main window's client button: opens the account's webmail site in the
// browser (http and https only), or starts the desktop's default mail
// client. Failures are reported with the window's messages.

#include <QString>
#include <QUrl>

#include <functional>

namespace vm {

class MailAccount;

struct MailClientLaunchers
{
    std::function<bool(const QUrl&)> openUrl;          // default: QDesktopServices
    std::function<bool(QString* problem)> startClient; // default: StartDefaultMailClient
};

// Nothing happens without an account or for a webmail account whose address
// is empty.
void OpenAccountClient(const MailAccount* account, const MailClientLaunchers& launchers = {});

} // namespace vm
