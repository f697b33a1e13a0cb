// Memory straight from the system: whole pages for the few buffers large
// enough that the heap would keep them after they are freed, what the
// machine has, and the heap's freed pages given back.
#pragma once

#include <cstddef>

namespace tv::platform {

// Zero-filled, readable and writable; nullptr when the system refuses or
// bytes is 0. Pages are only backed by memory once they are written.
void* mapPages(std::size_t bytes);
// Gives back what mapPages returned, with the same byte count.
void unmapPages(void* pages, std::size_t bytes);

// The machine's physical memory in bytes; 0 when the system does not say.
std::size_t physicalMemoryBytes();
// Hands the pages the C library's heap still holds after large frees back
// to the system; does nothing where the library cannot.
void trimHeap();

}  // namespace tv::platform
