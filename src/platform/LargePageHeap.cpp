#include "platform/LargePageHeap.h"

#include <cstdlib>

#if defined(__linux__) && defined(__GLIBC__)
#include <unistd.h>
#endif

namespace vm {

const char* LargePageHeapTunables()
{
    // Huge pages where the system allows them on request, and the main heap
    // grown (and kept, when memory is freed) 64 MiB at a time; only pages
    // touched count as used memory. At most four heaps for all threads:
    // each thread heap starts with a whole huge page, and the window's many
    // threads would otherwise cost some 30 MB more resident memory (four
    // cost 8 MB, and the check is as fast as with one heap per thread).
    return "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=67108864:glibc.malloc.arena_max=4";
}

bool UseLargePageHeap(char** argv)
{
#if defined(__linux__) && defined(__GLIBC__)
    // Marks the restarted process, so it does not restart again.
    static const char kRestarted[] = "VELMORA_LARGE_PAGE_HEAP";
    if (std::getenv(kRestarted)) {
        unsetenv(kRestarted);
        unsetenv("GLIBC_TUNABLES");
        return true;
    }
    if (std::getenv("GLIBC_TUNABLES") || std::getenv("LD_PRELOAD") ||
        std::getenv("VELMORA_PLAIN_HEAP") || !argv || !argv[0])
        return false;
    if (setenv("GLIBC_TUNABLES", LargePageHeapTunables(), 1) != 0 ||
        setenv(kRestarted, "1", 1) != 0)
        return false;
    execv("/proc/self/exe", argv);
    // Could not start again: go on with the usual heap.
    unsetenv(kRestarted);
    unsetenv("GLIBC_TUNABLES");
#else
    (void)argv;
#endif
    return false;
}

} // namespace vm
