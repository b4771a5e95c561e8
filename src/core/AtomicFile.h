#pragma once
// Writing a file the program owns: everything goes to a temporary file that
// is renamed over the old one only when every byte reached the disk, so a
// failed write (full disk, lost permission) leaves the previous file intact.
// Files the program owns hold mail and passwords: the temporary file is made
// readable and writable by its owner only before any byte goes into it, so
// the file never exists with wider permissions, whatever the umask or the
// permissions of the file it replaces.

#include <QByteArray>
#include <QFileDevice>
#include <QString>

class QSaveFile;

namespace vm {

// The permissions of every file the program owns (0600).
inline constexpr QFileDevice::Permissions OwnerOnlyFile{QFileDevice::ReadOwner |
                                                        QFileDevice::WriteOwner};

// Opens file for writing and makes its temporary file owner-only before
// anything is written. False on any failure, with the reason in *error.
bool OpenSaveFile(QSaveFile& file, QString* error = nullptr);

// Writes n bytes to device. A file is written through its descriptor, so a
// failure names the system's reason: Qt reports a write that stops part way
// (a full disk, a file-size limit) with no reason at all ("Unknown error").
// Use it for every write of a file. False with the reason in *error.
bool WriteAll(QIODevice& device, const char* data, qsizetype n, QString* error = nullptr);

// What went wrong with file, in the system's words: its error text, or,
// when Qt left that empty, the text of savedErrno (the errno read right
// after the failed call).
QString FileErrorText(const QFileDevice& file, int savedErrno);

// Writes data to path atomically as an owner-only file. False on any
// failure, with the reason in *error when given; the old file is then
// unchanged.
bool WriteFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

// Finishes a QSaveFile that was written to: flushes, syncs the file to the
// disk, checks for a write error and only then renames it over the target,
// then syncs the folder so the rename itself survives a crash.
// QSaveFile::commit() alone (Qt 6.4) renames even after a failed flush and
// leaves a truncated file, and ignores a failed sync.
bool CommitSaveFile(QSaveFile& file, QString* error = nullptr);

// Makes a rename or a new file in the folder dir durable (fsync of the
// folder). False with the reason in *error when the folder cannot be synced.
bool SyncDirectory(const QString& dir, QString* error = nullptr);

} // namespace vm
