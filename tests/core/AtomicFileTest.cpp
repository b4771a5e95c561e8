// Writing files the program owns: owner-only from the first byte whatever
// the umask or the file replaced, and the folder synced after the rename.

#include <QSaveFile>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <functional>

#include "core/AtomicFile.h"
#include "support/FileCallLog.h"
#include "support/FileSizeLimit.h"
#include "support/TestFiles.h"
#include "support/Umask.h"

using namespace vm;
using namespace vm::test;

namespace {
unsigned ModeOf(const QString& path)
{
    return vm::test::ModeOf(QFile::encodeName(path).constData());
}
} // namespace

// A new file and one that replaces a file others could read: the temporary
// file is 0600 before anything is written to it, and so is the result.
TEST(AtomicFile, OwnerOnlyBeforeTheFirstByte)
{
    ScopedUmask umask(022);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing a 0644 file" : "new file");
        const QString path = dir.filePath(replacing ? "old" : "new");
        if (replacing) {
            WriteFile(path, "previous");
            ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner |
                                                        QFile::ReadGroup | QFile::ReadOther));
        }
        QSaveFile file(path);
        QString error;
        ASSERT_TRUE(OpenSaveFile(file, &error)) << error.toStdString();
        struct stat st = {};
        ASSERT_EQ(::fstat(file.handle(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        file.write("secret");
        ASSERT_TRUE(CommitSaveFile(file, &error)) << error.toStdString();
        EXPECT_EQ(ModeOf(path), 0600u);
        EXPECT_EQ(ReadFile(path), QByteArray("secret"));
    }
}

// After the file got its name, the folder holding it is synced, so the
// rename survives a crash.
TEST(AtomicFile, FolderSyncedAfterTheRename)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = QFileInfo(dir.path()).canonicalFilePath();
    const QString path = QDir(folder).filePath("settings.ini");
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing" : "new file");
        StartFileCallLog();
        ASSERT_TRUE(WriteFileAtomically(path, "data"));
        StopFileCallLog();
        const QList<FileCall> calls = FileCalls();
        qsizetype appeared = -1;
        for (qsizetype i = 0; i < calls.size(); ++i)
            if (calls[i].kind == FileCall::Appear && calls[i].path == path)
                appeared = i;
        ASSERT_GE(appeared, 0) << "the file never got its name through rename or linkat";
        bool synced = false;
        for (qsizetype i = appeared + 1; i < calls.size(); ++i)
            synced = synced || (calls[i].kind == FileCall::Sync && calls[i].directory &&
                                calls[i].path == folder);
        EXPECT_TRUE(synced);
    }
}

// A write that fails names the system's reason, also when it stops part way
// (Qt's own text is then "Unknown error"), and leaves the old file as it was.
TEST(AtomicFile, FailuresNameTheSystemsReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("kept");
    WriteFile(path, "previous");
    WriteFile(dir.filePath("plain"), "x");
    const QByteArray data(200000, 'd');
    struct Case
    {
        const char* what;
        std::function<bool(QString*)> write;
        const char* reason;
    } const cases[] = {
        {"a full disk",
         [&](QString* error) {
             QFile full("/dev/full");
             if (!full.open(QIODevice::WriteOnly)) {
                 *error = "cannot open /dev/full";
                 return true;
             }
             return WriteAll(full, data.constData(), data.size(), error);
         },
         "No space left on device"},
        {"a file-size limit reached part way",
         [&](QString* error) {
             FileSizeLimit limit(65536);
             return WriteFileAtomically(path, data, error);
         },
         "File too large"},
        {"a folder that is a file",
         [&](QString* error) { return WriteFileAtomically(dir.filePath("plain/f"), data, error); },
         "Not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QString error;
        EXPECT_FALSE(c.write(&error));
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
        EXPECT_EQ(ReadFile(path), QByteArray("previous"));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary file left
}
