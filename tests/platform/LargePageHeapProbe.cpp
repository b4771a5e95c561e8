// Starts the way the program starts, then prints what a test needs to see:
// whether it runs restarted, whether its heap grows in the large steps the
// restart asks for, and the GLIBC_TUNABLES a child program gets.

#include "platform/LargePageHeap.h"

#include <cstdio>
#include <cstdlib>

#include <malloc.h>

int main(int, char** argv)
{
    const bool restarted = vm::UseLargePageHeap(argv);
    void* volatile block = std::malloc(100 * 1024);
    const bool largeSteps = mallinfo2().arena >= std::size_t(64) << 20;
    std::free(block);
    std::printf("restarted %d\nheap grows by 64 MiB %d\n", restarted ? 1 : 0, largeSteps ? 1 : 0);
    std::fflush(stdout);
    return std::system("echo \"child sees ${GLIBC_TUNABLES:--} ${VELMORA_LARGE_PAGE_HEAP:--}\"");
}
