// Memory figures follow what the process does.
#include "KivPlatform/Memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

TEST(MemoryTest, HeapAndResidentFiguresGrowWithUse)
{
    const std::size_t heapBefore = Kiv::Platform::HeapBytesInUse();
    constexpr std::size_t kSize = 64 * 1024 * 1024;
    auto block = std::make_unique<char[]>(kSize);
    std::memset(block.get(), 1, kSize); // touch every page, so it becomes resident
    EXPECT_GE(Kiv::Platform::HeapBytesInUse(), heapBefore + kSize);
    EXPECT_GE(Kiv::Platform::PeakResidentBytes(), kSize);
    EXPECT_GE(Kiv::Platform::ResidentBytes(), kSize);
    block.reset();
    EXPECT_LT(Kiv::Platform::HeapBytesInUse(), heapBefore + kSize);
}

TEST(MemoryTest, PagesAreAlignedZeroFilledAndWritable)
{
    constexpr std::size_t kAlignment = 2 * 1024 * 1024;
    for (std::size_t size : {std::size_t{4096}, kAlignment, 3 * kAlignment + 4096}) {
        auto* pages = static_cast<unsigned char*>(Kiv::Platform::AllocatePages(size, kAlignment));
        ASSERT_NE(pages, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pages) % kAlignment, 0u);
        EXPECT_EQ(pages[0], 0);
        EXPECT_EQ(pages[size - 1], 0);
        std::memset(pages, 0x5A, size);
        EXPECT_EQ(pages[size / 2], 0x5A);
        Kiv::Platform::FreePages(pages, size);
    }
}

} // namespace
