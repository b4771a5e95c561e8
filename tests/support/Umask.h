#pragma once
// Runs a test under a given umask (022 is the usual one, which lets
// everybody read new files unless the program asks otherwise).

#include <sys/stat.h>

namespace vm::test {

class ScopedUmask
{
public:
    explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(old_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t old_;
};

// Permission bits of path (0 when it does not exist); links are not followed.
inline unsigned ModeOf(const char* path)
{
    struct stat st = {};
    return ::lstat(path, &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
}

} // namespace vm::test
