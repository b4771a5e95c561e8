// The hand-off to the default mail client: xdg-email's arguments as a
// recording fake xdg-email first on PATH receives them, and the files given
// to the client.

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>

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
        path.Set(bin.toUtf8() + ":" + path.Old());
        cacheHome.Set(tmp.filePath("cache").toUtf8());
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
    vm::test::ScopedEnv path{"PATH"};
    vm::test::ScopedEnv cacheHome{"XDG_CACHE_HOME"};
    vm::test::ScopedEnv exitStatus{"FAKE_XDG_EMAIL_STATUS"};
};

TEST(HandoffAddress, OnlyBareAddressesAreHandedOver)
{
    const struct
    {
        const char* address;
        bool passed;
    } cases[] = {
        {"ann@example.org", true},
        {"o.brien+tag_1@mail-host.example.org", true},
        {"{x}|y~z^#$*!/`@example.org", true},
        {"j\xC3\xBC" "rgen@b\xC3\xBC" "cher.example", true},
        {"mailto:eve@evil.example", false},
        {"MAILTO:eve@evil.example", false},
        {"eve@evil.example?attach=/etc/passwd", false},
        {"eve@evil.example&attach=/etc/passwd", false},
        {"a=b@example.org", false},
        {"o'brien@example.org", false},
        {"\"q\"@example.org", false},
        {"100%@example.org", false},
        {"<ann@example.org>", false},
        {"a\\c@example.org", false},
        {"ann@example.org,eve@evil.example", false},
        {"ann@example.org;eve@evil.example", false},
        {"a b@example.org", false},
        {"ann@example.org\r\nBcc: eve@evil.example", false},
        {"ann\x7F@example.org", false},
        {"ann\xC2\x85@example.org", false},            // NEL, a C1 control
        {"ann\xE2\x80\xAE" "gro@example.org", false}, // right-to-left override
        {"-x@example.org", false},
        {"ann", false},
        {"@example.org", false},
        {"ann@", false},
        {"a@b@example.org", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsHandoffAddress(QString::fromUtf8(c.address)), c.passed) << c.address;
}

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
            EmailAddress("", "mailto:eve@evil.example?attach=/etc/passwd"),
            EmailAddress("", " dan@example.org ")};
    m.cc = {EmailAddress("Cy", "cy@example.org"), EmailAddress("", "\"q\"@example.org")};
    m.bcc = {EmailAddress("", "bo@example.org")};
    m.subject = QString::fromUtf8("Zürich\r\nBcc: evil@example.org");
    m.body = QString::fromUtf8("Line one, with a comma\nLine \"two\" & more");
    m.attachments = {staged, "relative.txt", tmp.filePath("a,b.txt"), tmp.filePath("a\\b.txt")};
    const XdgEmailCall call = BuildXdgEmailCall(m);
    EXPECT_EQ(call.refused,
              QStringList({"\"q\"@example.org", "relative.txt", tmp.filePath("a,b.txt"),
                           tmp.filePath("a\\b.txt"), "bob@example.org,evil@example.org",
                           "mailto:eve@evil.example?attach=/etc/passwd"}));

    QStringList received;
    EXPECT_EQ(Run(call.arguments, received), 0);
    EXPECT_EQ(received,
              QStringList({"--utf8", "--cc", "cy@example.org", "--bcc", "bo@example.org",
                           "--attach", staged,
                           "mailto:ann@example.org,dan@example.org"
                           "?subject=Z%C3%BCrich%20Bcc%3A%20evil%40example.org"
                           "&body=Line%20one%2C%20with%20a%20comma%0D%0ALine%20%22two%22%20%26%20more"}));
}

// The real xdg-email, with a recording xdg-email-hook.sh first on PATH (it
// hands the hook the link it would open): every field arrives as it was,
// read back by QUrlQuery, and nothing is added.
TEST_F(Handoff, XdgEmailOpensALinkWithExactlyTheGivenFields)
{
    if (!QFile::exists("/usr/bin/xdg-email"))
        GTEST_SKIP() << "xdg-utils is not installed (scripts/setup installs it)";
    const QString hook = tmp.filePath("bin/xdg-email-hook.sh");
    const QString opened = tmp.filePath("opened");
    {
        QFile f(hook);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nprintf '%s' \"$1\" > '" + opened.toUtf8() + "'\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QFile::remove(tmp.filePath("bin/xdg-email")); // the real one, further down PATH

    const struct
    {
        const char* what;
        QStringList to, cc;
        QString subject, body;
    } cases[] = {
        {"backslashes, escapes and signs",
         {"ann@example.org", "bob@example.org"},
         {"cy@example.org"},
         "C:\\new\\cut \\c 100% & a=b?",
         "Path C:\\temp\\new\nsecond \\c line\n\n'quoted' \"too\" #1 + 2"},
        {"nothing but a subject", {}, {}, QString::fromUtf8("Grüße, Ελλάδα"), ""},
        {"no fields at all", {"ann@example.org"}, {}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(opened);
        HandoffMessage m;
        for (const QString& a : c.to)
            m.to.append(EmailAddress("", a));
        for (const QString& a : c.cc)
            m.cc.append(EmailAddress("", a));
        m.subject = c.subject;
        m.body = c.body;
        const XdgEmailCall call = BuildXdgEmailCall(m);
        ASSERT_TRUE(call.refused.isEmpty());
        QStringList unused;
        ASSERT_EQ(Run(call.arguments, unused), 0);
        QFile f(opened);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QUrl link(QString::fromUtf8(f.readAll()), QUrl::StrictMode);
        ASSERT_TRUE(link.isValid()) << link.errorString().toStdString();
        EXPECT_EQ(link.scheme(), "mailto");
        EXPECT_EQ(link.path(QUrl::FullyDecoded), c.to.join(','));
        const QUrlQuery query(link.query(QUrl::FullyEncoded));
        QStringList keys;
        for (const auto& item : query.queryItems())
            keys << item.first;
        QStringList want;
        if (!c.subject.isEmpty())
            want << "subject";
        if (!c.body.isEmpty())
            want << "body";
        for (int i = 0; i < c.cc.size(); ++i)
            want << "cc";
        EXPECT_EQ(keys, want);
        EXPECT_EQ(query.allQueryItemValues("cc", QUrl::FullyDecoded), c.cc);
        EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded), c.subject);
        QString body = c.body;
        EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded),
                  body.replace("\n", "\r\n"));
    }
}

TEST_F(Handoff, ExitStatusIsReported)
{
    exitStatus.Set("3");
    XdgEmailRun run;
    QSignalSpy done(&run, &XdgEmailRun::finished);
    run.Start({"--utf8"});
    ASSERT_TRUE(done.wait(60000));
    EXPECT_EQ(done.first().at(0).toInt(), 3);
    EXPECT_TRUE(done.first().at(1).toString().contains("3"));

    path.Set(tmp.filePath("nowhere").toUtf8());
    XdgEmailRun missing;
    QSignalSpy failed(&missing, &XdgEmailRun::finished);
    missing.Start({"--utf8"});
    ASSERT_TRUE(failed.count() == 1 || failed.wait(60000));
    EXPECT_EQ(failed.first().at(0).toInt(), -1);
    EXPECT_FALSE(XdgEmailRun::AnyRunning());
}

} // namespace
