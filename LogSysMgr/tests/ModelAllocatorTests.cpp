// The model allocator: objects never overlap, survive their creating thread, may be freed on
// any thread, and chunks are handed back once empty.
#include "ModelAllocator.h"

#include "KivPlatform/Memory.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include <cstring>
#include <thread>
#include <vector>

using Kiv::LogSysMgr::ModelAllocator;

namespace {

// An object that fills itself with a pattern, so that an overlap shows as a changed byte.
struct Sample : Kiv::LogSysMgr::CModelAllocated {
    explicit Sample(unsigned char seed) { std::memset(bytes, seed, sizeof bytes); }
    bool Intact(unsigned char seed) const
    {
        for (unsigned char byte : bytes) {
            if (byte != seed) {
                return false;
            }
        }
        return true;
    }
    unsigned char bytes[88];
};

TEST(ModelAllocatorTest, ObjectsAcrossManyChunksStayApartAndAligned)
{
    std::vector<Sample*> samples;
    for (int i = 0; i < 50000; ++i) { // over 4 MiB: several chunks
        samples.push_back(new Sample(static_cast<unsigned char>(i)));
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(samples.back()) % 8, 0u);
    }
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_TRUE(samples[i]->Intact(static_cast<unsigned char>(i))) << i;
    }
    for (Sample* sample : samples) {
        delete sample;
    }
}

TEST(ModelAllocatorTest, ObjectsOutliveTheirThreadAndAreFreedElsewhere)
{
    const std::size_t heapBefore = Kiv::Platform::HeapBytesInUse();
    std::vector<Sample*> samples;
    std::thread builder([&samples] {
        for (int i = 0; i < 30000; ++i) {
            samples.push_back(new Sample(static_cast<unsigned char>(i * 7)));
        }
    });
    builder.join();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_TRUE(samples[i]->Intact(static_cast<unsigned char>(i * 7))) << i;
    }
    // Half freed on one thread, half on another.
    std::thread freer([&samples] {
        for (std::size_t i = 0; i < samples.size(); i += 2) {
            delete samples[i];
        }
    });
    for (std::size_t i = 1; i < samples.size(); i += 2) {
        delete samples[i];
    }
    freer.join();
    // Every chunk went back: what is left is at most the vector itself and some slack.
    EXPECT_LT(Kiv::Platform::HeapBytesInUse(), heapBefore + samples.capacity() * sizeof(Sample*) + 64 * 1024);
}

TEST(ModelAllocatorTest, ObjectsMadeInAnArenaLieTogetherAndOutliveIt)
{
    std::vector<Sample*> inArena;
    std::vector<Sample*> outside;
    {
        Kiv::LogSysMgr::ModelArena arena;
        for (int i = 0; i < 100; ++i) {
            {
                const Kiv::LogSysMgr::ModelArena::Use use(&arena);
                inArena.push_back(new Sample(static_cast<unsigned char>(i)));
            }
            outside.push_back(new Sample(static_cast<unsigned char>(i + 100)));
        }
    } // the arena goes; its objects stay
    for (std::size_t i = 1; i < inArena.size(); ++i) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(inArena[i]) - reinterpret_cast<std::uintptr_t>(inArena[i - 1]),
                  sizeof(Sample))
            << "objects of one arena follow each other";
    }
    for (std::size_t i = 0; i < inArena.size(); ++i) {
        EXPECT_TRUE(inArena[i]->Intact(static_cast<unsigned char>(i)));
        EXPECT_TRUE(outside[i]->Intact(static_cast<unsigned char>(i + 100)));
        delete inArena[i];
        delete outside[i];
    }
}

TEST(ModelAllocatorTest, OversizedRequestsAreRefused)
{
    EXPECT_EQ(ModelAllocator::Allocate(ModelAllocator::MaxObjectSize + 1), nullptr);
    void* largest = ModelAllocator::Allocate(ModelAllocator::MaxObjectSize);
    ASSERT_NE(largest, nullptr);
    std::memset(largest, 0xAB, ModelAllocator::MaxObjectSize);
    ModelAllocator::Free(largest, ModelAllocator::MaxObjectSize);
}

#if defined(__SANITIZE_ADDRESS__)
// A chunk goes back to the system unpoisoned: the next mapping at its address (the model of a
// later load, or anything else) must not inherit marks that make the sanitizer report its use.
TEST(ModelAllocatorTest, ReturnedChunksLeaveNoPoisonBehind)
{
    const void* address = nullptr;
    {
        Kiv::LogSysMgr::ModelArena arena;
        const Kiv::LogSysMgr::ModelArena::Use use(&arena);
        auto* sample = new Sample(1);
        address = sample;
        delete sample;
        ASSERT_TRUE(__asan_address_is_poisoned(address)) << "a freed object is marked";
    } // the arena lets go of its chunk, which held nothing else, so the chunk is unmapped
    EXPECT_EQ(__asan_region_is_poisoned(const_cast<void*>(address), sizeof(Sample)), nullptr);
}

TEST(ModelAllocatorDeathTest, UseAfterFreeIsStillReported)
{
    auto* sample = new Sample(1);
    delete sample;
    EXPECT_DEATH(
        {
            volatile unsigned char byte = sample->bytes[0];
            (void)byte;
        },
        "use-after-poison|use-after-free");
}
#endif

} // namespace
