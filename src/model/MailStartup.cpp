#include "model/MailStartup.h"

#include "config/MySettings.h"
#include "core/MyApplication.h"
#include "model/StreamErrors.h"

namespace vm {

QString MailboxDirectoryFromSettings()
{
    QString dir = Settings().MbxStorage.trimmed();
    if (dir.isEmpty())
        dir = MyApplication::Instance().ProgramDir();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

int LoadMailboxesAtStart(TAccountsDirectory& dir, const QString& mailboxDir,
                         const MailboxLoadOptions& options, const MailboxLoadReports& reports)
{
    TAccountsDirectory::LoadParams params;
    params.directory = mailboxDir;
    params.options = options;
    if (reports.progress)
        params.progress = [&](TAccountsDirectory::LoadParams& p) {
            reports.progress(p.currentFile);
        };
    if (reports.incomplete)
        params.incomplete = [&](TAccountsDirectory::LoadParams& p, const std::exception&) {
            reports.incomplete(p.currentFile);
        };
    if (reports.invalid)
        params.invalid = [&](TAccountsDirectory::LoadParams& p, const std::exception&) {
            reports.invalid(p.currentFile);
        };
    if (reports.unreadable)
        params.unreadable = [&](TAccountsDirectory::LoadParams& p, const std::exception& e) {
            reports.unreadable(p.currentFile, ErrorMessage(e));
        };
    dir.LoadAll(params);
    return params.loaded;
}

bool SaveMailboxesAtExit(TAccountsDirectory& dir, const MailboxSaveOptions& options,
                         const MailboxSaveErrorHandler& onError)
{
    return dir.SaveAllResuming(options, [&](TMailAccount& account, const std::exception& e) {
        return onError && onError(account, ErrorClassName(e), ErrorMessage(e));
    });
}

} // namespace vm
