#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/DataDir.h"
#include "core/TempDir.h"

using namespace vm;

TEST(DataDir, ResolutionOrder)
{
    QTemporaryDir exe;
    ASSERT_TRUE(exe.isValid());
    const QString home = "/home/someone";

    // Command line beats everything.
    auto c = ResolveDataDir("/a/b", "/env", exe.path(), home, "/xdg");
    EXPECT_EQ(c.path, "/a/b");
    EXPECT_EQ(c.source, DataDirSource::CommandLine);

    // Then the environment variable.
    c = ResolveDataDir("", "/env/", exe.path(), home, "/xdg");
    EXPECT_EQ(c.path, "/env");
    EXPECT_EQ(c.source, DataDirSource::Environment);

    // No portable marker: the XDG data home.
    c = ResolveDataDir("", "", exe.path(), home, "/xdg");
    EXPECT_EQ(c.path, "/xdg/velmora");
    EXPECT_EQ(c.source, DataDirSource::UserDefault);

    // Portable marker beside the executable.
    QFile marker(QDir(exe.path()).filePath("portable"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    c = ResolveDataDir("", "", exe.path(), home, "/xdg");
    EXPECT_EQ(c.path, QDir(exe.path()).absolutePath());
    EXPECT_EQ(c.source, DataDirSource::Portable);

    // Environment still wins over the marker.
    c = ResolveDataDir("", "/env", exe.path(), home, "/xdg");
    EXPECT_EQ(c.source, DataDirSource::Environment);
}

TEST(DataDir, XdgDefaultsAndRelativeXdgIgnored)
{
    auto c = ResolveDataDir("", "", "", "/home/u", "");
    EXPECT_EQ(c.path, "/home/u/.local/share/velmora");
    c = ResolveDataDir("", "", "", "/home/u", "relative/path");
    EXPECT_EQ(c.path, "/home/u/.local/share/velmora");
}

TEST(DataDir, RelativeCommandLinePathBecomesAbsolute)
{
    auto c = ResolveDataDir("some/dir", "", "", "/h", "");
    EXPECT_TRUE(QDir::isAbsolutePath(c.path));
    EXPECT_TRUE(c.path.endsWith("some/dir"));
}

TEST(DataDir, PrepareCreatesMissingAndRejectsFilesAndUnwritable)
{
    QTemporaryDir root;
    const QString nested = QDir(root.path()).filePath("x/y/z");
    EXPECT_EQ(PrepareDataDir(nested), QString());
    EXPECT_TRUE(QDir(nested).exists());

    const QString file = QDir(root.path()).filePath("afile");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_NE(PrepareDataDir(file), QString());
    EXPECT_NE(PrepareDataDir(QDir(file).filePath("below")), QString());

    if (getuid() != 0) { // root can write anywhere
        const QString ro = QDir(root.path()).filePath("ro");
        QDir().mkpath(ro);
        QFile::setPermissions(ro, QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_NE(PrepareDataDir(ro), QString());
    }
}

TEST(TempDir, PrivateAndRemovable)
{
    const QString p = TempDirPath();
    ASSERT_FALSE(p.isEmpty());
    EXPECT_EQ(TempDirPath(), p); // one per process
    const auto perms = QFile::permissions(p);
    EXPECT_FALSE(perms & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther));
    QFile f(QDir(p).filePath("page.html"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    RemoveTempDir();
    EXPECT_FALSE(QDir(p).exists());
    EXPECT_NE(TempDirPath(), p); // a new one on next use
    RemoveTempDir();
}
