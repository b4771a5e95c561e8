#pragma once
// The program's help (F1, the welcome page's help link, the about window):
// the user manual in the desktop's browser. When no page could be written or
// no browser started, a message box says so instead of nothing happening.

#include <QString>
#include <QUrl>

#include <functional>

namespace vm {

struct HelpLaunchers
{
    std::function<QString()> manualIndex;      // default: UserManualIndex
    std::function<bool(const QUrl&)> openUrl;  // default: QDesktopServices
};

// True when the manual was handed to a browser.
bool OpenHelp(const HelpLaunchers& launchers = {});

} // namespace vm
