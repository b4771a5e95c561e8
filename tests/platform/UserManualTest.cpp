// The user manual: the built-in copy written out to the cache folder with
// every local link and anchor of its pages resolving, the write-out keeping
// files that are already current, and the installed copy found next to the
// program's bin folder.

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "platform/UserManual.h"

using namespace vm;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

ino_t Inode(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

TEST(UserManual, BuiltInManualIsWrittenToTheCacheWithEveryLocalLinkResolving)
{
    // The program's folder (the test's build folder) holds no installed manual.
    int argc = 1;
    char name[] = "test_platform";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir cache;
    ASSERT_TRUE(cache.isValid());
    const QString index = [&] {
        const vm::test::ScopedEnv cacheHome("XDG_CACHE_HOME", cache.path().toUtf8());
        return UserManualIndex();
    }();
    ASSERT_EQ(index, cache.path() + "/velmora/manual/index.html");

    static const QRegularExpression link(R"re((?:href|src)="([^"]*)")re");
    static const QRegularExpression anchor(R"re(\bid="([^"]+)")re");
    int pages = 0;
    int localLinks = 0;
    QDirIterator it(QFileInfo(index).absolutePath(), {"*.html"}, QDir::Files);
    while (it.hasNext()) {
        const QString page = it.next();
        const QString text = QString::fromUtf8(ReadAll(page));
        ++pages;
        QSet<QString> ids;
        for (const auto& m : anchor.globalMatch(text))
            ids.insert(m.captured(1));
        for (const auto& m : link.globalMatch(text)) {
            const QString target = m.captured(1);
            SCOPED_TRACE(page.toStdString() + ": " + target.toStdString());
            EXPECT_FALSE(target.isEmpty());
            if (target.contains(':')) // http:, mailto: ... leave the manual
                continue;
            ++localLinks;
            const QString file = target.section('#', 0, 0);
            const QString fragment = target.section('#', 1);
            if (!file.isEmpty()) {
                EXPECT_TRUE(QFileInfo(QFileInfo(page).dir().filePath(file)).isFile());
            } else {
                EXPECT_TRUE(ids.contains(fragment));
            }
        }
    }
    EXPECT_GE(pages, 1);
    EXPECT_GT(localLinks, 10); // the table of contents, the style sheet, the pictures
}

TEST(UserManual, WriteOutCopiesTreesAndKeepsFilesThatAreCurrent)
{
    QTemporaryDir source, target;
    ASSERT_TRUE(source.isValid() && target.isValid());
    const QString out = target.path() + "/manual";
    EXPECT_TRUE(WriteOutManual(source.path(), out).isEmpty()); // no start page
    EXPECT_FALSE(QFileInfo::exists(out));

    ASSERT_TRUE(WriteAll(source.path() + "/index.html", "<p>one</p>"));
    ASSERT_TRUE(WriteAll(source.path() + "/pictures/a.png", "PNG"));
    ASSERT_EQ(WriteOutManual(source.path(), out), out + "/index.html");
    EXPECT_EQ(ReadAll(out + "/index.html"), "<p>one</p>");
    EXPECT_EQ(ReadAll(out + "/pictures/a.png"), "PNG");

    // A second write-out leaves the current file in place (an open page is
    // not replaced) and replaces the changed one, also when it shrank.
    const ino_t before = Inode(out + "/pictures/a.png");
    ASSERT_NE(before, ino_t(0));
    ASSERT_TRUE(WriteAll(source.path() + "/index.html", "<p>2</p>"));
    ASSERT_EQ(WriteOutManual(source.path(), out), out + "/index.html");
    EXPECT_EQ(ReadAll(out + "/index.html"), "<p>2</p>");
    EXPECT_EQ(Inode(out + "/pictures/a.png"), before);

    // A target that cannot be made fails.
    ASSERT_TRUE(WriteAll(target.path() + "/file", "x"));
    EXPECT_TRUE(WriteOutManual(source.path(), target.path() + "/file/manual").isEmpty());
}

TEST(UserManual, InstalledManualIsFoundBesideTheBinFolder)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QString bin = prefix.path() + "/bin";
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_TRUE(InstalledManualIndex(bin).isEmpty());
    const QString index = prefix.path() + "/share/doc/velmora/manual/index.html";
    ASSERT_TRUE(WriteAll(index, "<p>installed</p>"));
    EXPECT_EQ(InstalledManualIndex(bin), index);
}

} // namespace
