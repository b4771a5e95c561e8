// Saving messages and attachments as files: names, content, free names in a
// folder and writing without replacing or execute permission.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "core/Messages.h"
#include "lang/BuiltinLanguage.h"
#include "lang/LanguageShell.h"
#include "mime/MessageRecord.h"
#include "render/MessageFiles.h"

using namespace vm;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(MessageFiles, MessageFileNameFromTheSubject)
{
    const struct
    {
        const char* subject;
        const char* name;
    } cases[] = {
        {"Hello", "Hello.eml"},
        {"Re: a/b", "Re_ a_b.eml"},
        {"<>*?\\/':;\"", "__________.eml"},
        {"../../etc/passwd", "_.._etc_passwd.eml"},
        {".bashrc", "bashrc.eml"},
        {"", "message.eml"},
        {"...", "message.eml"},
        {"  ", "message.eml"},
        {"tab\there", "tab_here.eml"},
        {"caf\xC3\xA9 |x|", "caf\xC3\xA9 _x_.eml"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageFileName(QString::fromUtf8(c.subject)), QString::fromUtf8(c.name))
            << c.subject;
    const QString longName = MessageFileName(QString(400, QChar(0x4E2D)));
    EXPECT_TRUE(longName.endsWith(".eml"));
    EXPECT_LE(longName.toUtf8().size(), 240);
}

TEST(MessageFiles, MessageContentIsTheRawTextOrTheHeaderLines)
{
    MessageRecord whole;
    whole.raw = "Subject: s\r\nX-Folded: a\r\n b\r\n\r\nbody \x00\xFF\r\nend"_qba;
    whole.headersOnly = false;
    EXPECT_EQ(MessageFileContent(whole), whole.raw);

    MessageRecord head;
    head.raw = "Subject: s\r\nX-Folded: a\r\n b\r\n\r\n";
    head.headersOnly = true;
    EXPECT_EQ(MessageFileContent(head), "Subject: s\r\nX-Folded: a\r\n b\r\n");
}

TEST(MessageFiles, FreeNamesInAFolderNeverReplaceAFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(WriteDataFile(FreeFilePath(dir.path(), "s.eml"), QByteArray::number(i), true));
    EXPECT_EQ(ReadAll(dir.filePath("s (2).eml")), "2");
    EXPECT_EQ(FreeFilePath(dir.path(), "noext"), dir.filePath("noext"));

    // A dangling link takes its name too: writing through it could create a
    // file anywhere.
    ASSERT_TRUE(QFile::link(dir.filePath("gone"), dir.filePath("a.txt")));
    EXPECT_EQ(FreeFilePath(dir.path(), "a.txt"), dir.filePath("a (1).txt"));
    EXPECT_FALSE(WriteDataFile(dir.filePath("a.txt"), "x", true));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("gone")));

    // Writing a new file fails over an existing one; replacing keeps no
    // execute bit even when the old file had one.
    const QString old = dir.filePath("s.eml");
    EXPECT_FALSE(WriteDataFile(old, "new", true));
    EXPECT_EQ(ReadAll(old), "0");
    ASSERT_TRUE(QFile::setPermissions(old, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ExeGroup | QFile::ReadOther));
    ASSERT_TRUE(WriteDataFile(old, "new", false));
    EXPECT_EQ(ReadAll(old), "new");
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
        EXPECT_EQ(QFile::permissions(dir.filePath(name)) & 0x7777,
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser)
            << name.toStdString();
    EXPECT_FALSE(WriteDataFile(dir.filePath("no/such/folder/x"), "x", false));

    // Replacing a link replaces the link itself: its target stays as it was.
    const QString target = dir.filePath("target.txt");
    ASSERT_TRUE(WriteDataFile(target, "target", true));
    ASSERT_TRUE(QFile::link(target, dir.filePath("link.txt")));
    ASSERT_TRUE(WriteDataFile(dir.filePath("link.txt"), "through", false));
    EXPECT_EQ(ReadAll(target), "target");
    EXPECT_FALSE(QFileInfo(dir.filePath("link.txt")).isSymLink());
    EXPECT_EQ(ReadAll(dir.filePath("link.txt")), "through");
}

TEST(MessageFiles, RunnableTypes)
{
    for (const char* name : {"start.desktop", "x.SH", "setup.exe", "app.jar", "launch.JNLP",
                             "a.tar.py", "r.AppImage"})
        EXPECT_TRUE(IsRunnableFileType(name)) << name;
    for (const char* name : {"photo.jpg", "report.pdf", "notes.txt", "shell", "desktop", "a.eml"})
        EXPECT_FALSE(IsRunnableFileType(name)) << name;
}

// What the desktop would run whatever the name says: a "#!" line, an ELF or
// a PE header, a desktop entry, a Java launch file.
TEST(MessageFiles, RunnableContent)
{
    QByteArray pe = "MZ" + QByteArray(0x3A, '\0');
    pe += QByteArray("\x40\0\0\0", 4) + "PE" + QByteArray(2, '\0');
    QByteArray notPe = pe;
    notPe[0x40] = 'X';
    const struct
    {
        const char* name;
        QByteArray head;
        bool runnable;
    } cases[] = {
        {"readme", "#!/bin/sh\necho hi\n", true},
        {"notes.txt", "#!/usr/bin/env python3\n", true},
        {"picture.jpg", QByteArray("\x7F" "ELF\x02\x01\x01\0", 8), true},
        {"letter.txt", pe, true},
        {"letter.txt", notPe, false},
        {"letter.txt", "MZ is where the letter starts.\n", false},
        {"entry", "[Desktop Entry]\nType=Application\nExec=sh\n", true},
        {"launch.jnlp", "<?xml version=\"1.0\"?>\n<jnlp spec=\"1.0+\"></jnlp>\n", true},
        {"notes.txt", "Dear Ann,\nthe numbers are in.\n", false},
        {"report.pdf", "%PDF-1.4\n", false},
        {"empty", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsRunnableContent(c.name, c.head), c.runnable) << c.name << " " << c.head.left(16).toHex().constData();
}

namespace {

MessageRecord Whole(const QByteArray& subject, const QByteArray& body)
{
    MessageRecord m;
    m.raw = "Subject: " + subject + "\r\n\r\n" + body;
    m.headersOnly = false;
    return m;
}

} // namespace

TEST(MessageFiles, SavingListRowsIntoAFolderOrThroughDialogs)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(WriteBuiltinEnglish(dir.path()));
    ASSERT_TRUE(LoadLanguage(dir.path() + "/english.lng"));
    RecordingMessageService service;
    SetMessageService(&service);
    const MessageRecord a = Whole("s", "one"), b = Whole("s", "two"), c = Whole("s", "three");
    const QList<const MessageRecord*> three{&a, &b, &c};

    // One folder for all: " (1)", " (2)" before ".eml", each with its bytes.
    service.answer = [](const MessageRequest&) { return MsgAnswer::Yes; };
    QStringList titles;
    MessageSaveChoosers choose;
    choose.chooseFolder = [&](const QString& title) {
        titles.append(title);
        return dir.path();
    };
    choose.chooseFile = [](const QString&) -> QString {
        ADD_FAILURE() << "no dialog in folder mode";
        return {};
    };
    QStringList written = SaveMessages(three, choose);
    EXPECT_EQ(titles, QStringList{"Save messages"});
    ASSERT_EQ(written.size(), 3);
    EXPECT_EQ(written, QStringList({dir.filePath("s.eml"), dir.filePath("s (1).eml"),
                                    dir.filePath("s (2).eml")}));
    EXPECT_EQ(ReadAll(written[2]), c.raw);
    // A cancelled folder browser saves nothing.
    choose.chooseFolder = [](const QString&) { return QString(); };
    EXPECT_TRUE(SaveMessages(three, choose).isEmpty());

    // One dialog per message: cancelling the second stops the rest.
    service.answer = [](const MessageRequest&) { return MsgAnswer::No; };
    QStringList offered;
    choose.chooseFile = [&](const QString& name) {
        offered.append(name);
        return offered.size() == 2 ? QString() : dir.filePath("dialog.eml");
    };
    written = SaveMessages(three, choose);
    EXPECT_EQ(offered, QStringList({"s.eml", "s.eml"}));
    EXPECT_EQ(written, QStringList{dir.filePath("dialog.eml")});
    EXPECT_EQ(ReadAll(dir.filePath("dialog.eml")), a.raw);

    // A file that cannot be written is reported and the next one saved.
    // Writing is announced around each write only: never over a dialog or a
    // message box.
    service.shown.clear();
    offered.clear();
    QStringList events;
    bool writing = false;
    service.answer = [&](const MessageRequest&) {
        events.append(writing ? "box while writing" : "box");
        return MsgAnswer::No;
    };
    choose.chooseFile = [&](const QString&) {
        events.append(writing ? "dialog while writing" : "dialog");
        offered.append(offered.isEmpty() ? dir.filePath("no/such/x.eml") : dir.filePath("next.eml"));
        return offered.last();
    };
    choose.writing = [&](bool on) {
        writing = on;
        events.append(on ? "on" : QFile::exists(offered.last()) ? "off, written" : "off, absent");
    };
    written = SaveMessages({&a, &b}, choose);
    EXPECT_EQ(events, QStringList({"box", "dialog", "on", "off, absent", "box", "dialog", "on",
                                   "off, written"}));
    EXPECT_EQ(written, QStringList{dir.filePath("next.eml")});
    ASSERT_EQ(service.shown.size(), 2); // the question, then the error
    EXPECT_EQ(service.shown[1].icon, MsgIcon::Error);
    EXPECT_TRUE(service.shown[1].text.contains(dir.filePath("no/such/x.eml")))
        << service.shown[1].text.toStdString();
    EXPECT_TRUE(service.shown[1].text.endsWith("\n\nNo such file or directory"))
        << service.shown[1].text.toStdString();
    SetMessageService(nullptr);
}

// An attachment that cannot be written is listed with the system's reason.
TEST(MessageFiles, AttachmentsThatCannotBeWrittenNameTheReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    MessageRecord m = Whole("s", "");
    m.raw = "Subject: s\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
            "--b\r\nContent-Type: text/plain\r\n\r\ntext\r\n"
            "--b\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename=a.txt\r\n"
            "\r\npart\r\n--b--\r\n";
    m.ParseWhole();
    QStringList failed;
    EXPECT_TRUE(SaveAttachmentsInto(m, dir.filePath("gone"), &failed).isEmpty());
    EXPECT_EQ(failed, QStringList{"a.txt: No such file or directory"});
}
