#include "ui/view/AttachmentActions.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include "core/Errors.h"
#include "core/Messages.h"
#include "core/TempDir.h"
#include "lang/Lang.h"
#include "mime/MessageRecord.h"
#include "render/MessageFiles.h"
#include "ui/common/BusyCursor.h"

namespace vm {

namespace {

AttachmentDesktop g_desktop;
QString g_browserFolder;
QStringList g_openedCopies;
QString g_openFolder;
// How much of a file on disk is read to tell a program by its content.
constexpr qint64 kRunnableHeadBytes = 64 * 1024;

QString Commons(const char* key)
{
    return LangText(QStringLiteral("COMMONS"), QString::fromLatin1(key));
}

QString CommonsWith(const char* key, const QString& path)
{
    return LangFormat(QStringLiteral("COMMONS"), QString::fromLatin1(key), {path});
}

QString DetailsText(const char* key)
{
    return LangText(QStringLiteral("DETAILSWND"), QString::fromLatin1(key));
}

bool Exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString ChooseFolder(QWidget* parent, const QString& title)
{
    QString folder = g_desktop.chooseFolder
                         ? g_desktop.chooseFolder(parent, title, g_browserFolder)
                         : QFileDialog::getExistingDirectory(parent, title, g_browserFolder);
    if (!folder.isEmpty())
        g_browserFolder = folder;
    return folder;
}

QString ChooseFile(QWidget* parent, const QString& startFolder, const QString& name)
{
    if (g_desktop.chooseFile)
        return g_desktop.chooseFile(parent, startFolder, name);
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("SaveDlg"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The overwrite question comes afterwards, with Cancel for the rest.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!startFolder.isEmpty())
        dialog.setDirectory(startFolder);
    dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

bool OpenWithDesktop(const QString& path)
{
    return g_desktop.open ? g_desktop.open(path)
                          : QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// Asks before handing a file that could run code to the desktop; No is the
// default answer.
bool MayOpen(const QString& path, const QByteArray& data)
{
    const QString name = QFileInfo(path).fileName();
    if (!IsRunnableFileType(name) && !IsRunnableContent(name, data))
        return true;
    QString text = CommonsWith("OpenRunnableFile", name);
    if (text.isEmpty()) // a language file older than the question
        text = QStringLiteral("File %1 could run a program on this computer when it is "
                              "opened. Open it anyway?")
                   .arg(name);
    return Messages().Show({text, MsgIcon::Warning, MsgButtons::YesNo, true}) == MsgAnswer::Yes;
}

// The folder of the temporary copies: a fresh 0700 folder inside the
// private temporary folder, apart from the message pages written there.
QString OpenFolder()
{
    if (!g_openFolder.isEmpty() && QFileInfo(g_openFolder).isDir())
        return g_openFolder;
    g_openFolder.clear();
    const QString base = TempDirPath();
    if (base.isEmpty())
        return {};
    QTemporaryDir dir(base + QStringLiteral("/open-XXXXXX"));
    if (!dir.isValid())
        return {};
    dir.setAutoRemove(false);
    g_openFolder = dir.path();
    return g_openFolder;
}

// Opens one part through a temporary copy; false when the rest should stop.
bool OpenPart(const AttachmentPart& part)
{
    const QString folder = OpenFolder();
    const QString path =
        folder.isEmpty() ? QString() : QDir(folder).filePath(AttachmentFileName(part));
    if (!MayOpen(path.isEmpty() ? AttachmentFileName(part) : path, part.data))
        return true;
    {
        BusyCursor busy;
        bool written = false;
        QString reason;
        if (!path.isEmpty()) {
            if (Exists(path))
                QFile::remove(path);
            written = WriteDataFile(path, part.data, true, &reason);
        }
        if (!written) {
            ShowError(WithReason(DetailsText("CannotSaveTempAttachment"), reason));
            return false;
        }
        if (OpenWithDesktop(path)) {
            if (!g_openedCopies.contains(path))
                g_openedCopies.append(path);
            return true;
        }
        QFile::remove(path);
        g_openedCopies.removeAll(path);
    }
    ShowError(DetailsText("CannotOpenDocument"));
    return true;
}

void SaveParts(QWidget* parent, const QList<AttachmentPart>& parts, bool openAfter)
{
    QString folder;
    if (parts.size() > 1 && AskYesNo(Commons("SaveAllAttToSingleDir"))) {
        folder = ChooseFolder(parent, Commons("SaveAttachments"));
        if (folder.isEmpty())
            return;
    }
    QString start = g_browserFolder;
    for (const AttachmentPart& part : parts) {
        const QString name = AttachmentFileName(part);
        QString path;
        if (folder.isEmpty()) {
            path = ChooseFile(parent, start, name);
            if (path.isEmpty())
                return;
            start = QFileInfo(path).absolutePath();
            g_browserFolder = start;
        } else {
            path = QDir(folder).filePath(name);
        }
        bool replace = false;
        if (Exists(path)) {
            const MsgAnswer answer = Messages().Show({CommonsWith("FileAlreadyExists", path),
                                                      MsgIcon::Warning, MsgButtons::YesNoCancel});
            if (answer == MsgAnswer::Cancel)
                return;
            if (answer != MsgAnswer::Yes)
                continue;
            const QFileInfo existing(path);
            if (existing.isDir() && !existing.isSymLink()) {
                ShowError(CommonsWith("CannotOverwriteFile", path));
                continue;
            }
            replace = true;
        }
        // A replaced file goes only once the new content is complete on disk
        // (a temporary file renamed over it); a link at the name is replaced,
        // never followed. A name that was free is written as a new file, so a
        // file or link put there since the look is never replaced.
        bool written = false;
        QString reason;
        {
            BusyCursor busy;
            written = WriteDataFile(path, part.data, !replace, &reason);
        }
        if (!written) {
            ShowError(WithReason(CommonsWith("ErrorSavingAttachment", path), reason));
            continue;
        }
        if (openAfter && MayOpen(path, part.data) && !OpenWithDesktop(path))
            ShowError(DetailsText("CannotOpenDocument"));
    }
}

} // namespace

void RunAttachmentAction(QWidget* parent, const MessageRecord& message, const QList<int>& parts,
                         AttachmentAction action)
{
    // Copies (sharing the bytes): the dialogs below run event loops in which
    // the record's parts may be let go.
    const QList<AttachmentPart>& all = message.Attachments();
    QList<AttachmentPart> chosen;
    for (int i : parts)
        if (i >= 0 && i < all.size())
            chosen.append(all[i]);
    if (chosen.isEmpty())
        return;
    if (action == AttachmentAction::Open) {
        for (const AttachmentPart& part : chosen)
            if (!OpenPart(part))
                return;
        return;
    }
    SaveParts(parent, chosen, action == AttachmentAction::SaveAndOpen);
}

bool OpenFileWithDesktop(const QString& path)
{
    QFile file(path);
    QByteArray head;
    if (file.open(QIODevice::ReadOnly))
        head = file.read(kRunnableHeadBytes);
    if (!MayOpen(path, head))
        return false;
    return OpenWithDesktop(path);
}

void DeleteOpenedAttachmentCopies()
{
    for (const QString& path : std::as_const(g_openedCopies))
        QFile::remove(path);
    g_openedCopies.clear();
    if (!g_openFolder.isEmpty())
        QDir().rmdir(g_openFolder); // only when nothing else is left in it
    g_openFolder.clear();
}

QStringList OpenedAttachmentCopies()
{
    QStringList present;
    for (const QString& path : std::as_const(g_openedCopies))
        if (Exists(path))
            present.append(path);
    return present;
}

QString FolderBrowserFolder()
{
    return g_browserFolder;
}

void SetFolderBrowserFolder(const QString& folder)
{
    g_browserFolder = folder;
}

void SetAttachmentDesktop(const AttachmentDesktop& desktop)
{
    g_desktop = desktop;
}

} // namespace vm
