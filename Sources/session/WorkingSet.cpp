#include "session/WorkingSet.h"

#include <sys/mman.h>

#include <cstdio>

#ifndef MADV_PAGEOUT
#define MADV_PAGEOUT 21
#endif

namespace WorkingSet {

void releaseUnusedCode() {
    std::FILE* maps = std::fopen("/proc/self/maps", "re");
    if (!maps)
        return;
    char line[512];
    while (std::fgets(line, sizeof line, maps)) {
        unsigned long start = 0, end = 0, offset = 0, inode = 0;
        char permissions[5] = {};
        char device[16] = {};
        if (std::sscanf(line, "%lx-%lx %4s %lx %15s %lu", &start, &end, permissions, &offset,
                        device, &inode) != 6)
            continue;
        // File-backed (an inode) and never written: code and read-only data.
        if (inode == 0 || permissions[1] == 'w')
            continue;
        madvise(reinterpret_cast<void*>(start), end - start, MADV_PAGEOUT);
    }
    std::fclose(maps);
}

} // namespace WorkingSet
