// Compact whole-image coefficient store for libjpeg's decompressor.
//
// A progressive (or any multi-scan) JPEG is decoded by libjpeg through one
// coefficient block per 8x8 block of every component, 128 bytes each, all
// alive until the output pass ends: twice the decoded picture at 4:4:4.
// Most of those coefficients are zero, so this store keeps each block row
// packed (a nonzero map and the nonzero values in 4, 8 or 16 bits) and
// unpacks only the few rows libjpeg is looking at.
#pragma once

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace tv::img::detail {

struct CompactBarray;

// One decode's store. Plain data: a zero-filled record is a valid, empty
// store. The decompressor's client_data must point at this record (or at
// a standard-layout record that starts with it): libjpeg hands its memory
// manager methods nothing else to find it by.
struct CoefStore {
    jvirt_barray_ptr (*request)(j_common_ptr, int, boolean, JDIMENSION, JDIMENSION, JDIMENSION);
    void (*realize)(j_common_ptr);
    JBLOCKARRAY (*access)(j_common_ptr, jvirt_barray_ptr, JDIMENSION, JDIMENSION, boolean);
    void (*free_pool)(j_common_ptr, int);
    void (*self_destruct)(j_common_ptr);
    CompactBarray* arrays;  // every array of ours, newest first
    unsigned char* scratch;  // one packed row being written back
    std::size_t scratchSize;
    std::size_t bytes;  // held by the arrays: packed rows, unpacked caches, scratch
    std::size_t peakBytes;
    // Asked once a large store is freed (the engine's Machine::trimHeap);
    // nullptr leaves the freed rows to the heap.
    void (*trimHeap)();
};

// Takes over libjpeg's whole-image coefficient arrays of cinfo (after
// jpeg_read_header, before jpeg_start_decompress). False when the memory
// manager cannot be taken over: the library's own store then serves.
bool coef_store_install(CoefStore& store, j_decompress_ptr cinfo);

}  // namespace tv::img::detail
