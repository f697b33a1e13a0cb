// Whole pages of memory straight from the system, for the few buffers large
// enough that the heap would keep them after they are freed.
#pragma once

#include <cstddef>

namespace tv::platform {

// Zero-filled, readable and writable; nullptr when the system refuses or
// bytes is 0. Pages are only backed by memory once they are written.
void* mapPages(std::size_t bytes);
// Gives back what mapPages returned, with the same byte count.
void unmapPages(void* pages, std::size_t bytes);

}  // namespace tv::platform
