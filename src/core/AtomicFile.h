#pragma once
// Writing a file the program owns: everything goes to a temporary file that
// is renamed over the old one only when every byte reached the disk, so a
// failed write (full disk, lost permission) leaves the previous file intact.

#include <QByteArray>
#include <QString>

class QSaveFile;

namespace vm {

// Writes data to path atomically. False on any failure, with the reason in
// *error when given; the old file is then unchanged.
bool WriteFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

// Finishes a QSaveFile that was written to: flushes, checks for a write
// error and only then renames it over the target. QSaveFile::commit() alone
// (Qt 6.4) renames even after a failed flush and leaves a truncated file.
bool CommitSaveFile(QSaveFile& file, QString* error = nullptr);

} // namespace vm
