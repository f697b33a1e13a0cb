#include "platform/memory.h"

#include <sys/mman.h>

namespace tv::platform {

void* mapPages(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void unmapPages(void* pages, std::size_t bytes) {
    if (pages && bytes) munmap(pages, bytes);
}

}  // namespace tv::platform
