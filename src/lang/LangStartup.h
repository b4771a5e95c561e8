#pragma once
// The language steps of start-up and the language file check for translators.

#include <QString>
#include <QTextStream>

namespace vm {

// The three fixed messages shown when no usable language file exists; they
// cannot come from a language file.
QString NoLanguageFileText();
QString NoDefaultLanguageFileText();
QString LanguageLoadFailedText(const QString& path);

// Finds the language files in programDir ("*.lng"); when none is usable,
// writes the built-in "english.lng" there. Then brings the built-in files
// up to date (UpdateBuiltinLanguages) and looks again. Returns an empty
// string on success, else the fixed text to show before exiting with code 0.
QString DiscoverLanguageFiles(const QString& programDir);

// Chooses the file named by the LanguageFile setting among those found,
// falling back to "english.lng" (written first when it does not exist), and
// loads it into the global language. Empty on success, else the fixed text
// to show before exiting with code 0. Call after DiscoverLanguageFiles.
QString ChooseAndLoadLanguage(const QString& programDir, const QString& languageFileSetting);

// "--check-language FILE": writes to out whether FILE is accepted as a
// language file (and if not, the line and rule that reject it), its Symbol
// and Name, and which sections and keys of the built-in English file it
// lacks. Returns 0 when the file is accepted, 1 otherwise. Needs no display.
int CheckLanguageFile(const QString& path, QTextStream& out);

} // namespace vm
