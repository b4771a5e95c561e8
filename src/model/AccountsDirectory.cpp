#include "model/AccountsDirectory.h"

#include <QDir>

#include <memory>

#include "model/FileErrors.h"

namespace vm {

namespace {
QString WithDelimiter(QString dir)
{
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}
} // namespace

void AccountsDirectory::SetMailboxDirectory(const QString& dir)
{
    mailboxDirectory_ = WithDelimiter(dir);
}

void AccountsDirectory::SaveAll(int& index, const vm::MailboxSaveOptions& options)
{
    for (int i = index < 0 ? 0 : index; i < Count(); ++i) {
        index = i;
        if (MailAccount* a = At(i))
            a->SaveToFile(options);
    }
}

bool AccountsDirectory::SaveAllResuming(
    const vm::MailboxSaveOptions& options,
    const std::function<bool(MailAccount&, const std::exception&)>& onError)
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

bool AccountsDirectory::LoadAll(LoadParams& params)
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
        auto account = std::make_unique<MailAccount>(this);
        try {
            account->LoadFromFile(params.directory + name, params.options, params.attempts,
                                  params.retryDelayMs);
            Add(account.release());
            ++params.loaded;
        } catch (const MailboxContentError& e) {
            // Keep what was read before the damaged record.
            Add(account.release());
            ++params.loaded;
            if (params.incomplete)
                params.incomplete(params, e);
        } catch (const MailboxHeaderError& e) {
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

void AccountsDirectory::ClearNew()
{
    for (int i = 0; i < Count(); ++i)
        if (MailAccount* a = At(i))
            a->Box().ClearNew();
}

void AccountsDirectory::ClearFresh(bool unlessKept)
{
    for (int i = 0; i < Count(); ++i)
        if (MailAccount* a = At(i))
            a->Box().ClearFresh(unlessKept);
}

int AccountsDirectory::CountFresh(bool unlessKept) const
{
    int n = 0;
    for (int i = 0; i < Count(); ++i)
        if (const MailAccount* a = At(i))
            n += a->Box().CountFresh(unlessKept);
    return n;
}


AccountsDirectory& Accounts()
{
    static auto* dir = new AccountsDirectory; // lives until the process ends
    return *dir;
}

QString AccountsDirectory::FreeKeyringId(const QString& base, const MailAccount& asking) const
{
    const auto taken = [&](const QString& id) {
        for (int i = 0; i < Count(); ++i)
            if (At(i) && At(i) != &asking && At(i)->KeyringId() == id)
                return true;
        return false;
    };
    QString id = base;
    for (int n = 2; taken(id); ++n)
        id = base + QLatin1Char('-') + QString::number(n);
    return id;
}

} // namespace vm
