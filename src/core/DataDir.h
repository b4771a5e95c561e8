#pragma once
// Where Velmora keeps its files: settings, language files, mailboxes and the
// address book. Chosen in this order: the --data-dir option, the
// VELMORA_HOME environment variable, the executable's directory when it holds
// a file named "portable", else the XDG data home (~/.local/share/velmora).

#include <QString>
#include <QStringList>

namespace vm {

enum class DataDirSource { CommandLine, Environment, Portable, UserDefault };

struct DataDirChoice
{
    QString path;          // absolute, without a trailing delimiter
    DataDirSource source;
};

// Pure resolution from the given inputs; empty inputs are "not given".
DataDirChoice ResolveDataDir(const QString& commandLineDir, const QString& envDir,
                             const QString& executableDir, const QString& homeDir,
                             const QString& xdgDataHome);

// Resolution from the real environment of this process.
DataDirChoice ResolveDataDirFromEnvironment(const QString& commandLineDir);

// Creates the directory when missing and checks that files can be created
// in it. Returns an empty string on success, else a sentence for the user.
// A directory it creates (and every missing folder above it) is made 0700
// from the start; an existing directory keeps its permissions.
QString PrepareDataDir(const QString& path);

// Creates path and the missing folders above it, each with mode 0700 (the
// umask cannot widen it), and checks that the last one ended up 0700. An
// existing folder is left as it is. Empty on success, else the reason.
QString CreatePrivateDirectory(const QString& path);

// The folders of dirs that other users can enter, read or write (any
// group or other permission bit), each named once and in order.
QStringList DirectoriesOpenToOthers(const QStringList& dirs);

} // namespace vm
