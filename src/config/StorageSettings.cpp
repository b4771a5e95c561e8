#include "config/StorageSettings.h"

#include "config/PasswordStorage.h"
#include "config/Settings.h"
#include "core/AppInfo.h"
#include "core/DataDir.h"
#include "core/Messages.h"
#include "lang/Lang.h"

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
    o.keyring = KeyringForSaving();
    return o;
}

MailboxLoadOptions LoadOptionsFromSettings()
{
    MailboxLoadOptions o;
    o.ShowMessagesOnStartup = AppSettings().ShowMessagesOnStartup;
    return o;
}

bool WarnIfStorageOpenToOthers(const QString& dataDir, const QString& mailboxDir)
{
    const QStringList open = DirectoriesOpenToOthers({dataDir, mailboxDir});
    if (open.isEmpty())
        return false;
    const QString folders = open.join(QStringLiteral(", "));
    QString text =
        LangFormat(QStringLiteral("COMMONS"), QStringLiteral("StorageOpenToOthers"), {folders});
    if (text.isEmpty())
        text = QStringLiteral("Other users of this computer can open %1, where Velmora keeps "
                              "your mail and passwords. Make it private to you (chmod 700).")
                   .arg(folders);
    ShowWarning(text);
    return true;
}

} // namespace vm
