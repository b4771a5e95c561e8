#include "model/TAccountsDirectory.h"

#include <QDir>

#include <memory>

#include "model/StreamErrors.h"

namespace {
QString WithDelimiter(QString dir)
{
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}
} // namespace

void TAccountsDirectory::SetMailboxDirectory(const QString& dir)
{
    mailboxDirectory_ = WithDelimiter(dir);
}

void TAccountsDirectory::SaveAll(int& index, const vm::MailboxSaveOptions& options)
{
    for (int i = index < 0 ? 0 : index; i < Count(); ++i) {
        index = i;
        if (TMailAccount* a = At(i))
            a->SaveToFile(options);
    }
}

bool TAccountsDirectory::SaveAllResuming(
    const vm::MailboxSaveOptions& options,
    const std::function<bool(TMailAccount&, const std::exception&)>& onError)
{
    int index = 0;
    while (index < Count()) {
        try {
            SaveAll(index, options);
            return true;
        } catch (const std::exception& e) {
            if (!onError || !onError(*At(index), e))
                return false;
            ++index; // the failing account stays unsaved
        }
    }
    return true;
}

bool TAccountsDirectory::LoadAll(LoadParams& params)
{
    params.directory = WithDelimiter(params.directory);
    mailboxDirectory_ = params.directory;
    const QStringList names = QDir(params.directory)
                                  .entryList(QStringList{QStringLiteral("*.mbx")},
                                             QDir::Files | QDir::Hidden, QDir::Unsorted);
    params.found = static_cast<int>(names.size());
    params.loaded = 0;
    for (const QString& name : names) {
        params.currentFile = name;
        if (params.progress)
            params.progress(params);
        auto account = std::make_unique<TMailAccount>(this);
        try {
            account->LoadFromFile(params.directory + name, params.options, params.attempts,
                                  params.retryDelayMs);
            Add(account.release());
            ++params.loaded;
        } catch (const EIncorrectStreamFormatMailboxError& e) {
            // Keep what was read before the damaged record.
            Add(account.release());
            ++params.loaded;
            if (params.incomplete)
                params.incomplete(params, e);
        } catch (const EIncorrectStreamFormatHeaderError& e) {
            account.reset();
            if (params.invalid)
                params.invalid(params, e);
        } catch (const std::exception& e) {
            account.reset();
            if (params.unreadable)
                params.unreadable(params, e);
        }
    }
    return true;
}

void TAccountsDirectory::ClearNew()
{
    for (int i = 0; i < Count(); ++i)
        if (TMailAccount* a = At(i))
            a->Mailbox().ClearNew();
}

void TAccountsDirectory::ClearFresh(bool unlessKept)
{
    for (int i = 0; i < Count(); ++i)
        if (TMailAccount* a = At(i))
            a->Mailbox().ClearFresh(unlessKept);
}

int TAccountsDirectory::CountFresh(bool unlessKept) const
{
    int n = 0;
    for (int i = 0; i < Count(); ++i)
        if (const TMailAccount* a = At(i))
            n += a->Mailbox().CountFresh(unlessKept);
    return n;
}

namespace vm {

TAccountsDirectory& AccountsDirectory()
{
    static auto* dir = new TAccountsDirectory; // lives until the process ends
    return *dir;
}

} // namespace vm
