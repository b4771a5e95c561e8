#pragma once
// The English language file built into the program.

#include <QByteArray>
#include <QString>

namespace vm {

// The default language file name, "english.lng".
QString DefaultLanguageFileName();

// The bytes of the built-in English file (UTF-8 with byte order mark);
// empty if the resource is missing.
QByteArray BuiltinEnglishFile();

// Creates or overwrites directory + "english.lng" with the built-in bytes,
// unchanged. False if the resource is missing or the file cannot be written;
// a failed write leaves an existing file as it was.
bool WriteBuiltinEnglish(const QString& directory);

} // namespace vm
