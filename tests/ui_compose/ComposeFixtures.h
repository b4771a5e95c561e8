#pragma once
// Shared pieces of the compose window tests: the application object and a
// private data directory.

#include <QApplication>
#include <QTemporaryDir>

#include <ostream>

#include "core/AppInfo.h"
#include "model/AccountsDirectory.h"

inline std::ostream& operator<<(std::ostream& os, const QString& s)
{
    return os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << s;
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '[' << l.join(QStringLiteral("|")).toStdString() << ']';
}

namespace vmtest {

// Creates the application object once and points the data directory and the
// mailbox directory at a private temporary folder.
inline QString EnsureComposeApp()
{
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QTemporaryDir dir;
    if (!qApp) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
        vm::AppInfo::SetDataDir(dir.path() + '/');
        vm::Accounts().SetMailboxDirectory(dir.path() + '/');
    }
    return dir.path() + '/';
}

} // namespace vmtest
