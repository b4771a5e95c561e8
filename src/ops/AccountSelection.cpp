#include "ops/AccountSelection.h"

#include "model/TAccountsDirectory.h"

namespace vm {

QList<TMailAccount*> AccountsToCheck(const TAccountsDirectory& directory, CheckKind kind,
                                     const QList<TMailAccount*>& chosen)
{
    QList<TMailAccount*> out;
    switch (kind) {
    case CheckKind::Shown:
    case CheckKind::Selected:
        for (TMailAccount* a : chosen)
            if (a)
                out.append(a);
        if (kind == CheckKind::Shown && out.size() > 1)
            out.resize(1);
        break;
    case CheckKind::Automatic:
    case CheckKind::All:
        for (int i = 0; i < directory.Count(); ++i) {
            TMailAccount* a = directory.At(i);
            if (!a)
                continue;
            if (kind == CheckKind::Automatic && !a->CanBeCheckedUnattended())
                continue;
            out.append(a);
        }
        break;
    }
    return out;
}

CheckCommandSummary
RunCheckCommand(const QList<TMailAccount*>& accounts,
                const std::function<AccountCheckResult(TMailAccount&)>& checkOne,
                const std::function<bool()>& interruptRequested, const TMailAccount* shown)
{
    CheckCommandSummary summary;
    for (TMailAccount* account : accounts) {
        const AccountCheckResult r = checkOne(*account);
        ++summary.checked;
        if (!r.completed) {
            summary.allCompleted = false;
            summary.notCompleted.append(account);
        }
        if (r.changed && account == shown)
            summary.shownChanged = true;
        if (interruptRequested && interruptRequested()) {
            summary.interrupted = true;
            break;
        }
    }
    return summary;
}

int FreshCountForAnnouncement(const TAccountsDirectory& directory)
{
    return directory.CountFresh(true);
}

} // namespace vm
