// Page memory straight from the system.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/memory.h"

using namespace tv::platform;

TEST(PageMemory, MappedPagesAreZeroFilledAndWritable) {
    const std::size_t bytes = 3 * 1024 * 1024 + 123;  // not a whole number of pages
    auto* p = static_cast<std::uint8_t*>(mapPages(bytes));
    ASSERT_NE(p, nullptr);
    for (std::size_t i = 0; i < bytes; i += 4093) EXPECT_EQ(p[i], 0) << i;
    EXPECT_EQ(p[bytes - 1], 0);
    std::memset(p, 0x5A, bytes);
    EXPECT_EQ(p[bytes - 1], 0x5A);
    unmapPages(p, bytes);

    // A new mapping never shows what an earlier one held.
    auto* q = static_cast<std::uint8_t*>(mapPages(bytes));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q[0], 0);
    EXPECT_EQ(q[bytes - 1], 0);
    unmapPages(q, bytes);
}

TEST(PageMemory, EmptyAndImpossibleRequestsAreRefused) {
    EXPECT_EQ(mapPages(0), nullptr);
    EXPECT_EQ(mapPages(std::numeric_limits<std::size_t>::max() - 4096), nullptr);
    unmapPages(nullptr, 4096);  // nothing to give back: no effect
}

TEST(MachineMemory, PhysicalMemoryIsReported) {
    // Every machine the tests run on has more than 64 MiB and says so.
    EXPECT_GT(physicalMemoryBytes(), std::size_t{64} << 20);
}

TEST(MachineMemory, TrimmingTheHeapKeepsWhatIsStillHeld) {
    auto* held = static_cast<std::uint8_t*>(std::malloc(1000));
    ASSERT_NE(held, nullptr);
    std::memset(held, 0x3C, 1000);
    void* freed = std::malloc(4 << 20);
    std::free(freed);
    trimHeap();
    EXPECT_EQ(held[0], 0x3C);
    EXPECT_EQ(held[999], 0x3C);
    std::free(held);
}
