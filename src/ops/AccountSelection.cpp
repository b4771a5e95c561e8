#include "ops/AccountSelection.h"

#include "model/AccountsDirectory.h"

namespace vm {

QList<MailAccount*> AccountsToCheck(const AccountsDirectory& directory, CheckKind kind,
                                     const QList<MailAccount*>& chosen)
{
    QList<MailAccount*> out;
    switch (kind) {
    case CheckKind::Shown:
    case CheckKind::Selected:
        for (MailAccount* a : chosen)
            if (a)
                out.append(a);
        if (kind == CheckKind::Shown && out.size() > 1)
            out.resize(1);
        break;
    case CheckKind::Automatic:
    case CheckKind::All:
        for (int i = 0; i < directory.Count(); ++i) {
            MailAccount* a = directory.At(i);
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
RunCheckCommand(const QList<MailAccount*>& accounts,
                const std::function<AccountCheckResult(MailAccount&)>& checkOne,
                const std::function<bool()>& interruptRequested, const MailAccount* shown)
{
    CheckCommandSummary summary;
    for (MailAccount* account : accounts) {
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

int FreshCountForAnnouncement(const AccountsDirectory& directory)
{
    return directory.CountFresh(true);
}

} // namespace vm
