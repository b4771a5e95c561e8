// The webmail address check, desktop entry Exec splitting and the default
// mail client found through a recording fake xdg-mime first on PATH.

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "platform/DefaultMailClient.h"

using namespace vm;

namespace {

TEST(Webmail, OnlyHttpAndHttpsAddressesAreOpened)
{
    const struct
    {
        const char* typed;
        const char* opened; // empty: refused
    } cases[] = {
        {"mail.example.com", "http://mail.example.com"},
        {"  mail.example.com/inbox  ", "http://mail.example.com/inbox"},
        {"HTTPS://Mail.Example.com", "HTTPS://Mail.Example.com"},
        {"https://mail.example.com/?a=1", "https://mail.example.com/?a=1"},
        {"file:///etc/passwd#http", ""},
        {"javascript:alert(1)//http", ""},
        {"ftp://http.example.com", ""},
        {"http://", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WebmailUrl(QString::fromLatin1(c.typed)), QString::fromLatin1(c.opened))
            << c.typed;
}

TEST(DesktopExec, ArgumentsAreSplitWithoutAShell)
{
    const struct
    {
        const char* exec;
        QStringList argv;
    } cases[] = {
        {"mailer %u", {"mailer"}},
        {"/opt/Mail App/bin/mail -compose %U", {"/opt/Mail", "App/bin/mail", "-compose"}},
        {"\"/opt/Mail App/bin/mail\" --new \"a \\\"q\\\" b\" %f",
         {"/opt/Mail App/bin/mail", "--new", "a \"q\" b"}},
        {"mail --title=%c %i --entry %k 100%%",
         {"mail", "--title=Mailer", "--icon", "mail-icon", "--entry", "/e.desktop", "100%"}},
        {"sh -c \"echo $HOME; rm x\"",
         {"sh", "-c", "echo $HOME; rm x"}},               // one argument, nothing expanded
        {"mail\\sclient --x", {"mail", "client", "--x"}}, // \s is a blank of the value
        {"mail \"unterminated", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            SplitDesktopExec(QString::fromLatin1(c.exec), "Mailer", "mail-icon", "/e.desktop"),
            c.argv)
            << c.exec;
}

class FakeDesktop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        bin = tmp.filePath("bin");
        apps = tmp.filePath("data/applications");
        ASSERT_TRUE(QDir().mkpath(bin));
        ASSERT_TRUE(QDir().mkpath(apps + "/vendor"));
        path.Set(bin.toUtf8() + ":" + path.Old());
        dataHome.Set(tmp.filePath("data").toUtf8());
        dataDirs.Set(tmp.filePath("none").toUtf8());
    }
    void Script(const QString& path, const QByteArray& body)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // xdg-mime records its arguments and names the handler.
    void FakeXdgMime(const QByteArray& answer)
    {
        Script(bin + "/xdg-mime", "printf '%s\\n' \"$@\" > '" +
                                      tmp.filePath("xdg-mime.args").toUtf8() + "'\necho '" +
                                      answer + "'\n");
    }
    QTemporaryDir tmp;
    QString bin, apps;
    vm::test::ScopedEnv path{"PATH"};
    vm::test::ScopedEnv dataHome{"XDG_DATA_HOME"};
    vm::test::ScopedEnv dataDirs{"XDG_DATA_DIRS"};
};

TEST_F(FakeDesktop, DefaultClientStartsFromItsDesktopEntryWithoutAShell)
{
    FakeXdgMime("vendor-fakemail.desktop"); // a "-" standing for a subfolder
    const QString client = tmp.filePath("my client");
    const QString record = tmp.filePath("client.args");
    // The record appears whole (written aside, then renamed), so its
    // arrival is the end marker: anything a shell would have run came first.
    Script(client, "printf '%s\\n' \"$@\" > '" + record.toUtf8() + ".part' && mv '" +
                       record.toUtf8() + ".part' '" + record.toUtf8() + "'\n");
    QFile entry(apps + "/vendor/fakemail.desktop");
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write(
        "[Desktop Action Compose]\nExec=wrong\n\n[Desktop Entry]\nType=Application\nName=Fake "
        "Mail\nExec=\"" +
        client.toUtf8() + "\" -mail %u \"$(touch " + tmp.filePath("pwned").toUtf8() + ")\"\n");
    entry.close();

    const MailClientCommand cmd = DefaultMailClientCommand();
    EXPECT_EQ(cmd.argv, QStringList({client, "-mail", "$(touch " + tmp.filePath("pwned") + ")"}))
        << cmd.problem.toStdString();
    QFile asked(tmp.filePath("xdg-mime.args"));
    ASSERT_TRUE(asked.open(QIODevice::ReadOnly));
    EXPECT_EQ(asked.readAll(), "query\ndefault\nx-scheme-handler/mailto\n");

    QString problem;
    ASSERT_TRUE(StartDefaultMailClient(&problem)) << problem.toStdString();
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(record) && t.elapsed() < 30000)
        QThread::msleep(20);
    QFile got(record);
    ASSERT_TRUE(got.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(got.readAll()), "-mail\n$(touch " + tmp.filePath("pwned") + ")\n");
    EXPECT_FALSE(QFile::exists(tmp.filePath("pwned")));
}

TEST_F(FakeDesktop, NoClientIsAFailureWithAReason)
{
    FakeXdgMime("");
    EXPECT_FALSE(StartDefaultMailClient());
    FakeXdgMime("missing.desktop");
    QString problem;
    EXPECT_FALSE(StartDefaultMailClient(&problem));
    EXPECT_TRUE(problem.contains("missing.desktop"));
    FakeXdgMime("../../escape.desktop");
    EXPECT_TRUE(DefaultMailClientCommand().argv.isEmpty());
    QFile hidden(apps + "/hidden.desktop");
    ASSERT_TRUE(hidden.open(QIODevice::WriteOnly));
    hidden.write("[Desktop Entry]\nExec=true\nHidden=true\n");
    hidden.close();
    FakeXdgMime("hidden.desktop");
    EXPECT_TRUE(DefaultMailClientCommand().argv.isEmpty());
}

} // namespace
