#pragma once
// Whole-file writing and reading for tests that prepare or inspect files.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>

namespace vm::test {

// Writes data as the whole file at path (a failure to open fails the test).
inline void WriteFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// The whole file at path; empty when it cannot be read.
inline QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace vm::test
