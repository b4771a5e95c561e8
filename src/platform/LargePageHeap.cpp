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
    // touched count as used memory. The price: some 30 MB more resident
    // memory for the window, whose threads' heaps now start at 2 MiB.
    return "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=67108864";
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
