#include "platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <limits>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tv::platform {

void* mapPages(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void unmapPages(void* pages, std::size_t bytes) {
    if (pages && bytes) munmap(pages, bytes);
}

std::size_t physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    const std::uint64_t total = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    if (total > std::numeric_limits<std::size_t>::max()) return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(total);
}

void trimHeap() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace tv::platform
