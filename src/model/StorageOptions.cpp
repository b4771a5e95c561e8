#include "model/StorageOptions.h"

#include "config/Settings.h"

namespace vm {

MailboxSaveOptions MailboxSaveOptions::FromSettings()
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

MailboxLoadOptions MailboxLoadOptions::FromSettings()
{
    MailboxLoadOptions o;
    o.ShowMessagesOnStartup = AppSettings().ShowMessagesOnStartup;
    return o;
}

} // namespace vm
