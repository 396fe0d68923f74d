// Tests of the task allocator's contract beyond plain malloc.
#include "KivPlatform/TaskMem.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(TaskMemTest, ReallocKeepsContentAndGrows)
{
    auto* block = static_cast<char*>(CoTaskMemAlloc(4));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abc", 4);
    block = static_cast<char*>(CoTaskMemRealloc(block, 4096));
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block, "abc");
    block[4095] = 'z'; // the whole new size is usable (AddressSanitizer checks)
    CoTaskMemFree(block);
}

TEST(TaskMemTest, ReallocOfNullAllocatesAndZeroSizeFrees)
{
    void* block = CoTaskMemRealloc(nullptr, 16);
    ASSERT_NE(block, nullptr);
    // The block is freed here; AddressSanitizer reports a leak if it is not.
    EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);
    CoTaskMemFree(nullptr);
}

} // namespace
