// Which accounts the check commands visit, and how they stop.

#include <gtest/gtest.h>

#include "model/TAccountsDirectory.h"
#include "ops/AccountSelection.h"

using namespace vm;

namespace {

TMailAccount* Add(TAccountsDirectory& dir, const char* login, bool autoCheck, const char* password)
{
    auto* a = new TMailAccount(&dir);
    a->Login() = login;
    a->AutoCheck() = autoCheck;
    a->Password() = password;
    dir.Add(a);
    return a;
}

} // namespace

TEST(AccountSelection, AutomaticChecksNeverNeedAPrompt)
{
    TAccountsDirectory dir;
    TMailAccount* stored = Add(dir, "a", true, "pw");
    TMailAccount* noPassword = Add(dir, "b", true, "");
    TMailAccount* off = Add(dir, "c", false, "pw");
    TMailAccount* remembered = Add(dir, "d", true, "");
    remembered->SessionPassword() = "typed";
    remembered->SessionPasswordValid() = true;

    EXPECT_EQ(AccountsToCheck(dir, CheckKind::Automatic),
              (QList<TMailAccount*>{stored, remembered}));
    EXPECT_EQ(AccountsToCheck(dir, CheckKind::All),
              (QList<TMailAccount*>{stored, noPassword, off, remembered}));
    EXPECT_EQ(AccountsToCheck(dir, CheckKind::Selected, {off, nullptr, stored}),
              (QList<TMailAccount*>{off, stored}));
    EXPECT_EQ(AccountsToCheck(dir, CheckKind::Shown, {noPassword}),
              (QList<TMailAccount*>{noPassword}));
}

TEST(AccountSelection, InterruptStopsAfterTheCurrentAccountAndFailuresDoNot)
{
    TAccountsDirectory dir;
    TMailAccount* a = Add(dir, "a", true, "pw");
    TMailAccount* b = Add(dir, "b", true, "pw");
    TMailAccount* c = Add(dir, "c", true, "pw");
    QList<TMailAccount*> visited;
    bool interrupt = false;
    CheckCommandSummary s = RunCheckCommand(
        {a, b, c},
        [&](TMailAccount& acc) {
            visited.append(&acc);
            if (&acc == b)
                interrupt = true; // the user pressed abort during b
            return AccountCheckResult{&acc != b, &acc == a};
        },
        [&] { return interrupt; }, a);
    EXPECT_EQ(visited, (QList<TMailAccount*>{a, b}));
    EXPECT_TRUE(s.interrupted);
    EXPECT_FALSE(s.allCompleted);
    EXPECT_TRUE(s.shownChanged);

    visited.clear();
    interrupt = false;
    s = RunCheckCommand(
        {a, b, c},
        [&](TMailAccount& acc) {
            visited.append(&acc);
            return AccountCheckResult{&acc != a, true};
        },
        [] { return false; }, c);
    EXPECT_EQ(visited.size(), 3); // a failed account does not stop the command
    EXPECT_EQ(s.notCompleted, (QList<TMailAccount*>{a}));
    EXPECT_TRUE(s.shownChanged);

    // The count announced: fresh records of mailboxes that are not stale.
    auto* m = new TIdMessageEx;
    m->fresh = true;
    a->Mailbox().Add(m);
    auto* n = new TIdMessageEx;
    n->fresh = true;
    b->Mailbox().Add(n);
    b->Mailbox().SetStale(false);
    EXPECT_EQ(FreshCountForAnnouncement(dir), 1);
}
