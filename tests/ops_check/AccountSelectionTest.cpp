// Which accounts the check commands visit, and how they stop.

#include <gtest/gtest.h>

#include "model/AccountsDirectory.h"
#include "ops/AccountSelection.h"

using namespace vm;

namespace {

MailAccount* Add(AccountsDirectory& dir, const char* login, bool autoCheck, const char* password)
{
    auto* a = new MailAccount(&dir);
    a->Login() = login;
    a->AutoCheck() = autoCheck;
    a->Password() = password;
    dir.Add(a);
    return a;
}

} // namespace

TEST(AccountSelection, AutomaticChecksNeverNeedAPrompt)
{
    AccountsDirectory dir;
    MailAccount* stored = Add(dir, "a", true, "pw");
    MailAccount* noPassword = Add(dir, "b", true, "");
    MailAccount* off = Add(dir, "c", false, "pw");
    MailAccount* remembered = Add(dir, "d", true, "");
    remembered->SessionPassword() = "typed";
    remembered->SessionPasswordValid() = true;

    EXPECT_EQ(AccountsToCheck(dir, CheckKind::Automatic),
              (QList<MailAccount*>{stored, remembered}));
    EXPECT_EQ(AccountsToCheck(dir, CheckKind::All),
              (QList<MailAccount*>{stored, noPassword, off, remembered}));
    EXPECT_EQ(AccountsToCheck(dir, CheckKind::Selected, {off, nullptr, stored}),
              (QList<MailAccount*>{off, stored}));
    EXPECT_EQ(AccountsToCheck(dir, CheckKind::Shown, {noPassword}),
              (QList<MailAccount*>{noPassword}));
}

TEST(AccountSelection, InterruptStopsAfterTheCurrentAccountAndFailuresDoNot)
{
    AccountsDirectory dir;
    MailAccount* a = Add(dir, "a", true, "pw");
    MailAccount* b = Add(dir, "b", true, "pw");
    MailAccount* c = Add(dir, "c", true, "pw");
    QList<MailAccount*> visited;
    bool interrupt = false;
    CheckCommandSummary s = RunCheckCommand(
        {a, b, c},
        [&](MailAccount& acc) {
            visited.append(&acc);
            if (&acc == b)
                interrupt = true; // the user pressed abort during b
            return AccountCheckResult{&acc != b, &acc == a};
        },
        [&] { return interrupt; }, a);
    EXPECT_EQ(visited, (QList<MailAccount*>{a, b}));
    EXPECT_TRUE(s.interrupted);
    EXPECT_FALSE(s.allCompleted);
    EXPECT_TRUE(s.shownChanged);

    visited.clear();
    interrupt = false;
    s = RunCheckCommand(
        {a, b, c},
        [&](MailAccount& acc) {
            visited.append(&acc);
            return AccountCheckResult{&acc != a, true};
        },
        [] { return false; }, c);
    EXPECT_EQ(visited.size(), 3); // a failed account does not stop the command
    EXPECT_EQ(s.notCompleted, (QList<MailAccount*>{a}));
    EXPECT_TRUE(s.shownChanged);

    // The count announced: fresh records of mailboxes that are not stale.
    auto* m = new MessageRecord;
    m->fresh = true;
    a->Box().Add(m);
    auto* n = new MessageRecord;
    n->fresh = true;
    b->Box().Add(n);
    b->Box().SetStale(false);
    EXPECT_EQ(FreshCountForAnnouncement(dir), 1);
}
