#include "core/TempDir.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace vm {

namespace {
std::mutex g_mutex;
std::unique_ptr<QTemporaryDir> g_dir;
bool g_registered = false;

void RemoveAtExit()
{
    RemoveTempDir();
}
} // namespace

QString TempDirPath()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_dir) {
        auto dir = std::make_unique<QTemporaryDir>(QDir::temp().filePath("velmora-XXXXXX"));
        if (!dir->isValid())
            return {};
        // QTemporaryDir already creates the folder 0700; make it explicit
        // and refuse a folder that others could look into.
        const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        const QFile::Permissions userBits = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
        if (!QFile::setPermissions(dir->path(), ownerOnly) ||
            (QFile::permissions(dir->path()) & ~(ownerOnly | userBits)))
            return {};
        g_dir = std::move(dir);
        if (!g_registered) {
            g_registered = true;
            std::atexit(RemoveAtExit);
        }
    }
    return g_dir->path();
}

void RemoveTempDir()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_dir) {
        g_dir->remove();
        g_dir.reset();
    }
}

} // namespace vm
