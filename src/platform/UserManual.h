#pragma once
// The user manual: HTML pages shipped in the program's resources (":/manual")
// and, in an installed program, as files under share/doc/velmora/manual next
// to the program's bin folder. The desktop's browser is given a file path, so
// the resource copy is written out to a per-user cache folder that outlives
// the process (the private temporary folder is removed at exit, possibly
// before the browser has read the page).

#include <QString>

namespace vm {

// The installed manual's start page for a program in binDir
// ("<prefix>/bin" -> "<prefix>/share/doc/velmora/manual/index.html"); empty
// when that file does not exist.
QString InstalledManualIndex(const QString& binDir);

// "$XDG_CACHE_HOME/velmora/manual" (~/.cache when the variable is unset or
// not absolute).
QString ManualCacheDir();

// Copies every file below sourceDir (a resource folder or a plain one) into
// targetDir, keeping sub-folders; a file whose bytes are already there is
// left alone, so an open page is not rewritten under the browser. Returns
// targetDir's "index.html", or empty when a folder or file could not be
// written or the source holds no index.html.
QString WriteOutManual(const QString& sourceDir, const QString& targetDir);

// The page to open for the help: the installed manual when present, else
// the built-in one written out to ManualCacheDir(). Empty when neither works.
QString UserManualIndex();

} // namespace vm
