#include "model/MailStartup.h"

#include "model/FileErrors.h"

namespace vm {

int LoadMailboxesAtStart(AccountsDirectory& dir, const QString& mailboxDir,
                         const MailboxLoadOptions& options, const MailboxLoadReports& reports)
{
    AccountsDirectory::LoadParams params;
    params.directory = mailboxDir;
    params.options = options;
    if (reports.progress)
        params.progress = [&](AccountsDirectory::LoadParams& p) {
            reports.progress(p.currentFile);
        };
    if (reports.incomplete)
        params.incomplete = [&](AccountsDirectory::LoadParams& p, const std::exception&) {
            reports.incomplete(p.currentFile);
        };
    if (reports.invalid)
        params.invalid = [&](AccountsDirectory::LoadParams& p, const std::exception&) {
            reports.invalid(p.currentFile);
        };
    if (reports.unreadable)
        params.unreadable = [&](AccountsDirectory::LoadParams& p, const std::exception& e) {
            reports.unreadable(p.currentFile, ErrorMessage(e));
        };
    dir.LoadAll(params);
    return params.loaded;
}

bool SaveMailboxesAtExit(AccountsDirectory& dir, const MailboxSaveOptions& options,
                         const MailboxSaveErrorHandler& onError)
{
    return dir.SaveAllResuming(options, [&](MailAccount& account, const std::exception& e) {
        return onError && onError(account, ErrorClassName(e), ErrorMessage(e));
    });
}

} // namespace vm
