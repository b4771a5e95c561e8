#include "config/StorageSettings.h"

#include "config/Settings.h"
#include "core/AppInfo.h"

namespace vm {

QString MailboxDirectoryFromSettings()
{
    QString dir = AppSettings().MbxStorage.trimmed();
    if (dir.isEmpty())
        dir = AppInfo::Instance().ProgramDir();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

MailboxSaveOptions SaveOptionsFromSettings()
{
    const Settings& s = AppSettings();
    MailboxSaveOptions o;
    o.MessageSaveRange = s.MessageSaveRange;
    o.MaximumSaveSize = s.MaximumSaveSize;
    o.MinimumSaveSize = s.MinimumSaveSize;
    o.OldMessagesSaveHeaders = s.OldMessagesSaveHeaders;
    o.OldMessagesThreshold = s.OldMessagesThreshold;
    return o;
}

MailboxLoadOptions LoadOptionsFromSettings()
{
    MailboxLoadOptions o;
    o.ShowMessagesOnStartup = AppSettings().ShowMessagesOnStartup;
    return o;
}

} // namespace vm
