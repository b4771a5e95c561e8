#pragma once
// A file-size limit for the test process (RLIMIT_FSIZE), so that a write
// stops part way with the system's reason "File too large", as a full disk
// stops it with "No space left on device"; it works whoever runs the test.
// SIGXFSZ, which would end the process, is ignored meanwhile. The old limit
// and handler come back when the object goes.

#include <csignal>
#include <sys/resource.h>

namespace vm::test {

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        Set(bytes);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // RLIM_INFINITY lifts it (up to the hard limit).
    void Set(rlim_t bytes)
    {
        rlimit r = old_;
        r.rlim_cur = bytes == RLIM_INFINITY ? old_.rlim_max : bytes;
        setrlimit(RLIMIT_FSIZE, &r);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

} // namespace vm::test
