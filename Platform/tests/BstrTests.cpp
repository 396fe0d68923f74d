// Tests of BSTR allocation and its memory layout.
#include "KivPlatform/Bstr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

struct BstrDeleter {
    void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using UniqueBstr = std::unique_ptr<OLECHAR, BstrDeleter>;

std::uint32_t StoredPrefix(BSTR text)
{
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(text) - sizeof prefix, sizeof prefix);
    return prefix;
}

TEST(BstrTest, AllocatedStringsKeepLengthLayoutAndContent)
{
    struct Case {
        const char* name;
        std::u16string_view text;
        bool countedAllocation; // SysAllocStringLen rather than SysAllocString
    };
    static constexpr char16_t embeddedNul[] = u"ab\0cd";
    const Case cases[] = {
        {"empty", u"", false},
        {"ascii", u"hello", false},
        {"non-ascii", u"日本語│", false},
        {"counted prefix of a longer text", std::u16string_view(u"hello", 3), true},
        {"embedded NUL", std::u16string_view(embeddedNul, 5), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const UniqueBstr text(c.countedAllocation ? SysAllocStringLen(c.text.data(), static_cast<UINT>(c.text.size()))
                                                  : SysAllocString(c.text.data()));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(SysStringLen(text.get()), c.text.size());
        EXPECT_EQ(SysStringByteLen(text.get()), c.text.size() * 2);
        EXPECT_EQ(StoredPrefix(text.get()), c.text.size() * 2);
        EXPECT_EQ(std::u16string_view(text.get(), SysStringLen(text.get())), c.text);
        EXPECT_EQ(text.get()[c.text.size()], u'\0');
    }
}

TEST(BstrTest, SysAllocStringStopsAtTheFirstNul)
{
    const UniqueBstr text(SysAllocString(u"ab\0cd"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text.get()), 2u);
}

TEST(BstrTest, NullTextGivesZeroedCharacters)
{
    const UniqueBstr text(SysAllocStringLen(nullptr, 4));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text.get()), 4u);
    for (UINT i = 0; i <= 4; ++i) {
        EXPECT_EQ(text.get()[i], u'\0') << "at " << i;
    }
}

TEST(BstrTest, NullHandling)
{
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(BstrTest, LengthWhoseByteSizeOverflowsThePrefixFails)
{
    // 2^31 characters are 2^32 bytes, one more than the prefix holds; nothing is allocated.
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringLen(u"x", 0xFFFFFFFFu), nullptr);
}

} // namespace
