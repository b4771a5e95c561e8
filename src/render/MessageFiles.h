#pragma once
// Saving messages and attachments as files, without widgets: the names a
// message and its attachments get, what a saved message holds, and writing
// files that never replace one silently and never carry execute permission.
// The list's and the details window's saving, the attachments window and
// `velmora --save` / `--save-attachments` share it.

#include <QByteArray>
#include <QString>
#include <QList>
#include <QStringList>

#include <functional>

namespace vm {

class MessageRecord;
struct AttachmentPart;

// Default file name of a saved message: the decoded subject followed by
// ".eml", each of < > * ? \ / ' : ; " replaced by '_', then reduced to a
// plain name (SafeFileName); "message.eml" when nothing is left.
QString MessageFileName(const QString& subject);

// What a saved message file holds: the stored raw message byte for byte when
// the whole message is held, else its header lines (CRLF after each).
QByteArray MessageFileContent(const MessageRecord& message);

// The name an attachment is saved (and forwarded) under: its shown name
// reduced to a plain name (SafeFileName); when nothing is left,
// "message.eml" for an attached message and "attachment" for any other.
QString AttachmentFileName(const AttachmentPart& part);

// The first path in folder for name that no file (or link) takes: name, then
// name with " (1)", " (2)", ... inserted before its extension (the last dot;
// the end when there is none). Empty when a hundred tries all exist.
QString FreeFilePath(const QString& folder, const QString& name);

// Writes data to path, readable and writable by the owner only and never
// executable. With mustBeNew an existing file (or link) at path fails the
// write instead of being replaced; otherwise the data is written whole to a
// temporary file beside path, synced, and renamed over the old file (or
// link, which is replaced and never followed), so a failed write leaves the
// old file as it was. False on any failure (a half written file is removed),
// with the system's reason in *error.
bool WriteDataFile(const QString& path, const QByteArray& data, bool mustBeNew,
                   QString* error = nullptr);

// Writes every attachment of a whole, parsed message into folder under its
// AttachmentFileName, never over an existing file (FreeFilePath). Returns
// the paths written, in part order; failed lists the names that could not be
// written, each followed by ": " and the system's reason when there is one.
QStringList SaveAttachmentsInto(const MessageRecord& message, const QString& folder,
                                QStringList* failed = nullptr);

// Saving messages chosen in the list, asking through the message service
// and the two choosers given. With more than one message it asks whether to
// save all into one folder; yes: chooseFolder (titled "Save messages") gives
// the folder, every message gets its default name there and a taken name
// gets " (1)", " (2)", ... before ".eml"; no (or one message): chooseFile
// gives each file, starting from the default name, and a cancel stops the
// rest. A file that cannot be written is reported (ErrorSavingMessage) and
// the next message saved. An empty result from a chooser means cancelled.
// writing, when set, is told true just before a file is written and false
// right after (before any report), so a window shows its busy cursor while
// files are written and never over a dialog or a message.
struct MessageSaveChoosers
{
    std::function<QString(const QString& title)> chooseFolder;
    std::function<QString(const QString& defaultName)> chooseFile;
    std::function<void(bool writing)> writing;
};
// Returns the paths written.
QStringList SaveMessages(const QList<const MessageRecord*>& messages,
                         const MessageSaveChoosers& choose);

// True when opening a file of this name could run code (desktop entries,
// scripts, executables, Java archives and launch files, AppImages,
// installers...), so it is opened only after a warning.
bool IsRunnableFileType(const QString& fileName);

// True when a file's first bytes make it something the desktop could run,
// whatever its name: a script's "#!" line, an ELF or PE executable header,
// or content the MIME database (given the name too) takes for a program, a
// script, a desktop entry or a Java archive or launch file.
bool IsRunnableContent(const QString& fileName, const QByteArray& head);

} // namespace vm
