// Fuzzes the settings file reader with arbitrary bytes as "velmora.ini".
// Beyond the sanitizers it checks that loading and saving settle at once:
// a file written by Save and loaded again is written back byte for byte the
// same, so no value (known key or one this program keeps for others) drifts
// from one save to the next.

#include <cstddef>
#include <cstdint>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "config/Settings.h"

using namespace vm;

namespace {

QString g_path;

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        __builtin_trap();
    return f.readAll();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    // In memory where possible: every save syncs the file to disk.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/velmora-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/velmora-fuzz-XXXXXX"));
    if (!dir.isValid())
        __builtin_trap();
    g_path = dir.filePath(QStringLiteral("velmora.ini"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        QFile f(g_path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            __builtin_trap();
    }
    Settings first;
    first.Load(g_path);
    if (!first.Save(g_path))
        __builtin_trap();
    const QByteArray once = ReadAll(g_path);
    Settings second;
    if (!second.Load(g_path) || !second.Save(g_path))
        __builtin_trap();
    if (ReadAll(g_path) != once)
        __builtin_trap();
    return 0;
}
