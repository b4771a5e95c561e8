#pragma once
// Saving and opening the attachments of a message held whole, from the
// details window's attachment menu and from the attachments window: the
// folder chooser (remembered for the run), the overwrite question, the
// private temporary copies that opening makes, the warning before opening a
// file type that could run code.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace vm {

class MessageRecord;

enum class AttachmentAction { Open, Save, SaveAndOpen };

// Runs action on the attachments of message at the given indexes of
// message.Attachments(), asking through windows parented to parent. The
// message's parts must be parsed (ParseWhole); indexes outside the list are
// ignored.
//
// Save and SaveAndOpen: with more than one part the user may choose one
// folder for all (SaveAllAttToSingleDir, then the folder browser); otherwise
// every part gets a save dialog in turn, starting in the folder browser's
// folder, and a cancelled dialog stops the rest. A file that already exists
// is replaced only after the Yes/No/Cancel question (FileAlreadyExists):
// No skips the part, Cancel stops, and a file that cannot be removed is
// reported (CannotOverwriteFile) and the part skipped. Files are written
// 0600, never executable. SaveAndOpen then opens each saved file.
//
// Open: each part is written to the private temporary folder under its safe
// name, replacing an earlier copy of that name, and handed to the desktop;
// the copy is remembered for DeleteOpenedAttachmentCopies, or removed again
// when the desktop cannot open it (CannotOpenDocument).
//
// Opening a file whose type could run code (IsRunnableFileType, or
// IsRunnableContent for its bytes) asks first, with No as the default
// answer; No opens nothing.
void RunAttachmentAction(QWidget* parent, const MessageRecord& message, const QList<int>& parts,
                         AttachmentAction action);

// Hands a file on disk to the desktop (the compose window's attachments),
// after the same question as for attachments when its name or its first
// bytes say it could run code. False when it was declined or could not be
// opened.
bool OpenFileWithDesktop(const QString& path);

// Deletes every temporary copy made for opening; called at shutdown.
void DeleteOpenedAttachmentCopies();

// The temporary copies made for opening that still exist on the list.
QStringList OpenedAttachmentCopies();

// The folder the folder browser starts in: the folder last chosen in it or
// last used by a save dialog during this run (empty at first).
QString FolderBrowserFolder();
void SetFolderBrowserFolder(const QString& folder);

// The platform pieces the actions use. An empty member means the real one:
// the folder browser (QFileDialog::getExistingDirectory), the save dialog
// (a QFileDialog that does not ask before replacing, since the actions ask
// themselves) and the desktop's opener (QDesktopServices::openUrl). Tests
// replace them so that nothing is shown or launched. An empty path from a
// chooser means cancelled.
struct AttachmentDesktop
{
    std::function<QString(QWidget* parent, const QString& title, const QString& startFolder)>
        chooseFolder;
    std::function<QString(QWidget* parent, const QString& startFolder, const QString& name)>
        chooseFile;
    std::function<bool(const QString& path)> open;
};
void SetAttachmentDesktop(const AttachmentDesktop& desktop);

} // namespace vm
