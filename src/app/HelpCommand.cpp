#include "app/HelpCommand.h"

#include <QDesktopServices>

#include "core/Messages.h"
#include "ops/ErrorList.h"
#include "platform/UserManual.h"

namespace vm {

bool OpenHelp(const HelpLaunchers& launchers)
{
    const QString index = launchers.manualIndex ? launchers.manualIndex() : UserManualIndex();
    const QUrl url = QUrl::fromLocalFile(index);
    const bool opened = !index.isEmpty() && (launchers.openUrl ? launchers.openUrl(url)
                                                               : QDesktopServices::openUrl(url));
    if (!opened)
        ShowError(TextOr("MAINWND", "ErrorLaunchingHelp",
                         "Could not open the help (%s) in a web browser.",
                         {index.isEmpty() ? ManualCacheDir() : index}));
    return opened;
}

} // namespace vm
