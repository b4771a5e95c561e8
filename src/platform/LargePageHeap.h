// The memory allocator set up for whole messages by the hundred megabytes.
//
// A first check of a big mailbox fills fresh memory as fast as the server
// sends; the C library hands it out in 4 KiB pages, each faulted in on its
// own first touch, and on a virtual machine those faults were half of the
// check's processor time (10,000 messages, 170 MB). Asked to, the GNU C
// library backs its heap with transparent huge pages and grows it in large
// steps. It reads that request (its tunables) only when a process starts, so
// the program starts itself once more with them set, before anything else
// runs, and then takes them out of its environment again, so that programs
// it starts (a browser, a sound player) keep their own defaults.

#pragma once

namespace vm {

// Call first thing in main(). Returns only in the process that goes on:
// true after the restart, false at once where the restart does not apply
// (another C library, tunables the user set, a preloaded library such as a
// memory checker, VELMORA_PLAIN_HEAP set) or fails.
bool UseLargePageHeap(char** argv);

// The tunables the restart sets.
const char* LargePageHeapTunables();

} // namespace vm
