#pragma once
// Where the collections of real-world messages that scripts/setup installs
// live: the email test messages of the Python that python3 runs (asked from
// python3 itself, wherever that Python is installed) and the test mail of
// the enmime library. A collection that cannot be found fails the running
// test, so a missing corpus never passes as an empty one.

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace vm::test {

// The folder of Python's email test messages (msg_*.txt); empty after a
// failure of the running test when python3 does not name one that exists.
inline QString PythonEmailTestData()
{
    static const QString found = [] {
        QProcess p;
        p.start(QStringLiteral("python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("import os, test; print(os.path.join(os.path.dirname("
                                "test.__file__), 'test_email', 'data'))")});
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0)
            return QString();
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }();
    if (found.isEmpty() || QDir(found).entryList({QStringLiteral("msg_*.txt")}).isEmpty()) {
        ADD_FAILURE() << "python3 names no email test messages (\"" << found.toStdString()
                      << "\"); scripts/setup installs them with libpython3.11-testsuite";
        return {};
    }
    return found;
}

// The folder of enmime's test mail (subfolders of *.raw files); empty after
// a failure of the running test when it is not installed.
inline QString EnmimeTestData()
{
    const QString dir =
        QStringLiteral("/usr/share/gocode/src/github.com/jhillyerd/enmime/testdata");
    if (QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty()) {
        ADD_FAILURE() << dir.toStdString()
                      << " is missing; scripts/setup installs it with "
                         "golang-github-jhillyerd-enmime-dev";
        return {};
    }
    return dir;
}

} // namespace vm::test
