// Every file the program owns (mailbox files, the address book and its
// backup, the settings, the trusted certificates, the language file written
// out) is readable by its owner only from the moment it appears, under the
// usual umask, whether it is new or replaces a file others could read.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>

#include "addressbook/AddressBook.h"
#include "config/Settings.h"
#include "lang/BuiltinLanguage.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "net/TlsTrust.h"
#include "support/FileCallLog.h"
#include "support/TestFiles.h"
#include "support/Umask.h"

using namespace vm;
using namespace vm::test;

namespace {

unsigned ModeOf(const QString& path)
{
    return vm::test::ModeOf(QFile::encodeName(path).constData());
}

struct Writer
{
    const char* what;
    const char* fileName;
    // Writes the file into the folder; false when the writer says it failed.
    std::function<bool(const QString& dir)> write;
    // A further file written when the file existed before (the backup).
    const char* backupName = nullptr;
};

bool SaveMailbox(const QString& dir, bool replacing)
{
    AccountsDirectory accounts;
    accounts.SetMailboxDirectory(dir);
    MailAccount account(&accounts);
    account.Login() = "anna";
    if (replacing)
        account.MailboxFileName() = QStringLiteral("anna.mbx");
    account.SaveToFile({});
    return true;
}

} // namespace

TEST(OwnedFiles, OwnerOnlyFromTheStartUnderUmask022)
{
    ScopedUmask umask(022);
    bool replacing = false;
    const Writer writers[] = {
        {"mailbox file", "anna.mbx",
         [&](const QString& dir) { return SaveMailbox(dir, replacing); }},
        {"address book", "addressbook.vlab",
         [](const QString& dir) {
             AddressBook book;
             const QString path = QDir(dir).filePath("addressbook.vlab");
             // A book that failed to load is kept as a backup before it is replaced.
             if (QFile::exists(path))
                 book.damagedFile = path;
             book.SaveToFile(path);
             return true;
         },
         "addressbook.vlab.bak"},
        {"settings", "velmora.ini",
         [](const QString& dir) { return Settings().Save(QDir(dir).filePath("velmora.ini")); }},
        {"trusted certificates", "certificates.ini",
         [](const QString& dir) {
             SetTrustFilePath(QDir(dir).filePath("certificates.ini"));
             const bool ok = AddTrustedCertificate("mail.example.com", 995, QString(64, 'A'));
             SetTrustFilePath(QString());
             return ok;
         }},
        {"language file", "english.lng",
         [](const QString& dir) { return WriteBuiltinEnglish(dir); }},
        {"translations and their record", "languages.sha256",
         [](const QString& dir) {
             UpdateBuiltinLanguages(dir);
             return QFile::exists(QDir(dir).filePath("polish.lng"));
         }},
    };
    for (const Writer& w : writers) {
        for (const bool before : {false, true}) {
            replacing = before;
            SCOPED_TRACE(std::string(w.what) + (before ? ", replacing a 0644 file" : ", new file"));
            QTemporaryDir tmp;
            ASSERT_TRUE(tmp.isValid());
            const QString dir = QFileInfo(tmp.path()).canonicalFilePath();
            const QString path = QDir(dir).filePath(w.fileName);
            if (before) {
                WriteFile(path, "old content");
                ASSERT_EQ(ModeOf(path), 0644u);
            }
            StartFileCallLog();
            ASSERT_TRUE(w.write(dir));
            StopFileCallLog();
            EXPECT_EQ(ModeOf(path), 0600u);
            QStringList appeared;
            for (const FileCall& call : FileCalls())
                if (call.kind == FileCall::Appear) {
                    appeared << QFileInfo(call.path).fileName();
                    EXPECT_EQ(call.mode, 0600u) << call.path.toStdString();
                }
            EXPECT_TRUE(appeared.contains(w.fileName));
            if (before && w.backupName) {
                const QString backup = QDir(dir).filePath(w.backupName);
                EXPECT_EQ(ReadFile(backup), QByteArray("old content"));
                EXPECT_EQ(ModeOf(backup), 0600u);
            }
        }
    }
}
