// Files written by an earlier build of Velmora (tests/fixtures/legacy: two
// mailbox files, velmora.ini, addressbook.vlab and english.lng, written
// before the classes were renamed) load unchanged, and writing them again
// gives the same bytes: the file formats did not move.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "addressbook/AddressBook.h"
#include "config/Settings.h"
#include "core/AppInfo.h"
#include "lang/BuiltinLanguage.h"
#include "lang/LangFile.h"
#include "mime/MessageRecord.h"
#include "model/AccountsDirectory.h"
#include "model/MailAccount.h"
#include "model/MailStartup.h"
#include "model/Mailbox.h"

using namespace vm;

namespace {

const QString kFixtures = QStringLiteral(VELMORA_SOURCE_DIR "/tests/fixtures/legacy/");

QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A private copy of the fixtures, so loading and saving never touch them.
QString CopyFixtures(const QTemporaryDir& tmp)
{
    const QString dir = tmp.path() + '/';
    for (const QString& name : QDir(kFixtures).entryList(QDir::Files))
        QFile::copy(kFixtures + name, dir + name);
    return dir;
}

} // namespace

TEST(LegacyFiles, MailboxFilesLoadAndSaveByteForByte)
{
    QTemporaryDir tmp;
    const QString dir = CopyFixtures(tmp);
    AccountsDirectory accounts;
    int problems = 0;
    MailboxLoadReports reports;
    reports.incomplete = [&](const QString&) { ++problems; };
    reports.invalid = [&](const QString&) { ++problems; };
    reports.unreadable = [&](const QString&, const QString&) { ++problems; };
    MailboxLoadOptions load;
    ASSERT_EQ(LoadMailboxesAtStart(accounts, dir, load, reports), 2);
    EXPECT_EQ(problems, 0);

    MailAccount* anna = accounts.At(0)->Login() == "anna" ? accounts.At(0) : accounts.At(1);
    MailAccount* archive = anna == accounts.At(0) ? accounts.At(1) : accounts.At(0);
    EXPECT_EQ(anna->Password(), "s3cret");
    EXPECT_EQ(anna->Server(), "pop.example.org");
    EXPECT_EQ(anna->Pop3Port(), 995);
    EXPECT_EQ(anna->FriendlyName(), "Work mail");
    EXPECT_EQ(archive->Login(), "archive");
    EXPECT_TRUE(archive->Password().isEmpty());

    const Mailbox& box = anna->Box();
    ASSERT_EQ(box.Count(), 3);
    const MessageRecord* plain = box.FindByUIDL("uid-1");
    MessageRecord* multipart = box.FindByUIDL("uid-2");
    const MessageRecord* headers = box.FindByUIDL("uid-3");
    ASSERT_TRUE(plain && multipart && headers);
    EXPECT_FALSE(plain->headersOnly);
    EXPECT_TRUE(plain->raw.endsWith("Hello Anna,\r\n\r\nsee you soon.\r\n"));
    EXPECT_EQ(plain->Subject(), QString::fromUtf8("Rückfrage"));
    EXPECT_TRUE(plain->IsNew());
    EXPECT_FALSE(multipart->headersOnly);
    EXPECT_TRUE(headers->headersOnly);
    EXPECT_EQ(headers->size, 1245678);

    // Written again with the options of the earlier build: the same bytes.
    MailboxSaveOptions save;
    save.OldMessagesSaveHeaders = false;
    const QByteArray before = Read(dir + anna->MailboxFileName());
    ASSERT_FALSE(before.isEmpty());
    anna->SaveToFile(save);
    archive->SaveToFile(save);
    EXPECT_EQ(Read(dir + anna->MailboxFileName()), Read(kFixtures + "anna.mbx"));
    EXPECT_EQ(Read(dir + archive->MailboxFileName()), Read(kFixtures + "archive.mbx"));
    // Asked only now: a counted attachment is stored with the record.
    EXPECT_EQ(multipart->VisibleAttachmentCount(), 1);
}

TEST(LegacyFiles, SettingsAddressBookAndLanguageFile)
{
    QTemporaryDir tmp;
    const QString dir = CopyFixtures(tmp);

    Settings settings;
    ASSERT_TRUE(settings.Load(dir + "velmora.ini"));
    EXPECT_EQ(settings.LastAccount, "Work mail");
    EXPECT_EQ(settings.MainWndLeft, 40);
    EXPECT_EQ(settings.MainWndBottom, 770);
    EXPECT_EQ(settings.MainWndHorzDiv, 230);
    EXPECT_EQ(settings.DefIncomingEncoding, 3);
    EXPECT_EQ(settings.ConnectTimeout, 45);
    EXPECT_FALSE(settings.CheckMailOnStartup);
    ASSERT_TRUE(settings.Save(dir + "velmora.ini"));
    // Every line comes back as it was; keys newer than the file are added
    // with their defaults.
    QList<QByteArray> saved = Read(dir + "velmora.ini").split('\n');
    const QList<QByteArray> added{"MessageNotificationBox=1", "MainWndMaximized=0",
                                  "MainWndColumnWidths="};
    for (const QByteArray& line : added)
        EXPECT_EQ(saved.removeAll(line), 1) << line.constData();
    EXPECT_EQ(saved, Read(kFixtures + "velmora.ini").split('\n'));

    AddressBook book;
    book.LoadFromFile(dir + "addressbook.vlab");
    ASSERT_EQ(book.Count(), 2);
    EXPECT_EQ(book.At(0)->DisplayName(), QString::fromUtf8("Zoë Łukasiewicz"));
    EXPECT_EQ(book.At(0)->emails.Joined(), "zoe@example.pl; z.l@example.com");
    EXPECT_EQ(book.At(0)->telephone, "+48 22 123 45 67");
    EXPECT_EQ(book.At(1)->lastName, "Example Ltd");
    EXPECT_EQ(book.At(1)->webSite, "https://example.com");
    book.SaveToFile(dir + "addressbook.vlab");
    EXPECT_EQ(Read(dir + "addressbook.vlab"), Read(kFixtures + "addressbook.vlab"));

    // The built-in English file keeps every line of the earlier one, in
    // order (texts added since come in between).
    const QList<QByteArray> now = BuiltinEnglishFile().split('\n');
    const QList<QByteArray> before = Read(kFixtures + "english.lng").split('\n');
    ASSERT_GT(before.size(), 500);
    qsizetype at = 0;
    for (const QByteArray& line : before) {
        while (at < now.size() && now[at] != line)
            ++at;
        ASSERT_LT(at, now.size()) << "missing or moved: " << line.toStdString();
        ++at;
    }
}
