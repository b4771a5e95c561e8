// The hand-off to the default mail client: xdg-email's arguments as a
// recording fake xdg-email first on PATH receives them, and the files given
// to the client.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "send/MailClientHandoff.h"

using namespace vm;

namespace {

QCoreApplication* App()
{
    static int argc = 1;
    static char name[] = "test_send_handoff";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return app;
}

class Handoff : public ::testing::Test
{
protected:
    void SetUp() override
    {
        App();
        ASSERT_TRUE(tmp.isValid());
        const QString bin = tmp.filePath("bin");
        ASSERT_TRUE(QDir().mkpath(bin));
        record = tmp.filePath("xdg-email.args");
        // Every argument ends with a NUL byte, so nothing can hide a field.
        QFile f(bin + "/xdg-email");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" + record.toUtf8() +
                "'\nexit ${FAKE_XDG_EMAIL_STATUS:-0}\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        oldPath = qgetenv("PATH");
        oldCache = qgetenv("XDG_CACHE_HOME");
        qputenv("PATH", bin.toUtf8() + ":" + oldPath);
        qputenv("XDG_CACHE_HOME", tmp.filePath("cache").toUtf8());
    }
    void TearDown() override
    {
        qputenv("PATH", oldPath);
        qputenv("XDG_CACHE_HOME", oldCache);
        qunsetenv("FAKE_XDG_EMAIL_STATUS");
    }
    // Runs xdg-email; its exit code, with the arguments it received.
    int Run(const QStringList& args, QStringList& received)
    {
        XdgEmailRun run;
        QSignalSpy done(&run, &XdgEmailRun::finished);
        run.Start(args);
        EXPECT_TRUE(XdgEmailRun::AnyRunning());
        EXPECT_TRUE(done.wait(60000));
        EXPECT_FALSE(XdgEmailRun::AnyRunning());
        QFile f(record);
        if (f.open(QIODevice::ReadOnly)) {
            QByteArray all = f.readAll();
            all.chop(1);
            for (const QByteArray& a : all.split('\0'))
                received << QString::fromUtf8(a);
        }
        return done.isEmpty() ? -2 : done.first().at(0).toInt();
    }
    QTemporaryDir tmp;
    QString record;
    QByteArray oldPath, oldCache;
};

TEST_F(Handoff, ArgumentsReachXdgEmailWithoutAddedFields)
{
    const QString source = tmp.filePath("report.pdf");
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.4 sample");
    }
    const QString staged = StageHandoffAttachment(source, "../Q3 \"final\", v2.pdf");
    ASSERT_FALSE(staged.isEmpty());
    EXPECT_TRUE(staged.startsWith(tmp.filePath("cache") + "/velmora/handoff/"));
    EXPECT_EQ(QFileInfo(staged).fileName(), "Q3 _final__ v2.pdf");
    EXPECT_EQ(QFileInfo(QFileInfo(staged).path()).permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther),
              0);

    HandoffMessage m;
    m.to = {EmailAddress("Ann", "ann@example.org"),
            EmailAddress("", "bob@example.org,evil@example.org"),
            EmailAddress("", "-x@example.org")};
    m.cc = {EmailAddress("Cy", "cy@example.org"), EmailAddress("", "\"q\"@example.org")};
    m.subject = QString::fromUtf8("Zürich\r\nBcc: evil@example.org");
    m.body = QString::fromUtf8("Line one, with a comma\nLine \"two\" & more");
    m.attachments = {staged, "relative.txt", tmp.filePath("a,b.txt")};
    const XdgEmailCall call = BuildXdgEmailCall(m);
    EXPECT_EQ(call.refused.size(), 5);

    QStringList received;
    EXPECT_EQ(Run(call.arguments, received), 0);
    EXPECT_EQ(received, QStringList({"--utf8", "--cc", "cy@example.org", "--subject",
                                     QString::fromUtf8("Zürich Bcc: evil@example.org"), "--body",
                                     m.body, "--attach", staged, "ann@example.org"}));
}

TEST_F(Handoff, ExitStatusIsReported)
{
    qputenv("FAKE_XDG_EMAIL_STATUS", "3");
    XdgEmailRun run;
    QSignalSpy done(&run, &XdgEmailRun::finished);
    run.Start({"--utf8"});
    ASSERT_TRUE(done.wait(60000));
    EXPECT_EQ(done.first().at(0).toInt(), 3);
    EXPECT_TRUE(done.first().at(1).toString().contains("3"));

    qputenv("PATH", tmp.filePath("nowhere").toUtf8());
    XdgEmailRun missing;
    QSignalSpy failed(&missing, &XdgEmailRun::finished);
    missing.Start({"--utf8"});
    ASSERT_TRUE(failed.count() == 1 || failed.wait(60000));
    EXPECT_EQ(failed.first().at(0).toInt(), -1);
    EXPECT_FALSE(XdgEmailRun::AnyRunning());
}

} // namespace
