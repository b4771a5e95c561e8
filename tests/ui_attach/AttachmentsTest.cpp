// Saving and opening attachments and the attachments window, offscreen: the
// overwrite question, the save dialogs' folder, the temporary copies made for
// opening, the warning before a type that could run code, the window's
// buttons and keys, and hostile names saved through the window.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <csignal>
#include <sys/resource.h>

#include "core/Messages.h"
#include "core/TempDir.h"
#include "lang/LangStartup.h"
#include "mime/MessageRecord.h"
#include "support/TestFiles.h"
#include "ui/view/AttachmentActions.h"
#include "ui/view/AttachmentsWindow.h"
#include "ui_main/Fixtures.h"

using namespace vm;
using vm::test::ReadFile;
using vm::test::WriteFile;

namespace {

struct PartSpec
{
    QByteArray nameParameter; // e.g. filename="a.txt"
    QByteArray data;
};

// A whole message with a text body and one attachment for each PartSpec, each
// carried in base64 so that its bytes arrive exactly. Its parts are not
// parsed yet, as after the preview let them go.
std::unique_ptr<MessageRecord> MakeMessage(const QList<PartSpec>& parts)
{
    QByteArray raw = "From: Ann <ann@example.org>\r\nSubject: Files\r\nMIME-Version: 1.0\r\n"
                     "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                     "--b\r\nContent-Type: text/plain\r\n\r\nSee the files.\r\n";
    for (const PartSpec& p : parts)
        raw += "--b\r\nContent-Type: application/octet-stream\r\n"
               "Content-Disposition: attachment; " +
               p.nameParameter + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
               p.data.toBase64() + "\r\n";
    raw += "--b--\r\n";
    auto m = std::make_unique<MessageRecord>();
    m->UID = "files";
    m->headersOnly = false;
    m->raw = raw;
    m->ParseWholeDeferred();
    return m;
}

QByteArray Named(const QByteArray& name)
{
    return "filename=\"" + name + "\"";
}

bool Executable(const QString& path)
{
    return QFileInfo(path).permissions() &
           (QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther);
}

class AttachmentsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        const QString dir = vmtest::EnsureGuiApp();
        ASSERT_EQ(DiscoverLanguageFiles(dir), QString());
        ASSERT_EQ(ChooseAndLoadLanguage(dir, "english.lng"), QString());
    }

    void SetUp() override
    {
        ASSERT_TRUE(out.isValid());
        SetMessageService(&messages);
        SetFolderBrowserFolder(QString());
        AttachmentDesktop d;
        d.chooseFolder = [this](QWidget*, const QString&, const QString& start) {
            folderStarts.append(start);
            return chosenFolder;
        };
        d.chooseFile = [this](QWidget*, const QString& start, const QString& name) {
            fileStarts.append(start);
            fileNames.append(name);
            return chosenFiles.isEmpty() ? QString() : chosenFiles.takeFirst();
        };
        d.open = [this](const QString& path) {
            opened.append(path);
            openedBytes.append(ReadFile(path));
            return openWorks;
        };
        SetAttachmentDesktop(d);
    }

    void TearDown() override
    {
        DeleteOpenedAttachmentCopies();
        SetAttachmentDesktop({});
        SetMessageService(nullptr);
    }

    // The boxes shown with this English text, in order.
    // reason: the system's words added below the text, as error boxes show them.
    QStringList Shown(QString text, const QString& reason = {}) const
    {
        if (!reason.isEmpty())
            text += QStringLiteral("\n\n") + reason;
        QStringList found;
        for (const MessageRequest& r : messages.shown)
            if (r.text == text)
                found.append(r.text);
        return found;
    }

    QTemporaryDir out;
    RecordingMessageService messages;
    QString chosenFolder;
    QStringList chosenFiles;
    QStringList folderStarts, fileStarts, fileNames;
    QStringList opened;
    QList<QByteArray> openedBytes;
    bool openWorks = true;
};

TEST_F(AttachmentsTest, SavingIntoAFolderThatHoldsOneAsksOnce)
{
    struct Case
    {
        const char* name;
        MsgAnswer answer;
        bool blocked; // the taken name is a folder, which cannot be removed
        QByteArray aAfter;
        bool bSaved;
    };
    const std::vector<Case> cases = {
        {"no keeps the old file", MsgAnswer::No, false, "old", true},
        {"yes replaces it", MsgAnswer::Yes, false, "new a", true},
        {"cancel stops the rest", MsgAnswer::Cancel, false, "old", false},
        {"a file that cannot go", MsgAnswer::Yes, true, {}, true},
    };
    auto message = MakeMessage({{Named("a.txt"), "new a"}, {Named("b.txt"), "new b"}});
    message->ParseWhole();
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.shown.clear();
        const QString folder = out.filePath(QString::number(n++));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString a = QDir(folder).filePath("a.txt");
        const QString b = QDir(folder).filePath("b.txt");
        if (c.blocked)
            ASSERT_TRUE(QDir().mkpath(a + "/inside"));
        else
            WriteFile(a, "old");
        chosenFolder = folder;
        messages.answer = [&](const MessageRequest& r) {
            return r.buttons == MsgButtons::YesNoCancel ? c.answer : MsgAnswer::Yes;
        };

        RunAttachmentAction(nullptr, *message, {0, 1}, AttachmentAction::Save);

        EXPECT_EQ(Shown("Save all selected attachment into a single directory?").size(), 1);
        ASSERT_EQ(Shown("File " + a + " already exists - replace it?").size(), 1);
        EXPECT_EQ(messages.shown.size(), c.blocked ? 3 : 2);
        if (c.blocked) {
            EXPECT_EQ(Shown("Can't overwrite file " + a + ".").size(), 1);
        } else {
            EXPECT_EQ(ReadFile(a), c.aAfter);
        }
        EXPECT_EQ(QFileInfo::exists(b), c.bSaved);
        if (c.bSaved) {
            EXPECT_EQ(ReadFile(b), "new b");
        }
        EXPECT_EQ(FolderBrowserFolder(), folder);
        EXPECT_TRUE(opened.isEmpty());
    }
    // The folder browser started each time in the folder chosen before.
    EXPECT_EQ(folderStarts.mid(1),
              QStringList({out.filePath("0"), out.filePath("1"), out.filePath("2")}));
}

// Replacing a file (Yes to FileAlreadyExists) writes the new content whole
// before the old file goes: a write that fails (here at the file size
// limit) leaves the old file as it was. A link at the name is
// replaced, never followed, and the new file is 0600 without execute bits.
TEST_F(AttachmentsTest, ReplacingAFileNeverLosesTheOldOneFirst)
{
    struct Case
    {
        const char* name;
        bool link;        // the name is a link to another file
        bool failWrites;  // no file may grow beyond 1 KiB
        QByteArray after; // the file at the name afterwards
    };
    const QByteArray fresh(64 * 1024, 'n');
    const std::vector<Case> cases = {
        {"an executable old file", false, false, fresh},
        {"a link to another file", true, false, fresh},
        {"a write that fails", false, true, "old"},
    };
    auto message = MakeMessage({{Named("a.txt"), fresh}});
    message->ParseWhole();
    messages.answer = [](const MessageRequest&) { return MsgAnswer::Yes; };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = out.filePath(QString::number(n++));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString a = QDir(folder).filePath("a.txt");
        const QString victim = out.filePath(QString::number(n) + "-victim");
        if (c.link) {
            WriteFile(victim, "victim");
            ASSERT_TRUE(QFile::link(victim, a));
        } else {
            WriteFile(a, "old");
            ASSERT_TRUE(QFile::setPermissions(a, QFile::ReadOwner | QFile::WriteOwner |
                                                     QFile::ExeOwner | QFile::ExeOther));
        }
        chosenFiles = {a};
        messages.shown.clear();

        // A failing write: this process's file size limit lowered to 1 KiB
        // for the save (the signal it raises ignored, so the write fails
        // with EFBIG), then put back.
        rlimit before{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
        const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        if (c.failWrites) {
            const rlimit limit{1024, before.rlim_max};
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        }
        RunAttachmentAction(nullptr, *message, {0}, AttachmentAction::Save);
        setrlimit(RLIMIT_FSIZE, &before);
        signal(SIGXFSZ, oldHandler);
        EXPECT_EQ(Shown("File " + a + " already exists - replace it?").size(), 1);
        EXPECT_EQ(
            Shown("Fatal error occured while trying to save " + a + ".", "File too large").size(),
            c.failWrites ? 1 : 0);
        EXPECT_EQ(messages.shown.size(), c.failWrites ? 2 : 1);

        EXPECT_EQ(ReadFile(a), c.after);
        EXPECT_FALSE(QFileInfo(a).isSymLink());
        if (c.link) {
            EXPECT_EQ(ReadFile(victim), "victim");
        }
        if (!c.failWrites) {
            EXPECT_EQ(QFile::permissions(a) & 0x7777,
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        }
        // No temporary file is left beside it.
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                         QDir::NoDotAndDotDot),
                  QStringList{"a.txt"});
    }
}

TEST_F(AttachmentsTest, SaveDialogsFollowTheLastFolderAndCancelStopsTheRest)
{
    auto message =
        MakeMessage({{Named("a.txt"), "A"}, {Named("../b.txt"), "B"}, {Named("c.txt"), "C"}});
    message->ParseWhole();
    SetFolderBrowserFolder(out.filePath("start"));
    const QString other = out.filePath("other");
    ASSERT_TRUE(QDir().mkpath(other));
    messages.answer = [](const MessageRequest&) { return MsgAnswer::No; }; // not one folder
    chosenFiles = {QDir(other).filePath("first.txt")}; // the second dialog is cancelled

    RunAttachmentAction(nullptr, *message, {0, 1, 2}, AttachmentAction::Save);

    EXPECT_EQ(fileNames, QStringList({"a.txt", "b.txt"}));
    EXPECT_EQ(fileStarts, QStringList({out.filePath("start"), other}));
    EXPECT_EQ(QDir(other).entryList(QDir::Files), QStringList{"first.txt"});
    EXPECT_EQ(ReadFile(QDir(other).filePath("first.txt")), "A");
    EXPECT_EQ(FolderBrowserFolder(), other);
    EXPECT_FALSE(Executable(QDir(other).filePath("first.txt")));
}

TEST_F(AttachmentsTest, OpeningMakesOnePrivateCopyPerNameAndCleanupRemovesThem)
{
    auto message = MakeMessage({{Named("report.pdf"), "%PDF-1"},
                                {Named("message1.html"), "<p>part</p>"},
                                {Named("broken.txt"), "x"}});
    message->ParseWhole();

    RunAttachmentAction(nullptr, *message, {0}, AttachmentAction::Open);
    ASSERT_EQ(opened.size(), 1);
    const QString copy = opened[0];
    EXPECT_EQ(QFileInfo(copy).fileName(), "report.pdf");
    EXPECT_TRUE(copy.startsWith(TempDirPath() + '/'));
    EXPECT_FALSE(Executable(copy));
    WriteFile(copy, "changed by the viewer");

    // The same attachment again: its copy is replaced, not duplicated.
    RunAttachmentAction(nullptr, *message, {0}, AttachmentAction::Open);
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[1], copy);
    EXPECT_EQ(openedBytes[1], "%PDF-1");
    EXPECT_EQ(QDir(QFileInfo(copy).path()).entryList(QDir::Files), QStringList{"report.pdf"});

    // A name the message page also uses leaves the page's folder alone.
    RunAttachmentAction(nullptr, *message, {1}, AttachmentAction::Open);
    ASSERT_EQ(opened.size(), 3);
    EXPECT_EQ(QFileInfo(opened[2]).path(), QFileInfo(copy).path());
    EXPECT_NE(QFileInfo(opened[2]).path(), TempDirPath());

    // The desktop cannot open it: reported, and its copy goes at once.
    openWorks = false;
    RunAttachmentAction(nullptr, *message, {2}, AttachmentAction::Open);
    ASSERT_EQ(opened.size(), 4);
    EXPECT_EQ(Shown("Can't open the document.").size(), 1);
    EXPECT_FALSE(QFileInfo::exists(opened[3]));

    EXPECT_EQ(OpenedAttachmentCopies(), QStringList({copy, opened[2]}));
    DeleteOpenedAttachmentCopies();
    EXPECT_TRUE(OpenedAttachmentCopies().isEmpty());
    for (const QString& path : opened)
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
}

TEST_F(AttachmentsTest, TypesThatCouldRunCodeOpenOnlyAfterAWarning)
{
    struct Case
    {
        const char* name;
        PartSpec part;
        AttachmentAction action;
        MsgAnswer answer;
        bool warned;
        bool openedIt;
    };
    const std::vector<Case> cases = {
        {"desktop entry, no",
         {Named("x.desktop"), "[Desktop Entry]\n"},
         AttachmentAction::Open,
         MsgAnswer::No,
         true,
         false},
        {"shell script, yes",
         {Named("run.sh"), "echo hi\n"},
         AttachmentAction::Open,
         MsgAnswer::Yes,
         true,
         true},
        {"script without extension",
         {Named("setup"), "#!/bin/sh\necho hi\n"},
         AttachmentAction::Open,
         MsgAnswer::No,
         true,
         false},
        {"jar saved, not opened",
         {Named("tool.jar"), "PK\x03\x04"},
         AttachmentAction::SaveAndOpen,
         MsgAnswer::No,
         true,
         false},
        {"plain text",
         {Named("notes.txt"), "hello\n"},
         AttachmentAction::Open,
         MsgAnswer::No,
         false,
         true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.shown.clear();
        opened.clear();
        DeleteOpenedAttachmentCopies();
        auto message = MakeMessage({c.part});
        message->ParseWhole();
        const QString folder = out.filePath(QString::number(n++));
        ASSERT_TRUE(QDir().mkpath(folder));
        chosenFiles = {QDir(folder).filePath("saved.jar")};
        messages.answer = [&](const MessageRequest&) { return c.answer; };

        RunAttachmentAction(nullptr, *message, {0}, c.action);

        ASSERT_EQ(messages.shown.size(), c.warned ? 1 : 0);
        if (c.warned) {
            EXPECT_EQ(messages.shown[0].icon, MsgIcon::Warning);
            EXPECT_TRUE(messages.shown[0].defaultNo);
        }
        EXPECT_EQ(opened.size(), c.openedIt ? 1 : 0);
        if (c.action == AttachmentAction::SaveAndOpen) {
            EXPECT_EQ(ReadFile(QDir(folder).filePath("saved.jar")), c.part.data);
        } else if (!c.openedIt) {
            // Declined before anything was written.
            QDirIterator it(TempDirPath(), QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                ADD_FAILURE() << "written: " << it.next().toStdString();
        }
    }
}

TEST_F(AttachmentsTest, WindowButtonsAndKeysActOnTheSelection)
{
    auto message =
        MakeMessage({{Named("one.txt"), "1"}, {Named("two.txt"), "2"}, {Named("three.txt"), "3"}});
    ASSERT_TRUE(message->Attachments().isEmpty());
    AttachmentsWindow wnd(message.get());
    EXPECT_EQ(wnd.objectName(), "AttachmentsWnd");
    EXPECT_EQ(wnd.windowTitle(), "Attachments");
    QTreeWidget* list = wnd.Attachments;
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(2)->text(0), "three.txt");
    wnd.show();
    wnd.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&wnd));

    struct Enabling
    {
        QList<int> rows;
        bool open, save;
    };
    auto select = [&](const QList<int>& rows) {
        list->clearSelection();
        for (int r : rows)
            list->topLevelItem(r)->setSelected(true);
    };
    // The first row comes selected and focused.
    EXPECT_EQ(wnd.SelectedParts(), QList<int>{0});
    EXPECT_EQ(list->currentItem(), list->topLevelItem(0));
    for (const Enabling& e : {Enabling{{0}, true, true}, Enabling{{}, false, false},
                              Enabling{{0, 2}, false, true}, Enabling{{1}, true, true}}) {
        select(e.rows);
        SCOPED_TRACE(e.rows.size());
        EXPECT_EQ(wnd.SelectedParts(), e.rows);
        EXPECT_EQ(wnd.SBOpen->isEnabled(), e.open);
        EXPECT_EQ(wnd.SBSaveAndOpen->isEnabled(), e.open);
        EXPECT_EQ(wnd.SBSave->isEnabled(), e.save);
    }

    // Open and a double click act on the one selected row.
    QTest::mouseClick(wnd.SBOpen, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(QFileInfo(opened[0]).fileName(), "two.txt");
    const QPoint at = list->visualItemRect(list->topLevelItem(2)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(QFileInfo(opened[1]).fileName(), "three.txt");

    // Ctrl+A, then Save: all three into one folder.
    list->setFocus();
    QTest::keyClick(&wnd, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(wnd.SelectedParts(), QList<int>({0, 1, 2}));
    EXPECT_FALSE(wnd.SBOpen->isEnabled());
    chosenFolder = out.path();
    QTest::mouseClick(wnd.SBSave, Qt::LeftButton);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files),
              QStringList({"one.txt", "three.txt", "two.txt"}));
    EXPECT_EQ(ReadFile(out.filePath("three.txt")), "3");

    // Save and open of one row.
    select({0});
    chosenFiles = {out.filePath("again.txt")};
    QTest::mouseClick(wnd.SBSaveAndOpen, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 3);
    EXPECT_EQ(opened[2], out.filePath("again.txt"));

    // Esc closes and lets go of the parts parsed for the window.
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(wnd.isVisible());
    EXPECT_EQ(wnd.result(), QDialog::Rejected);
    EXPECT_TRUE(message->Attachments().isEmpty());
}

TEST_F(AttachmentsTest, WindowMeetsTheButtonsCornerAndStaysOnScreen)
{
    auto message = MakeMessage({{Named("a.txt"), "a"}});
    AttachmentsWindow wnd(message.get());
    QWidget host;
    const QRect area = host.screen()->availableGeometry();
    host.setGeometry(area.left() + 400, area.top() + 300, 200, 100);
    auto* button = new QToolButton(&host);
    button->setGeometry(150, 60, 32, 32);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));

    wnd.PlaceAt(button);
    const QPoint corner = button->mapToGlobal(QPoint(32, 32));
    EXPECT_EQ(wnd.frameGeometry().bottomRight() + QPoint(1, 1), corner);

    // Near the screen's top left corner the window is pushed onto the screen.
    host.move(area.topLeft());
    QTest::qWait(10);
    wnd.PlaceAt(button);
    EXPECT_EQ(wnd.frameGeometry().topLeft(), area.topLeft());
}

TEST_F(AttachmentsTest, HostileNamesSavedThroughTheWindowStayInTheFolder)
{
    const QList<QByteArray> names{
        Named("../../evil"),
        Named("/etc/passwd"),
        Named(".bashrc"),
        Named("a\\\\b"),
        Named("con"),
        Named(QByteArray(400, 'n') + ".txt"),
        "filename=\"=?utf-8?B?" + QByteArray("invoice\xE2\x80\xAEtxt.exe").toBase64() + "?=\"",
        "filename*=utf-8''..%2F..%2Fx%2Fup.txt",
        Named(""),
    };
    QList<PartSpec> parts;
    for (int i = 0; i < names.size(); ++i)
        parts.append({names[i], "part " + QByteArray::number(i) + QByteArray("\r\n\0\xff", 4)});
    auto message = MakeMessage(parts);
    const QString folder = out.filePath("in");
    ASSERT_TRUE(QDir().mkpath(folder));
    chosenFolder = folder;

    AttachmentsWindow wnd(message.get());
    ASSERT_EQ(wnd.Attachments->topLevelItemCount(), names.size());
    EXPECT_TRUE(wnd.Attachments->topLevelItem(6)->text(0).startsWith("invoice"));
    EXPECT_FALSE(wnd.Attachments->topLevelItem(6)->text(0).contains(QChar(0x202E)));
    wnd.Attachments->selectAll();
    QTest::mouseClick(wnd.SBSave, Qt::LeftButton);

    // One question (one folder for all) and nothing else: no name was taken.
    EXPECT_EQ(messages.shown.size(), 1);
    QStringList contents;
    const QFileInfoList files =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& f : files) {
        EXPECT_FALSE(f.fileName().startsWith('.')) << f.fileName().toStdString();
        EXPECT_FALSE(f.fileName().contains(QChar(0x202E)));
        EXPECT_LE(f.fileName().toUtf8().size(), 255);
        EXPECT_FALSE(Executable(f.filePath()));
        contents.append(QString::fromLatin1(ReadFile(f.filePath())));
    }
    contents.sort();
    QStringList expected;
    for (const PartSpec& p : parts)
        expected.append(QString::fromLatin1(p.data));
    expected.sort();
    EXPECT_EQ(contents, expected);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"in"});
}

} // namespace
