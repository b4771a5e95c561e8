#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/Autostart.h"

using namespace vm;

TEST(Autostart, ExecLineQuotesThePath)
{
    EXPECT_EQ(AutostartExecLine("/opt/velmora/velmora"),
              QString("\"/opt/velmora/velmora\" -startup"));
    // Inside quotes " ` $ \ are escaped, then every backslash is doubled by
    // the string escaping of desktop entries; % is doubled.
    EXPECT_EQ(AutostartExecLine("/a b/$x\"y\\z%"),
              QString("\"/a b/\\\\$x\\\\\"y\\\\\\\\z%%\" -startup"));
}

TEST(Autostart, WrittenAndRemovedUnderXdgConfigHome)
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    const QString path = dir.path() + "/autostart/velmora.desktop";
    EXPECT_EQ(AutostartFilePath(), path);
    ASSERT_TRUE(SetRunOnStartup(true, "/usr/bin/velmora"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/usr/bin/velmora\" -startup\n"));
    f.close();
    EXPECT_TRUE(SetRunOnStartup(false, "/usr/bin/velmora"));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(SetRunOnStartup(false, "/usr/bin/velmora")); // nothing to remove
    qunsetenv("XDG_CONFIG_HOME");
}
