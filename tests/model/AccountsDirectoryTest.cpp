// Accounts and the accounts directory: file naming, loading with reports,
// saving that resumes after a failure, and the retries on opening.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

#include "model/MailStartup.h"
#include "model/FileErrors.h"
#include "model/AccountsDirectory.h"

using namespace vm;

namespace {

class Accounts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        dir.SetMailboxDirectory(tmp.path());
    }
    MailAccount* NewAccount(const QByteArray& login)
    {
        auto* a = new MailAccount(&dir);
        a->Login() = login;
        dir.Add(a);
        return a;
    }
    QString Path(const QString& name) const { return tmp.path() + QLatin1Char('/') + name; }

    QTemporaryDir tmp;
    AccountsDirectory dir;
};

TEST_F(Accounts, FileNamesForNewAccounts)
{
    MailAccount* a = NewAccount("anna");
    MailAccount* b = NewAccount("anna");
    MailAccount* odd = NewAccount("x:y/z<\"*?>\\';");
    int index = 0;
    dir.SaveAll(index, {});
    EXPECT_EQ(a->MailboxFileName(), QStringLiteral("anna.mbx"));
    EXPECT_EQ(b->MailboxFileName(), QStringLiteral("anna1.mbx"));
    EXPECT_EQ(odd->MailboxFileName(), QStringLiteral("x_y_z________.mbx"));
    EXPECT_EQ(odd->Login(), "x:y/z<\"*?>\\';");
    // Saving again keeps the names; a deleted file gets a fresh name.
    dir.SaveAll(index = 0, {});
    EXPECT_EQ(b->MailboxFileName(), QStringLiteral("anna1.mbx"));
    QFile::remove(Path("anna.mbx"));
    b->Login() = "anna";
    QFile::remove(Path("anna1.mbx"));
    b->SaveToFile(vm::MailboxSaveOptions{});
    EXPECT_EQ(b->MailboxFileName(), QStringLiteral("anna.mbx"));
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files).size(), 2);
}

TEST_F(Accounts, AccountQueries)
{
    MailAccount a(&dir);
    a.Login() = "anna";
    EXPECT_EQ(a.DisplayName(), "anna");
    a.FriendlyName() = "Work";
    EXPECT_EQ(a.DisplayName(), "Work");
    EXPECT_FALSE(a.HasSmtpSettings());
    a.SmtpLogin() = "l";
    a.SmtpServer() = "s";
    EXPECT_FALSE(a.HasSmtpSettings());
    a.FromAddress() = "a@b";
    EXPECT_TRUE(a.HasSmtpSettings());
    EXPECT_FALSE(a.CanBeCheckedUnattended());
    a.SessionPassword() = "typed";
    EXPECT_FALSE(a.CanBeCheckedUnattended()); // not marked valid
    a.SessionPasswordValid() = true;
    EXPECT_TRUE(a.CanBeCheckedUnattended());
    a.AutoCheck() = false;
    EXPECT_FALSE(a.CanBeCheckedUnattended());
}

TEST_F(Accounts, SessionPasswordRules)
{
    MailAccount a(&dir);
    // POP3: stored, else the valid session password (even an empty one), else ask.
    EXPECT_FALSE(a.Pop3PasswordWithoutPrompt());
    a.SessionPassword() = "typed";
    EXPECT_FALSE(a.Pop3PasswordWithoutPrompt()); // not valid yet
    a.RememberPop3Password("");
    EXPECT_EQ(a.Pop3PasswordWithoutPrompt(), QByteArray());
    a.RememberPop3Password("typed");
    EXPECT_EQ(a.Pop3PasswordWithoutPrompt(), "typed");
    a.Password() = "stored";
    EXPECT_EQ(a.Pop3PasswordWithoutPrompt(), "stored");
    a.RememberPop3Password("late"); // a stored password wins
    EXPECT_EQ(a.SessionPassword(), "typed");

    // SMTP: nothing without authentication; stored, else valid session, else ask.
    a.SmtpPassword() = "smtp";
    EXPECT_EQ(a.SmtpPasswordWithoutPrompt(), QByteArray());
    a.SmtpAuthentication() = true;
    EXPECT_EQ(a.SmtpPasswordWithoutPrompt(), "smtp");
    a.SmtpPasswordTyped("once", true);
    a.SmtpSendSucceeded(); // the stored password was used: the typed one stays unused
    EXPECT_FALSE(a.SmtpSessionPasswordValid());
    a.SmtpPassword().clear();
    EXPECT_FALSE(a.SmtpPasswordWithoutPrompt()); // until a send succeeds
    a.SmtpSendSucceeded();
    EXPECT_EQ(a.SmtpPasswordWithoutPrompt(), "once");
    a.SmtpPasswordTyped("other", false); // emptied, the valid mark left alone
    EXPECT_TRUE(a.SmtpSessionPassword().isEmpty());
    EXPECT_TRUE(a.SmtpSessionPasswordValid());
    a.SmtpSessionPasswordValid() = false;
    a.SmtpAuthentication() = false;
    a.SmtpPasswordTyped("again", true);
    a.SmtpSendSucceeded(); // no authentication: nothing to make valid
    EXPECT_FALSE(a.SmtpSessionPasswordValid());

    // Saving drops the session passwords that a stored one replaces.
    struct Case
    {
        QByteArray stored, smtpStored;
        bool smtpWritten, pop3Dropped, smtpDropped;
    };
    const Case cases[] = {
        {"", "", true, false, false},
        {"p", "", true, true, false},
        {"", "s", true, false, true},
        {"", "s", false, false, false},
        {"p", "s", true, true, true},
    };
    for (const Case& k : cases) {
        a.Password() = k.stored;
        a.SmtpPassword() = k.smtpStored;
        a.SessionPassword() = "t";
        a.SessionPasswordValid() = true;
        a.SmtpSessionPassword() = "t";
        a.SmtpSessionPasswordValid() = true;
        a.PasswordsSaved(k.smtpWritten);
        EXPECT_EQ(a.SessionPassword().isEmpty(), k.pop3Dropped);
        EXPECT_EQ(a.SessionPasswordValid(), !k.pop3Dropped);
        EXPECT_EQ(a.SmtpSessionPassword().isEmpty(), k.smtpDropped);
        EXPECT_EQ(a.SmtpSessionPasswordValid(), !k.smtpDropped);
    }
}

TEST_F(Accounts, SaveAllResumesOrStopsAfterAFailure)
{
    NewAccount("one");
    MailAccount* blocked = NewAccount("two");
    NewAccount("three");
    // The second account's file name is taken by a directory: its save fails.
    ASSERT_TRUE(QDir(tmp.path()).mkdir("two.mbx"));
    blocked->MailboxFileName() = "two.mbx";

    QStringList failures;
    const bool stopped = !vm::SaveMailboxesAtExit(
        dir, {}, [&](const MailAccount& a, const QString& cls, const QString& message) {
            failures << QString::fromLatin1(a.DisplayName()) + " " + cls;
            EXPECT_FALSE(message.isEmpty());
            return false;
        });
    EXPECT_TRUE(stopped);
    EXPECT_EQ(failures, QStringList{"two FileCreateError"});
    EXPECT_TRUE(QFile::exists(Path("one.mbx")));
    EXPECT_FALSE(QFile::exists(Path("three.mbx")));

    failures.clear();
    EXPECT_TRUE(vm::SaveMailboxesAtExit(
        dir, {}, [&](const MailAccount&, const QString& cls, const QString&) {
            failures << cls;
            return true;
        }));
    EXPECT_EQ(failures.size(), 1);
    EXPECT_TRUE(QFile::exists(Path("three.mbx")));

    int index = 0;
    EXPECT_THROW(dir.SaveAll(index, {}), FileCreateError);
    EXPECT_EQ(index, 1);
}

TEST_F(Accounts, LoadsWhatWasSavedWithReports)
{
    MailAccount* a = NewAccount("anna");
    a->Password() = "pw";
    auto* m = new MessageRecord;
    m->UID = "u1";
    m->raw = "Subject: x\r\n\r\n";
    a->Box().Add(m);
    a->Box().SetLastCheck(45000);
    a->Box().At(0)->fresh = true;
    NewAccount("bob");
    int index = 0;
    dir.SaveAll(index, {});
    // Mailbox files hold passwords: only their owner may read them.
    EXPECT_EQ(QFile::permissions(Path("anna.mbx")) &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
    QFile f(Path("junk.mbx"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a mailbox");
    f.close();
    ASSERT_TRUE(QDir(tmp.path()).mkdir("folder.mbx")); // not a file: not listed

    AccountsDirectory loaded;
    QStringList progress, invalid;
    vm::MailboxLoadReports reports;
    reports.progress = [&](const QString& name) { progress << name; };
    reports.invalid = [&](const QString& name) { invalid << name; };
    reports.unreadable = [&](const QString& name, const QString&) { invalid << name; };
    EXPECT_EQ(vm::LoadMailboxesAtStart(loaded, tmp.path(), {}, reports), 2);
    progress.sort();
    EXPECT_EQ(progress, (QStringList{"anna.mbx", "bob.mbx", "junk.mbx"}));
    EXPECT_EQ(invalid, QStringList{"junk.mbx"});
    EXPECT_EQ(loaded.MailboxDirectory(), tmp.path() + "/");
    ASSERT_EQ(loaded.Count(), 2);
    MailAccount* anna = loaded.At(0)->Login() == "anna" ? loaded.At(0) : loaded.At(1);
    EXPECT_EQ(anna->Owner(), &loaded);
    EXPECT_EQ(anna->Box().Account(), anna);
    EXPECT_EQ(anna->Box().At(0)->owner, &anna->Box());
    // Stored password, checked before, every record has headers: shown at start.
    EXPECT_FALSE(anna->Box().Stale());
    EXPECT_TRUE(anna->Box().Confirmed());
    EXPECT_EQ(loaded.CountFresh(true), 1);
    loaded.ClearFresh(true);
    EXPECT_EQ(loaded.CountFresh(false), 0);

    // The same files with the stored lists not shown at start stay stale.
    AccountsDirectory hidden;
    vm::MailboxLoadOptions off;
    off.ShowMessagesOnStartup = false;
    vm::LoadMailboxesAtStart(hidden, tmp.path(), off, {});
    for (int i = 0; i < hidden.Count(); ++i)
        EXPECT_TRUE(hidden.At(i)->Box().Stale());
}

TEST_F(Accounts, EmptyDirectoryLoadsNothing)
{
    AccountsDirectory::LoadParams p;
    p.directory = tmp.path();
    int calls = 0;
    p.progress = [&](auto&) { ++calls; };
    EXPECT_TRUE(dir.LoadAll(p));
    EXPECT_EQ(p.found, 0);
    EXPECT_EQ(p.loaded, 0);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(p.directory.endsWith('/'));
}

TEST_F(Accounts, OpeningIsRetriedBeforeGivingUp)
{
    MailAccount a(&dir);
    QElapsedTimer t;
    t.start();
    EXPECT_THROW(a.LoadFromFile(Path("missing.mbx"), {}, 4, 60), FileOpenError);
    EXPECT_GE(t.elapsed(), 3 * 60 - 5);
    EXPECT_LT(t.elapsed(), 2000);

    // A file that becomes readable between attempts is loaded.
    MailAccount source(&dir);
    source.Login() = "late";
    source.SaveToFile(vm::MailboxSaveOptions{});
    ASSERT_TRUE(QFile::rename(Path("late.mbx"), Path("hidden")));
    std::thread mover([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QFile::rename(Path("hidden"), Path("late.mbx"));
    });
    MailAccount b(&dir);
    EXPECT_NO_THROW(b.LoadFromFile(Path("late.mbx"), {}, 4, 80));
    mover.join();
    EXPECT_EQ(b.Login(), "late");
}

} // namespace
