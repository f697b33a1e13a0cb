#include "platform/memory.h"

#include <malloc.h>

#include <cstdint>
#include <limits>

#include "platform/windows/wide.h"

namespace tv::platform {

void* mapPages(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    // Committed pages read as zero and take memory only once written.
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void unmapPages(void* pages, std::size_t bytes) {
    if (pages && bytes) VirtualFree(pages, 0, MEM_RELEASE);
}

std::size_t physicalMemoryBytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    if (status.ullTotalPhys > std::numeric_limits<std::size_t>::max()) return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(status.ullTotalPhys);
}

void trimHeap() { _heapmin(); }

}  // namespace tv::platform
