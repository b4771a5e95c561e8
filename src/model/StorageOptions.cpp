#include "model/StorageOptions.h"

#include "config/MySettings.h"

namespace vm {

MailboxSaveOptions MailboxSaveOptions::FromSettings()
{
    const MySettings& s = Settings();
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
    o.ShowMessagesOnStartup = Settings().ShowMessagesOnStartup;
    return o;
}

} // namespace vm
