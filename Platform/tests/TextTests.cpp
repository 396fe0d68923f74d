// Tests of the UTF-16, UTF-8 and code page 932 conversions.
#include "KivPlatform/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace Kiv::Platform;
using namespace std::string_view_literals;

template <class Src, class Dst>
using CountingConverter = std::size_t (*)(const Src*, std::size_t, Dst*, std::size_t);

// Checks one conversion through the counting interface: measuring gives the full size, a large
// enough buffer receives exactly the expected units, and every smaller capacity receives the
// expected prefix without a unit written past it.
template <class Src, class Dst>
void ExpectCountingConversion(CountingConverter<Src, Dst> convert, std::basic_string_view<Src> input,
                              std::basic_string_view<Dst> expected)
{
    EXPECT_EQ(convert(input.data(), input.size(), nullptr, 0), expected.size());
    EXPECT_EQ(convert(input.data(), input.size(), nullptr, 1000), expected.size()) << "null dst measures";

    constexpr std::size_t GuardUnits = 4;
    constexpr Dst Guard = static_cast<Dst>(0x5A);
    for (std::size_t capacity = 0; capacity <= expected.size() + 1; ++capacity) {
        std::vector<Dst> buffer(capacity + GuardUnits, Guard);
        ASSERT_EQ(convert(input.data(), input.size(), buffer.data(), capacity), expected.size())
            << "capacity " << capacity;
        const std::size_t written = std::min(capacity, expected.size());
        EXPECT_EQ(std::basic_string_view<Dst>(buffer.data(), written), expected.substr(0, written))
            << "capacity " << capacity;
        for (std::size_t i = written; i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], Guard) << "capacity " << capacity << ", unit " << i << " overwritten";
        }
    }
}

struct ToAnsiCase {
    const char* name;
    std::u16string_view utf16;
    std::string_view ansi;
};

const ToAnsiCase utf16ToAnsiCases[] = {
    {"structural box drawing", u"│┌└", "\x84\xA0\x84\xA1\x84\xA4"},
    {"ASCII keeps backslash and tilde", u"a\\~\x7F", "a\\~\x7F"},
    {"embedded NUL", u"a\0b"sv, "a\0b"sv},
    {"Japanese", u"日本語テスト", "\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x58\x83\x67"},
    {"half-width katakana", u"\uFF61\uFF71\uFF9F", "\xA1\xB1\xDF"},
    {"katakana middle dot", u"・", "\x81\x45"},
    {"full-width tilde is the code page's own", u"～", "\x81\x60"},
    {"NEC duplicate encodes to the first pair", u"≒", "\x81\xE0"},
    {"private use area", u"\uE000", "\xF0\x40"},
    {"yen sign has no exact equivalent", u"¥", "?"},
    {"overline has no exact equivalent", u"‾", "?"},
    {"wave dash has no exact equivalent", u"〜", "?"},
    {"minus sign has no exact equivalent", u"−", "?"},
    {"cent sign has no exact equivalent", u"¢", "?"},
    {"euro sign", u"€", "?"},
    {"U+0080", u"\u0080", "?"},
    {"emoji is one default character", u"a😀b", "a?b"},
    {"lone high surrogate", u"a\xD800" "b", "a?b"},
    {"lone low surrogate", u"\xDC00", "?"},
    {"high surrogate at the end", u"a\xD83D", "a?"},
    {"low before high", u"\xDE00\xD83D", "??"},
    {"two high surrogates then a pair", u"\xD83D\xD83D\xDE00", "??"},
    {"ASCII run longer than a word", u"abcdefghijklmnopq│xyz", "abcdefghijklmnopq\x84\xA0xyz"},
};

TEST(TextTest, Utf16ToAnsi)
{
    for (const ToAnsiCase& c : utf16ToAnsiCases) {
        SCOPED_TRACE(c.name);
        ExpectCountingConversion<char16_t, char>(Utf16ToAnsi, c.utf16, c.ansi);
        EXPECT_EQ(Utf16ToAnsi(c.utf16), c.ansi);
    }
}

struct Utf8ToAnsiCase {
    const char* name;
    std::string_view utf8;
    std::string_view ansi;
};

const Utf8ToAnsiCase utf8ToAnsiCases[] = {
    {"structural box drawing", "\xE2\x94\x82\xE2\x94\x8C\xE2\x94\x94", "\x84\xA0\x84\xA1\x84\xA4"},
    {"Japanese", "日本語テスト", "\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x58\x83\x67"},
    {"embedded NUL", "a\0b"sv, "a\0b"sv},
    {"half-width katakana", "\xEF\xBD\xB1", "\xB1"},
    {"yen sign", "\xC2\xA5", "?"},
    {"overline", "\xE2\x80\xBE", "?"},
    {"euro sign", "\xE2\x82\xAC", "?"},
    {"emoji", "a\xF0\x9F\x98\x80" "b", "a?b"},
    {"largest code point", "\xF4\x8F\xBF\xBF", "?"},
    {"U+FFFD itself", "\xEF\xBF\xBD", "?"},
    {"lone continuation byte", "a\x80" "b", "a?b"},
    {"two continuation bytes", "\x80\xBF", "??"},
    {"truncated sequence at the end", "a\xE6\x97", "a?"},
    {"truncated sequence before ASCII", "\xE6\x97" "a", "?a"},
    {"truncated four-byte sequence before a valid one", "\xF0\x9F\x98" "\xE6\x97\xA5", "?\x93\xFA"},
    {"overlong NUL", "\xC0\x80", "??"},
    {"overlong two-byte lead C1", "\xC1\xBF", "??"},
    {"overlong three-byte form", "\xE0\x80\x80", "???"},
    {"overlong four-byte form", "\xF0\x80\x80\x80", "????"},
    {"encoded surrogate", "\xED\xA0\x80", "???"},
    {"last before the surrogates", "\xED\x9F\xBF", "?"},
    {"above U+10FFFF", "\xF4\x90\x80\x80", "????"},
    {"lead byte F5", "\xF5\x80\x80\x80", "????"},
    {"byte FF", "a\xFF" "b", "a?b"},
    {"ASCII run longer than a word", "abcdefghijklmnopq\xE2\x94\x82xyz", "abcdefghijklmnopq\x84\xA0xyz"},
};

TEST(TextTest, Utf8ToAnsi)
{
    for (const Utf8ToAnsiCase& c : utf8ToAnsiCases) {
        SCOPED_TRACE(c.name);
        ExpectCountingConversion<char, char>(Utf8ToAnsi, c.utf8, c.ansi);
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
    }
}

struct FromAnsiCase {
    const char* name;
    std::string_view ansi;
    std::u16string_view utf16;
};

const FromAnsiCase ansiToUtf16Cases[] = {
    {"structural box drawing", "\x84\xA0\x84\xA1\x84\xA4", u"│┌└"},
    {"ASCII keeps backslash and tilde", "a\\~", u"a\\~"},
    {"embedded NUL", "a\0b"sv, u"a\0b"sv},
    {"Japanese", "\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x58\x83\x67", u"日本語テスト"},
    {"half-width katakana bounds", "\xA1\xB1\xDF", u"\uFF61\uFF71\uFF9F"},
    {"full-width tilde", "\x81\x60", u"～"},
    {"NEC duplicate pair", "\x87\x90", u"≒"},
    {"IBM extension pair", "\xFA\x55", u"￤"},
    {"private use area", "\xF0\x40", u"\uE000"},
    {"undefined single bytes", "\x80\xA0\xFD\xFE\xFF", u"・・・・・"},
    {"undefined pair is one character", "\x85\x40" "a", u"・a"},
    {"lead byte at the end", "a\x93", u"a・"},
    {"lead byte before an invalid trail byte", "\x81\x20", u"・ "},
    {"trail byte 0x7F is invalid", "\x81\x7F", u"・\x7F"},
    {"trail byte 0xFD is invalid and undefined alone", "\x81\xFD", u"・・"},
    {"a lead byte value can be a trail byte", "\x81\x81\x40", u"＝@"},
    {"ASCII run longer than a word", "abcdefghijklmnopq\x84\xA0xyz", u"abcdefghijklmnopq│xyz"},
};

TEST(TextTest, AnsiToUtf16)
{
    for (const FromAnsiCase& c : ansiToUtf16Cases) {
        SCOPED_TRACE(c.name);
        ExpectCountingConversion<char, char16_t>(AnsiToUtf16, c.ansi, c.utf16);
        EXPECT_EQ(AnsiToUtf16(c.ansi), c.utf16);
        EXPECT_EQ(AnsiToUtf8(c.ansi), Utf16ToUtf8(c.utf16));
    }
}

TEST(TextTest, JapaneseRoundTrips)
{
    const std::u16string_view utf16 = u"日本語テスト：ｱｲｳ、ＡＢＣ①Ⅹ㈱≒∵ー～";
    const std::string_view utf8 = "日本語テスト：ｱｲｳ、ＡＢＣ①Ⅹ㈱≒∵ー～";
    const std::string ansi = Utf16ToAnsi(utf16);
    EXPECT_EQ(ansi.find('?'), std::string::npos);
    EXPECT_EQ(AnsiToUtf16(ansi), utf16);
    EXPECT_EQ(Utf8ToAnsi(utf8), ansi);
    EXPECT_EQ(AnsiToUtf8(ansi), utf8);
}

// Moves one non-ASCII character through every position of a run of ASCII, so that it falls on
// each boundary of the word-at-a-time scan.
TEST(TextTest, NonAsciiAtEveryPositionOfAnAsciiRun)
{
    for (std::size_t position = 0; position <= 20; ++position) {
        SCOPED_TRACE(position);
        const std::u16string utf16 = std::u16string(position, u'a') + u"│" + std::u16string(20 - position, u'b');
        const std::string ansi = std::string(position, 'a') + "\x84\xA0" + std::string(20 - position, 'b');
        const std::string utf8 = std::string(position, 'a') + "\xE2\x94\x82" + std::string(20 - position, 'b');
        EXPECT_EQ(Utf16ToAnsi(utf16), ansi);
        EXPECT_EQ(Utf8ToAnsi(utf8), ansi);
        EXPECT_EQ(AnsiToUtf16(ansi), utf16);
        EXPECT_EQ(AnsiToUtf8(ansi), utf8);
        EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
        EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
    }
}

// Over the whole Basic Multilingual Plane: a character either becomes "?" or becomes bytes that
// decode to exactly that character; no best-fit mapping slips through.
TEST(TextTest, EveryEncodedCharacterDecodesToItself)
{
    for (char32_t c = 1; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        const char16_t unit = static_cast<char16_t>(c);
        const std::string ansi = Utf16ToAnsi(std::u16string_view(&unit, 1));
        if (ansi == "?" && c != u'?') {
            continue;
        }
        ASSERT_EQ(AnsiToUtf16(ansi), std::u16string(1, unit)) << "U+" << std::hex << static_cast<unsigned>(c);
    }
}

// Over every lead and trail pair: a character the code page defines can be encoded again, to
// bytes that decode to the same character (duplicates may encode to another pair).
TEST(TextTest, EveryDefinedPairEncodesBack)
{
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsAnsiLeadByte(static_cast<BYTE>(lead))) {
            continue;
        }
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) {
                continue;
            }
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            const std::u16string decoded = AnsiToUtf16(std::string_view(pair, 2));
            ASSERT_EQ(decoded.size(), 1u) << std::hex << lead << " " << trail;
            if (decoded == u"・" && !(lead == 0x81 && trail == 0x45)) {
                continue; // undefined
            }
            const std::string encoded = Utf16ToAnsi(decoded);
            ASSERT_EQ(encoded.size(), 2u) << std::hex << lead << " " << trail;
            ASSERT_EQ(AnsiToUtf16(encoded), decoded) << std::hex << lead << " " << trail;
        }
    }
}

// The direct UTF-8 to code page path agrees with going through UTF-16, for every BMP character
// and for ill-formed input.
TEST(TextTest, Utf8ToAnsiAgreesWithTheUtf16Path)
{
    std::u16string everything;
    for (char32_t c = 1; c <= 0xFFFF; ++c) {
        if (c < 0xD800 || c > 0xDFFF) {
            everything.push_back(static_cast<char16_t>(c));
        }
    }
    const std::string utf8 = Utf16ToUtf8(everything);
    EXPECT_EQ(Utf8ToAnsi(utf8), Utf16ToAnsi(everything));
    for (const Utf8ToAnsiCase& c : utf8ToAnsiCases) {
        EXPECT_EQ(Utf8ToAnsi(c.utf8), Utf16ToAnsi(Utf8ToUtf16(c.utf8))) << c.name;
    }
}

TEST(TextTest, Utf8AndUtf16)
{
    struct Case {
        const char* name;
        std::u16string_view utf16;
        std::string_view utf8;
    };
    const Case cases[] = {
        {"ASCII", u"path/file.log", "path/file.log"},
        {"two-byte", u"é", "\xC3\xA9"},
        {"three-byte", u"日", "\xE6\x97\xA5"},
        {"surrogate pair", u"😀", "\xF0\x9F\x98\x80"},
        {"largest code point", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.name;
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.name;
    }
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(Utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
    // In a text, the lone surrogates that stand for bytes in a path are lone surrogates too.
    EXPECT_EQ(Utf16ToUtf8(u"caf\xDCE9"), "caf\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("caf\xE9"), u"caf\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("a\xC0\x80" "b"), u"a\uFFFD\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xE6\x97"), u"\uFFFD");
}

TEST(TextTest, LeadByteTest)
{
    struct Case {
        unsigned int c;
        bool lead;
    };
    const Case cases[] = {
        {0x00, false}, {0x40, false}, {0x7F, false}, {0x80, false}, {0x81, true},  {0x9F, true},  {0xA0, false},
        {0xDF, false}, {0xE0, true},  {0xFC, true},  {0xFD, false}, {0xFF, false}, {0x181, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(_ismbblead(c.c) != 0, c.lead) << std::hex << c.c;
        if (c.c <= 0xFF) {
            EXPECT_EQ(IsAnsiLeadByte(static_cast<BYTE>(c.c)), c.lead) << std::hex << c.c;
        }
    }
}

} // namespace
