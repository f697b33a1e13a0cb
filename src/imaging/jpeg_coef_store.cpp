// Compact whole-image coefficient store (see jpeg_coef_store.h).
//
// Packed block layout, blocks one after another in a row:
//   header byte: bits 0-3 = n, the count of nonzero-map bytes kept (0..8);
//                bits 4-5 = width of the AC values (0: 4 bits, 1: 8, 2: 16);
//                bits 6-7 = width of DC (0: DC is zero, 1: 8 bits, 2: 16);
//   n bytes: the low bytes of the 64-bit map, bit k set when coefficient k
//            (natural order, k >= 1) is nonzero;
//   DC, then the nonzero AC values in ascending k; 4-bit values two to a
//   byte, low nibble first; 16-bit values little-endian.
// An all-zero block is the single byte 0, and a row never written has no
// bytes at all.
//
// libjpeg calls in here may longjmp out through ERREXIT, so nothing below
// holds an object with a destructor.
#include "imaging/jpeg_coef_store.h"
#include "imaging/simd.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <jerror.h>


namespace tv::img::detail {

struct PackedRow {
    unsigned char* data;
    std::uint32_t size;
    std::uint32_t capacity;
};

struct CompactBarray {
    CompactBarray* next;
    JDIMENSION blocksPerRow;
    JDIMENSION rows;
    JDIMENSION maxAccess;
    JDIMENSION slots;  // unpacked rows kept: maxAccess and the read-ahead
    JDIMENSION firstUndefRow;  // rows below it were written (or zeroed)
    bool preZero;
    bool realized;
    PackedRow* packed;     // one per block row
    JBLOCK* cache;         // unpacked rows; row r lives in slot r % slots
    JDIMENSION* slotRow;   // the row each slot holds, or rows (none)
    bool* slotDirty;       // written since unpacked: pack it back when evicted
    JBLOCKROW* window;     // what access returns
};

namespace {

// Worst packed block: header, 8 map bytes, 16-bit DC and 63 16-bit values;
// rows carry 8 bytes of slack so the map can be read in one load.
constexpr std::size_t MaxPackedBlock = 1 + 8 + 2 + 63 * 2;
constexpr std::size_t RowSlack = 8;
// libjpeg-turbo 2.1's block smoothing reads up to two block rows past the
// window it asks for, which its own store, holding every row, tolerates.
// Reads are served with that many more rows behind the window.
constexpr JDIMENSION ReadAhead = 2;
// A store that held this much is handed back to the system when freed.
constexpr std::size_t TrimAfter = std::size_t{1} << 20;

CoefStore* store_of(j_common_ptr cinfo) { return static_cast<CoefStore*>(cinfo->client_data); }

CompactBarray* ours(CoefStore* s, jvirt_barray_ptr p) {
    for (CompactBarray* a = s->arrays; a; a = a->next)
        if (reinterpret_cast<jvirt_barray_ptr>(a) == p) return a;
    return nullptr;
}

void add_bytes(j_common_ptr cinfo, CoefStore* s, std::size_t n) {
    s->bytes += n;
    if (s->bytes > s->peakBytes) s->peakBytes = s->bytes;
    // The same cap the library's own store honours: a hostile header must
    // not make the decoder hold more than a picture may take.
    const long limit = cinfo->mem->max_memory_to_use;
    if (limit > 0 && s->bytes > static_cast<std::size_t>(limit)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
}

void free_array(CoefStore* s, CompactBarray* a) {
    if (a->packed) {
        for (JDIMENSION r = 0; r < a->rows; ++r) {
            s->bytes -= a->packed[r].capacity;
            std::free(a->packed[r].data);
        }
    }
    if (a->realized) s->bytes -= static_cast<std::size_t>(a->slots) * a->blocksPerRow * sizeof(JBLOCK);
    std::free(a->packed);
    std::free(a->cache);
    std::free(a->slotRow);
    std::free(a->slotDirty);
    std::free(a->window);
    std::free(a);
}

void free_all(CoefStore* s) {
    const std::size_t held = s->bytes;
    while (CompactBarray* a = s->arrays) {
        s->arrays = a->next;
        free_array(s, a);
    }
    if (s->scratch) s->bytes -= s->scratchSize;
    std::free(s->scratch);
    s->scratch = nullptr;
    s->scratchSize = 0;
    // The packed rows are many small blocks amid the heap, which the C
    // library would keep mapped after they are freed; the picture's resized
    // copy comes next and should not be on top of them.
    if (held >= TrimAfter && s->trimHeap) s->trimHeap();
}

// ------------------------------------------------------------ packing

struct BlockShape {
    std::uint64_t map;  // nonzero AC coefficients
    int acMin, acMax;
};

static_assert(sizeof(JCOEF) == 2 && sizeof(JBLOCK) == 64 * sizeof(std::int16_t));

// Blocks surveyed at a time before they are packed.
constexpr std::size_t SurveyBlocks = 64;

// The shapes of count (at most SurveyBlocks) blocks: the AVX2 twin first
// when avx2 is set, the plain loop for whatever it leaves.
void survey(const JBLOCK* blocks, std::size_t count, BlockShape* out, bool avx2) {
    std::uint64_t maps[SurveyBlocks];
    int lows[SurveyBlocks], highs[SurveyBlocks];
    std::size_t done = 0;
    if (avx2) done = coef_shapes_avx2(reinterpret_cast<const std::int16_t*>(blocks), count, maps, lows, highs);
    for (std::size_t k = 0; k < done; ++k) out[k] = BlockShape{maps[k], lows[k], highs[k]};
    for (std::size_t k = done; k < count; ++k) {
        const JCOEF* b = blocks[k];
        BlockShape& r = out[k];
        r.map = 0;
        r.acMin = 0;
        r.acMax = 0;
        for (int i = 1; i < DCTSIZE2; ++i) {
            const int c = b[i];
            r.map |= static_cast<std::uint64_t>(c != 0) << i;
            r.acMin = c < r.acMin ? c : r.acMin;
            r.acMax = c > r.acMax ? c : r.acMax;
        }
    }
}

// Packs one block at out; returns the bytes written.
inline std::size_t pack_block(const JCOEF* b, const BlockShape& sh, unsigned char* out) {
    const int dc = b[0];
    const unsigned dcWidth = dc == 0 ? 0u : (dc >= -128 && dc <= 127) ? 1u : 2u;
    if (sh.map == 0) {
        out[0] = static_cast<unsigned char>(dcWidth << 6);
        std::size_t n = 1;
        if (dcWidth == 1) {
            out[n++] = static_cast<unsigned char>(dc);
        } else if (dcWidth == 2) {
            out[n++] = static_cast<unsigned char>(dc);
            out[n++] = static_cast<unsigned char>(static_cast<unsigned>(dc) >> 8);
        }
        return n;
    }
    const unsigned acWidth = (sh.acMin >= -8 && sh.acMax <= 7) ? 0u : (sh.acMin >= -128 && sh.acMax <= 127) ? 1u : 2u;
    const unsigned mapBytes = (64u - static_cast<unsigned>(std::countl_zero(sh.map)) + 7u) / 8u;
    out[0] = static_cast<unsigned char>(mapBytes | (acWidth << 4) | (dcWidth << 6));
    std::size_t n = 1;
    // All eight map bytes go in one store; the ones not kept are written
    // over by what follows (the scratch row has room behind its last block).
    std::uint64_t mapLe = sh.map;
    if constexpr (std::endian::native == std::endian::big) mapLe = __builtin_bswap64(mapLe);
    std::memcpy(out + 1, &mapLe, 8);
    n += mapBytes;
    if (dcWidth == 1) {
        out[n++] = static_cast<unsigned char>(dc);
    } else if (dcWidth == 2) {
        out[n++] = static_cast<unsigned char>(dc);
        out[n++] = static_cast<unsigned char>(static_cast<unsigned>(dc) >> 8);
    }
    std::uint64_t m = sh.map;
    if (acWidth == 0) {
        while (m) {
            const int k0 = std::countr_zero(m);
            m &= m - 1;
            unsigned byte = static_cast<unsigned>(b[k0]) & 0xFu;
            if (m) {
                const int k1 = std::countr_zero(m);
                m &= m - 1;
                byte |= (static_cast<unsigned>(b[k1]) & 0xFu) << 4;
            }
            out[n++] = static_cast<unsigned char>(byte);
        }
    } else if (acWidth == 1) {
        while (m) {
            out[n++] = static_cast<unsigned char>(b[std::countr_zero(m)]);
            m &= m - 1;
        }
    } else {
        while (m) {
            const unsigned v = static_cast<unsigned>(b[std::countr_zero(m)]);
            out[n++] = static_cast<unsigned char>(v);
            out[n++] = static_cast<unsigned char>(v >> 8);
            m &= m - 1;
        }
    }
    return n;
}

// Unpacks one block from in into b (already all zeros); returns the bytes read.
inline std::size_t unpack_block(const unsigned char* in, JCOEF* b) {
    const unsigned h = in[0];
    std::size_t n = 1;
    const unsigned mapBytes = h & 0xFu;
    std::uint64_t m = 0;
    if (mapBytes) {
        std::memcpy(&m, in + 1, 8);  // the row's slack keeps this load inside
        if constexpr (std::endian::native == std::endian::big) m = __builtin_bswap64(m);
        if (mapBytes < 8) m &= (std::uint64_t{1} << (8 * mapBytes)) - 1;
        n += mapBytes;
    }
    const unsigned dcWidth = h >> 6;
    if (dcWidth == 1) {
        b[0] = static_cast<JCOEF>(static_cast<signed char>(in[n]));
        n += 1;
    } else if (dcWidth == 2) {
        b[0] = static_cast<JCOEF>(static_cast<std::int16_t>(in[n] | (in[n + 1] << 8)));
        n += 2;
    }
    const unsigned acWidth = (h >> 4) & 3u;
    if (acWidth == 0) {
        while (m) {
            const unsigned byte = in[n++];
            b[std::countr_zero(m)] = static_cast<JCOEF>(static_cast<signed char>(byte << 4) >> 4);
            m &= m - 1;
            if (m) {
                b[std::countr_zero(m)] = static_cast<JCOEF>(static_cast<signed char>(byte & 0xF0u) >> 4);
                m &= m - 1;
            }
        }
    } else if (acWidth == 1) {
        while (m) {
            b[std::countr_zero(m)] = static_cast<JCOEF>(static_cast<signed char>(in[n++]));
            m &= m - 1;
        }
    } else {
        while (m) {
            b[std::countr_zero(m)] = static_cast<JCOEF>(static_cast<std::int16_t>(in[n] | (in[n + 1] << 8)));
            n += 2;
            m &= m - 1;
        }
    }
    return n;
}

JBLOCKROW slot_of(CompactBarray* a, JDIMENSION slot) { return a->cache + static_cast<std::size_t>(slot) * a->blocksPerRow; }

void write_back(j_common_ptr cinfo, CoefStore* s, CompactBarray* a, JDIMENSION slot) {
    const JDIMENSION row = a->slotRow[slot];
    const JBLOCKROW blocks = slot_of(a, slot);
    const bool avx2 = vector_kernels();
    std::size_t n = 0;
    BlockShape shapes[SurveyBlocks];
    for (JDIMENSION x = 0; x < a->blocksPerRow; x += SurveyBlocks) {
        const std::size_t count = a->blocksPerRow - x < SurveyBlocks ? a->blocksPerRow - x : SurveyBlocks;
        survey(blocks + x, count, shapes, avx2);
        for (std::size_t k = 0; k < count; ++k) n += pack_block(blocks[x + k], shapes[k], s->scratch + n);
    }
    PackedRow& p = a->packed[row];
    if (n + RowSlack > p.capacity) {
        const std::size_t want = n + RowSlack;
        auto* grown = static_cast<unsigned char*>(std::realloc(p.data, want));
        if (!grown) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 11);
        p.data = grown;
        const std::size_t old = p.capacity;
        p.capacity = static_cast<std::uint32_t>(want);
        add_bytes(cinfo, s, want - old);
    }
    std::memcpy(p.data, s->scratch, n);
    std::memset(p.data + n, 0, RowSlack);
    p.size = static_cast<std::uint32_t>(n);
    a->slotDirty[slot] = false;
}

void load(CompactBarray* a, JDIMENSION slot, JDIMENSION row) {
    const JBLOCKROW blocks = slot_of(a, slot);
    std::memset(blocks, 0, static_cast<std::size_t>(a->blocksPerRow) * sizeof(JBLOCK));
    const PackedRow& p = a->packed[row];
    if (p.size) {
        const unsigned char* in = p.data;
        for (JDIMENSION x = 0; x < a->blocksPerRow; ++x) in += unpack_block(in, blocks[x]);
    }
    a->slotRow[slot] = row;
    a->slotDirty[slot] = false;
}

// ------------------------------------------------------------ memory manager

jvirt_barray_ptr request(j_common_ptr cinfo, int pool, boolean preZero, JDIMENSION blocksPerRow, JDIMENSION rows,
                         JDIMENSION maxAccess) {
    CoefStore* s = store_of(cinfo);
    if (pool != JPOOL_IMAGE || blocksPerRow == 0 || rows == 0 || maxAccess == 0 ||
        blocksPerRow > (UINT32_MAX - RowSlack) / MaxPackedBlock)
        return s->request(cinfo, pool, preZero, blocksPerRow, rows, maxAccess);
    auto* a = static_cast<CompactBarray*>(std::calloc(1, sizeof(CompactBarray)));
    if (!a) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 12);
    a->blocksPerRow = blocksPerRow;
    a->rows = rows;
    a->maxAccess = maxAccess < rows ? maxAccess : rows;
    a->slots = a->maxAccess + ReadAhead < rows ? a->maxAccess + ReadAhead : rows;
    a->preZero = preZero != 0;
    a->next = s->arrays;
    s->arrays = a;
    return reinterpret_cast<jvirt_barray_ptr>(a);
}

void realize(j_common_ptr cinfo) {
    CoefStore* s = store_of(cinfo);
    s->realize(cinfo);
    std::size_t widest = 0;
    for (CompactBarray* a = s->arrays; a; a = a->next) {
        if (a->blocksPerRow > widest) widest = a->blocksPerRow;
        if (a->realized) continue;
        const std::size_t cacheBytes = static_cast<std::size_t>(a->slots) * a->blocksPerRow * sizeof(JBLOCK);
        a->packed = static_cast<PackedRow*>(std::calloc(a->rows, sizeof(PackedRow)));
        a->cache = static_cast<JBLOCK*>(std::malloc(cacheBytes));
        a->slotRow = static_cast<JDIMENSION*>(std::malloc(a->slots * sizeof(JDIMENSION)));
        a->slotDirty = static_cast<bool*>(std::calloc(a->slots, sizeof(bool)));
        a->window = static_cast<JBLOCKROW*>(std::malloc((a->maxAccess + ReadAhead) * sizeof(JBLOCKROW)));
        if (!a->packed || !a->cache || !a->slotRow || !a->slotDirty || !a->window)
            ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 13);
        for (JDIMENSION i = 0; i < a->slots; ++i) a->slotRow[i] = a->rows;
        a->realized = true;
        add_bytes(cinfo, s, cacheBytes);
    }
    const std::size_t need = widest * MaxPackedBlock + 8;
    if (need > s->scratchSize) {
        std::free(s->scratch);
        s->bytes -= s->scratchSize;
        s->scratchSize = 0;
        s->scratch = static_cast<unsigned char*>(std::malloc(need));
        if (!s->scratch) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 14);
        s->scratchSize = need;
        add_bytes(cinfo, s, need);
    }
}

JBLOCKARRAY access(j_common_ptr cinfo, jvirt_barray_ptr ptr, JDIMENSION startRow, JDIMENSION numRows,
                   boolean writable) {
    CoefStore* s = store_of(cinfo);
    CompactBarray* a = ours(s, ptr);
    if (!a) return s->access(cinfo, ptr, startRow, numRows, writable);
    const JDIMENSION endRow = startRow + numRows;
    // The library's own rules for a virtual array.
    if (endRow < startRow || endRow > a->rows || numRows > a->maxAccess || !a->realized)
        ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
    if (a->firstUndefRow < endRow) {
        if (a->firstUndefRow < startRow && writable) ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
        if (!a->preZero && !writable) ERREXIT(cinfo, JERR_BAD_VIRTUAL_ACCESS);
        if (writable) a->firstUndefRow = endRow;
    }
    JDIMENSION served = numRows;
    if (!writable) served = endRow + ReadAhead <= a->rows ? numRows + ReadAhead : a->rows - startRow;
    for (JDIMENSION i = 0; i < served; ++i) {
        const JDIMENSION row = startRow + i;
        const JDIMENSION slot = row % a->slots;
        if (a->slotRow[slot] != row) {
            if (a->slotRow[slot] != a->rows && a->slotDirty[slot]) write_back(cinfo, s, a, slot);
            load(a, slot, row);
        }
        if (writable) a->slotDirty[slot] = true;
        a->window[i] = slot_of(a, slot);
    }
    // Past the array's end there is nothing to read; the last row stands in.
    if (served > 0)
        for (JDIMENSION i = served; i < numRows + ReadAhead; ++i) a->window[i] = a->window[served - 1];
    return a->window;
}

void free_pool(j_common_ptr cinfo, int pool) {
    CoefStore* s = store_of(cinfo);
    if (pool == JPOOL_IMAGE) free_all(s);
    s->free_pool(cinfo, pool);
}

void self_destruct(j_common_ptr cinfo) {
    CoefStore* s = store_of(cinfo);
    free_all(s);
    s->self_destruct(cinfo);
}

}  // namespace

bool coef_store_install(CoefStore& store, j_decompress_ptr cinfo) {
    jpeg_memory_mgr* mem = cinfo->mem;
    if (!mem || cinfo->client_data != &store || !mem->request_virt_barray || !mem->realize_virt_arrays ||
        !mem->access_virt_barray || !mem->free_pool || !mem->self_destruct)
        return false;
    if (mem->request_virt_barray == request) return true;  // already ours
    store.request = mem->request_virt_barray;
    store.realize = mem->realize_virt_arrays;
    store.access = mem->access_virt_barray;
    store.free_pool = mem->free_pool;
    store.self_destruct = mem->self_destruct;
    mem->request_virt_barray = request;
    mem->realize_virt_arrays = realize;
    mem->access_virt_barray = access;
    mem->free_pool = free_pool;
    mem->self_destruct = self_destruct;
    return true;
}

}  // namespace tv::img::detail
