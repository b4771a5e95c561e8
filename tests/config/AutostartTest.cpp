#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QFile>
#include <QTemporaryDir>

#include "platform/Autostart.h"

using namespace vm;

TEST(Autostart, ExecLineQuotesThePathAndNamesTheDataDirectory)
{
    struct Case
    {
        const char* exe;
        const char* dataDir;
        const char* line;
    };
    // Inside quotes " ` $ \ are escaped, then every backslash is doubled by
    // the string escaping of desktop entries; % is doubled.
    const Case cases[] = {
        {"/opt/velmora/velmora", "", "\"/opt/velmora/velmora\" -startup"},
        {"/a b/$x\"y\\z%", "", "\"/a b/\\\\$x\\\\\"y\\\\\\\\z%%\" -startup"},
        {"/usr/bin/velmora", "/home/a/mail data",
         "\"/usr/bin/velmora\" -startup --data-dir \"/home/a/mail data\""},
        {"/usr/bin/velmora", "/d/$1%\"", "\"/usr/bin/velmora\" -startup --data-dir \"/d/\\\\$1%%\\\\\"\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AutostartExecLine(c.exe, c.dataDir), QString(c.line)) << c.exe << c.dataDir;
}

TEST(Autostart, WrittenAndRemovedUnderXdgConfigHome)
{
    QTemporaryDir dir;
    const vm::test::ScopedEnv configHome("XDG_CONFIG_HOME", dir.path().toUtf8());
    const QString path = dir.path() + "/autostart/velmora.desktop";
    EXPECT_EQ(AutostartFilePath(), path);
    ASSERT_TRUE(SetRunOnStartup(true, "/usr/bin/velmora", "/srv/mail"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/usr/bin/velmora\" -startup --data-dir \"/srv/mail\"\n"));
    f.close();
    EXPECT_TRUE(SetRunOnStartup(false, "/usr/bin/velmora"));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(SetRunOnStartup(false, "/usr/bin/velmora")); // nothing to remove
}
