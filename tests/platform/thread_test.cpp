#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tv::platform {
namespace {

TEST(PlatformThread, RunsTheBodyAndJoins) {
    std::atomic<int> ran{0};
    Thread t;
    EXPECT_FALSE(t.joinable());
    ASSERT_TRUE(t.start([&] { ran = 7; }));
    EXPECT_TRUE(t.joinable());
    t.join();
    EXPECT_FALSE(t.joinable());
    EXPECT_EQ(ran.load(), 7);
}

TEST(PlatformThread, RefusesASecondStartAndAnEmptyBody) {
    std::atomic<bool> release{false};
    std::atomic<int> runs{0};
    Thread t;
    EXPECT_FALSE(t.start(nullptr));
    ASSERT_TRUE(t.start([&] {
        while (!release) {
        }
        ++runs;
    }));
    EXPECT_FALSE(t.start([&] { runs += 100; }));
    release = true;
    t.join();
    EXPECT_EQ(runs.load(), 1);
    // Once joined it can be used again.
    ASSERT_TRUE(t.start([&] { ++runs; }));
    t.join();
    EXPECT_EQ(runs.load(), 2);
}

TEST(PlatformThread, DestructionWaitsForTheBody) {
    std::atomic<int> done{0};
    {
        Thread t;
        ASSERT_TRUE(t.start([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            done = 1;
        }));
    }
    EXPECT_EQ(done.load(), 1);
}

}  // namespace
}  // namespace tv::platform
