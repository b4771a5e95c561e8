#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/DataDir.h"
#include "core/TempDir.h"
#include "support/Umask.h"

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

namespace {
unsigned ModeOf(const QString& path)
{
    return vm::test::ModeOf(QFile::encodeName(path).constData());
}
} // namespace

// Under the usual umask the data directory and every folder made above it
// are 0700 from the start; a directory that already exists keeps its mode.
TEST(DataDir, CreatedPrivateUnderUmask022)
{
    vm::test::ScopedUmask umask(022);
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString top = QDir(root.path()).filePath("share");
    const QString data = QDir(top).filePath("velmora");
    EXPECT_EQ(PrepareDataDir(data), QString());
    EXPECT_EQ(ModeOf(top), 0700u);
    EXPECT_EQ(ModeOf(data), 0700u);

    const QString existing = QDir(root.path()).filePath("existing");
    ASSERT_TRUE(QDir().mkdir(existing));
    ASSERT_EQ(ModeOf(existing), 0755u);
    EXPECT_EQ(PrepareDataDir(existing), QString());
    EXPECT_EQ(ModeOf(existing), 0755u);
}

// Folders others can enter, read or write are named once each; private and
// missing ones are not named.
TEST(DataDir, DirectoriesOpenToOthers)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    struct Case
    {
        const char* name;
        unsigned mode;
        bool open;
    } const cases[] = {{"private", 0700, false},
                       {"readable", 0755, true},
                       {"group", 0710, true},
                       {"world-writable", 0703, true}};
    QStringList dirs, expected;
    for (const Case& c : cases) {
        const QString path = QDir(root.path()).filePath(c.name);
        ASSERT_TRUE(QDir().mkdir(path));
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), c.mode), 0);
        dirs << path;
        if (c.open)
            expected << path;
    }
    // The same folder again (as the mailbox folder, with a trailing slash)
    // and a missing one.
    dirs << QDir(root.path()).filePath("readable") + '/' << QDir(root.path()).filePath("missing");
    EXPECT_EQ(DirectoriesOpenToOthers(dirs), expected);
}

TEST(TempDir, PrivateAndRemovable)
{
    vm::test::ScopedUmask umask(022);
    const QString p = TempDirPath();
    ASSERT_FALSE(p.isEmpty());
    EXPECT_EQ(TempDirPath(), p); // one per process
    EXPECT_EQ(ModeOf(p), 0700u);
    QFile f(QDir(p).filePath("page.html"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    RemoveTempDir();
    EXPECT_FALSE(QDir(p).exists());
    EXPECT_NE(TempDirPath(), p); // a new one on next use
    RemoveTempDir();
}
