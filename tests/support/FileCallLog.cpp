#include "support/FileCallLog.h"

#include <QFile>

#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace vm::test {

namespace {
std::mutex g_mutex;
bool g_on = false;
QList<FileCall> g_calls;

template <typename F> F Real(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

void Record(FileCall call)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_on)
        g_calls.append(std::move(call));
}

bool On()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_on;
}

QString PathOfFd(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    return n > 0 ? QFile::decodeName(QByteArray(target, int(n))) : QString();
}

unsigned ModeOf(const char* path)
{
    struct stat st = {};
    return ::stat(path, &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
}
} // namespace

void StartFileCallLog()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.clear();
    g_on = true;
}

void StopFileCallLog()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_on = false;
}

QList<FileCall> FileCalls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_calls;
}

} // namespace vm::test

using vm::test::FileCall;

extern "C" int rename(const char* from, const char* to)
{
    static auto real = vm::test::Real<int (*)(const char*, const char*)>("rename");
    const unsigned mode = vm::test::On() ? vm::test::ModeOf(from) : 0u;
    const int rc = real(from, to);
    if (rc == 0)
        vm::test::Record({FileCall::Appear, QFile::decodeName(to), mode, false});
    return rc;
}

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    static auto real = vm::test::Real<int (*)(int, const char*, int, const char*, int)>("linkat");
    unsigned mode = 0;
    if (vm::test::On()) {
        struct stat st = {};
        if (::fstatat(fromDir, from, &st, (flags & AT_SYMLINK_FOLLOW) ? 0 : AT_SYMLINK_NOFOLLOW) ==
            0)
            mode = unsigned(st.st_mode & 07777);
    }
    const int rc = real(fromDir, from, toDir, to, flags);
    if (rc == 0)
        vm::test::Record({FileCall::Appear, QFile::decodeName(to), mode, false});
    return rc;
}

extern "C" int fsync(int fd)
{
    static auto real = vm::test::Real<int (*)(int)>("fsync");
    if (vm::test::On()) {
        struct stat st = {};
        const bool dir = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
        vm::test::Record({FileCall::Sync, vm::test::PathOfFd(fd), 0u, dir});
    }
    return real(fd);
}
