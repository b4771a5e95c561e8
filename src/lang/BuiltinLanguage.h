#pragma once
// The language files built into the program (English, Polish, German) and
// how they reach the data directory.

#include <QByteArray>
#include <QList>
#include <QString>

namespace vm {

// The default language file name, "english.lng".
QString DefaultLanguageFileName();

// One language file built into the program.
struct BuiltinLanguage
{
    QString fileName;  // "english.lng", "polish.lng", "german.lng"
    QByteArray bytes;  // UTF-8 with byte order mark, written out unchanged
};

// Every built-in language file, English first; a file whose resource is
// missing is left out.
QList<BuiltinLanguage> BuiltinLanguages();

// The bytes of the built-in English file (UTF-8 with byte order mark);
// empty if the resource is missing.
QByteArray BuiltinEnglishFile();

// Creates or overwrites directory + "english.lng" with the built-in bytes,
// unchanged, and records what was written (see UpdateBuiltinLanguages).
// False if the resource is missing or the file cannot be written; a failed
// write leaves an existing file as it was.
bool WriteBuiltinEnglish(const QString& directory);

// The file in the data directory that remembers which built-in language
// files the program wrote there, with the SHA-256 of the bytes it wrote
// (the lines of `sha256sum`, so `sha256sum -c` shows which ones were edited).
QString BuiltinLanguageRecordName();

// Brings the built-in language files of directory up to date:
// - a translation (every built-in file but English) that the directory lacks
//   and that the program never wrote there is written;
// - a file that still holds exactly what the program wrote there is replaced
//   by the built-in version when that one differs (a newer program);
// - a file the user edited, and a file of that name the program never wrote,
//   is left as it is; a file the user deleted after it was written stays
//   deleted.
// English is written when missing only by WriteBuiltinEnglish, which the
// start-up calls when no usable language file exists. Failures are silent:
// the language files are then what they were.
void UpdateBuiltinLanguages(const QString& directory);

} // namespace vm
