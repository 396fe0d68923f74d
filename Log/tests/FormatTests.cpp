// Message formatting: the conversions trace lines are made of, and arguments that do not fit.
#include "KivLog/Format.h"

#include "KivPlatform/Status.h"

#include <gtest/gtest.h>

using Kiv::Log::FormatArg;
using Kiv::Log::FormatMessage;

namespace {

TEST(FormatTest, ConversionsFollowThePrintfConventions)
{
    struct Case {
        const char16_t* format;
        std::initializer_list<FormatArg> args;
        std::u16string expected;
    };
    const HRESULT invalidArg = E_INVALIDARG;
    const Case cases[] = {
        {u"[%08X][%04d/%02d/%02d(%02d:%02d:%02d.%03d)]",
         {0x1A2Cu, 2009, 4, 1, 12, 34, 56, 789},
         u"[00001A2C][2009/04/01(12:34:56.789)]"},
        {u"└ %s() : return %d [0x%08X]",
         {u"CFoo::Bar", invalidArg, static_cast<unsigned>(invalidArg)},
         u"└ CFoo::Bar() : return -2147024809 [0x80070057]"},
        {u"return %u [0x%08X]", {1u, 1u}, u"return 1 [0x00000001]"},
        {u"%u", {invalidArg}, u"2147942487"},
        {u"%x|%X|%5d|%-5d|%05d|%-05d|", {255, 255, -42, 42, -42, 7}, u"ff|FF|  -42|42   |-0042|7    |"},
        {u"100%% %c", {u'x'}, u"100% x"},
        {u"%ld %lu %hd %lld", {1, 2u, 3, 4LL}, u"1 2 3 4"},
        {u"szPath = %s", {u"/tmp/日本.log"}, u"szPath = /tmp/日本.log"},
        {u"%s", {"\x93\xFA\x96\x7B"}, u"日本"},
        {u"[%.3s][%6s][%-4s]", {u"abcdef", u"ab", u"ab"}, u"[abc][    ab][ab  ]"},
        {u"%s", {static_cast<const char16_t*>(nullptr)}, u"(null)"},
        {u"%d %s", {}, u" (null)"},
        {u"%d|%s", {u"text", 5}, u"0|(null)"},
        {u"%p", {reinterpret_cast<const void*>(0xABCDEF012345)}, u"ABCDEF012345"},
        {u"cut short %", {1}, u"cut short "},
        {u"%q|", {1}, u"|"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatMessage(c.format, c.args), c.expected) << std::string(c.expected.begin(), c.expected.end());
    }
}

TEST(FormatTest, MessagesAreCutAtTheLimit)
{
    const std::u16string longText(3000, u'x');
    EXPECT_EQ(FormatMessage(u"%s", {longText}).size(), Kiv::Log::MaxMessageLength);
    EXPECT_EQ(FormatMessage(u"%5000d", {1}).size(), Kiv::Log::MaxMessageLength);
    EXPECT_EQ(FormatMessage(longText, {}).size(), Kiv::Log::MaxMessageLength);
}

} // namespace
