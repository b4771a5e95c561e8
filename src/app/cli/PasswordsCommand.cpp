#include "app/cli/PasswordsCommand.h"

#include <memory>

#include "app/cli/CheckCommand.h"
#include "config/PasswordStorage.h"
#include "config/Settings.h"
#include "config/StorageSettings.h"
#include "core/AppInfo.h"
#include "model/AccountsDirectory.h"
#include "platform/SingleInstance.h"

namespace vm {

int RunPasswordsCommand(const QStringList& args)
{
    using namespace cli;
    const QString where = args.size() == 1 ? args.first() : QString();
    if (where != QLatin1String("keyring") && where != QLatin1String("file")) {
        Err(QStringLiteral("usage: velmora --passwords keyring|file"));
        return kExitUsage;
    }
    const bool toKeyring = where == QLatin1String("keyring");
    std::unique_ptr<SingleInstance> lock;
    if (!OpenDataForWriting(lock))
        return kExitFailed;

    // Run also when the setting already says so: a move that left files
    // behind is finished by running it again.
    const MailboxSaveOptions options = SaveOptionsFromSettings();
    const PasswordMoveResult moved =
        toKeyring ? MovePasswordsToKeyring(Accounts(), InstalledSecretVault(), options)
                  : MovePasswordsToFiles(Accounts(), InstalledSecretVault(), options);
    if (!moved.moved) {
        Err(PasswordMoveReport(moved, toKeyring));
        return kExitFailed;
    }
    int rc = kExitOk;
    Settings& settings = AppSettings();
    settings.PasswordStorage = toKeyring ? 1 : 0;
    const QString path = AppInfo::Instance().SettingsFilePath();
    if (!settings.Save(path)) {
        Err(QStringLiteral("cannot write the settings file %1; the passwords were moved, but "
                           "the next start reads the old choice from it")
                .arg(path));
        rc = kExitFailed;
    }
    const QString rest = PasswordMoveReport(moved, toKeyring);
    if (!rest.isEmpty()) {
        Err(rest);
        rc = kExitFailed;
    }
    for (int i = 0; i < Accounts().Count(); ++i)
        Out(DisplayName(*Accounts().At(i)) + QLatin1Char('\t') + where);
    return rc;
}

} // namespace vm
