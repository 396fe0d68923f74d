// Memory figures follow what the process does.
#include "KivPlatform/Memory.h"

#include <gtest/gtest.h>

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
    block.reset();
    EXPECT_LT(Kiv::Platform::HeapBytesInUse(), heapBefore + kSize);
}

} // namespace
