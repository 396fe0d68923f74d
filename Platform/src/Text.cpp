// Conversions between UTF-16, UTF-8 and code page 932, all by table lookup.
//
// The code page 932 tables are built once, on first use, under std::call_once, with the C
// library's "CP932" iconv converter; after that iconv is never called again, so conversions keep
// no per-thread or per-call state and are thread-safe.
//   Decoding: the bytes 0x00-0x7F are ASCII and 0xA1-0xDF the half-width katakana U+FF61-U+FF9F;
//   every pair of a lead byte (0x81-0x9F, 0xE0-0xFC) and a trail byte (0x40-0x7E, 0x80-0xFC) is
//   decoded by iconv. Whatever iconv rejects is undefined and decodes to U+30FB.
//   Encoding: every UTF-16 code unit that is not a surrogate is encoded by iconv, and the result
//   is kept only when it decodes back to exactly that unit. iconv maps some characters one way
//   only (U+00A5 to 0x5C, U+203E to 0x7E, U+301C to 0x81 0x60, ...); those are best-fit
//   mappings, which this system must not make, so such characters become "?" instead.
//
// The converters read whole trace files of hundreds of megabytes, so runs of ASCII, which every
// encoding here shares, are found a machine word at a time and copied straight through.
// When capacity is smaller than the result, the output holds the first capacity units of it.
#include "KivPlatform/Text.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace Kiv::Platform {
namespace {

constexpr char32_t ReplacementCharacter = 0xFFFD;
constexpr char16_t EscapedPathByteBase = 0xDC00;
// Above every code point: what DecodeUtf16Path gives, plus the byte, for an escaped byte.
constexpr char32_t EscapedByte = 0x110000;
constexpr char16_t AnsiDefaultUnicode = 0x30FB;
constexpr BYTE AnsiDefaultChar = '?';

constexpr bool IsAnsiTrailByte(BYTE b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

constexpr bool IsSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

struct AnsiTables {
    // Unicode of each single byte; lead bytes hold U+30FB and are never looked up here.
    std::array<char16_t, 0x100> singleByte;
    // Unicode of each lead and trail pair, indexed by lead * 256 + trail.
    std::array<char16_t, 0x10000> bytePair;
    // Code page 932 of each UTF-16 unit: a single byte below 0x100, else lead * 256 + trail.
    // Units without an exact equivalent hold "?".
    std::array<WORD, 0x10000> encoded;
};

AnsiTables g_tables;
std::once_flag g_tablesBuilt;

// Converts one character with a freshly reset converter. Returns the number of bytes written to
// out, 0 when iconv rejects the input.
std::size_t Iconv(iconv_t converter, const char* in, std::size_t inLength, char* out, std::size_t outCapacity)
{
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* inPointer = const_cast<char*>(in);
    char* outPointer = out;
    std::size_t outLeft = outCapacity;
    if (iconv(converter, &inPointer, &inLength, &outPointer, &outLeft) == static_cast<std::size_t>(-1) ||
        inLength != 0) {
        return 0;
    }
    return outCapacity - outLeft;
}

iconv_t OpenConverter(const char* to, const char* from)
{
    const iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        // Trace files cannot be read or written correctly without the code page, so carrying
        // on with partial tables would only corrupt them quietly.
        std::fprintf(stderr, "Kiv: the C library has no %s to %s converter (gconv modules missing)\n", from, to);
        std::abort();
    }
    return converter;
}

void BuildDecodeTables(AnsiTables& tables)
{
    tables.singleByte.fill(AnsiDefaultUnicode);
    tables.bytePair.fill(AnsiDefaultUnicode);
    for (char16_t b = 0; b < 0x80; ++b) {
        tables.singleByte[b] = b;
    }
    for (char16_t b = 0xA1; b <= 0xDF; ++b) {
        tables.singleByte[b] = static_cast<char16_t>(0xFF61 + (b - 0xA1));
    }

    const iconv_t decoder = OpenConverter("UTF-32BE", "CP932");
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsAnsiLeadByte(static_cast<BYTE>(lead))) {
            continue;
        }
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (!IsAnsiTrailByte(static_cast<BYTE>(trail))) {
                continue;
            }
            const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            unsigned char out[8];
            if (Iconv(decoder, in, 2, reinterpret_cast<char*>(out), sizeof out) != 4) {
                continue;
            }
            const char32_t c = (char32_t{out[0]} << 24) | (char32_t{out[1]} << 16) | (char32_t{out[2]} << 8) | out[3];
            if (c <= 0xFFFF && !IsSurrogate(c)) {
                tables.bytePair[lead * 0x100 + trail] = static_cast<char16_t>(c);
            }
        }
    }
    iconv_close(decoder);
}

char16_t DecodeTableEntry(const AnsiTables& tables, WORD encoded)
{
    return encoded < 0x100 ? tables.singleByte[encoded] : tables.bytePair[encoded];
}

void BuildEncodeTable(AnsiTables& tables)
{
    tables.encoded.fill(AnsiDefaultChar);
    for (WORD c = 0; c < 0x80; ++c) {
        tables.encoded[c] = c;
    }

    const iconv_t encoder = OpenConverter("CP932", "UTF-32BE");
    for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
        if (IsSurrogate(c)) {
            continue;
        }
        const char in[4] = {0, 0, static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
        unsigned char out[4];
        const std::size_t length = Iconv(encoder, in, 4, reinterpret_cast<char*>(out), sizeof out);
        WORD encoded = 0;
        if (length == 1 && !IsAnsiLeadByte(out[0])) {
            encoded = out[0];
        } else if (length == 2 && IsAnsiLeadByte(out[0]) && IsAnsiTrailByte(out[1])) {
            encoded = static_cast<WORD>(out[0] * 0x100 + out[1]);
        } else {
            continue;
        }
        if (DecodeTableEntry(tables, encoded) == c) {
            tables.encoded[c] = encoded;
        }
    }
    iconv_close(encoder);
}

void BuildTables()
{
    BuildDecodeTables(g_tables);
    BuildEncodeTable(g_tables);
}

const AnsiTables& Tables()
{
    std::call_once(g_tablesBuilt, BuildTables);
    return g_tables;
}

// Number of leading units below 0x80, tested eight bytes at a time.
template <class Unit>
std::size_t AsciiRunLength(const Unit* text, std::size_t length)
{
    static_assert(sizeof(Unit) == 1 || sizeof(Unit) == 2);
    constexpr std::uint64_t NonAsciiBits = sizeof(Unit) == 1 ? 0x8080808080808080u : 0xFF80FF80FF80FF80u;
    constexpr std::size_t UnitsPerWord = sizeof(std::uint64_t) / sizeof(Unit);
    std::size_t i = 0;
    for (; i + UnitsPerWord <= length; i += UnitsPerWord) {
        std::uint64_t word;
        std::memcpy(&word, text + i, sizeof word);
        if ((word & NonAsciiBits) != 0) {
            break;
        }
    }
    while (i < length && text[i] < 0x80) {
        ++i;
    }
    return i;
}

// Counts every unit of the result and stores those that fit the capacity.
template <class Unit>
class Output {
public:
    Output(Unit* dst, std::size_t capacity) : m_dst(dst), m_capacity(dst == nullptr ? 0 : capacity) {}

    void Put(Unit unit)
    {
        if (m_count < m_capacity) {
            m_dst[m_count] = unit;
        }
        ++m_count;
    }

    template <class SrcUnit>
    void PutAscii(const SrcUnit* src, std::size_t length)
    {
        const std::size_t room = m_count < m_capacity ? m_capacity - m_count : 0;
        const std::size_t stored = length < room ? length : room;
        for (std::size_t i = 0; i < stored; ++i) {
            m_dst[m_count + i] = static_cast<Unit>(src[i]);
        }
        m_count += length;
    }

    std::size_t Count() const { return m_count; }

private:
    Unit* m_dst;
    std::size_t m_capacity;
    std::size_t m_count = 0;
};

// Decoders: each takes one character at p, advances p past it and returns its code point.

char32_t DecodeUtf16(const char16_t*& p, const char16_t* end)
{
    const char16_t unit = *p++;
    if (!IsSurrogate(unit)) {
        return unit;
    }
    if (unit <= 0xDBFF && p != end && *p >= 0xDC00 && *p <= 0xDFFF) {
        const char32_t low = *p++;
        return 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (low - 0xDC00);
    }
    return ReplacementCharacter;
}

// A path: a lone surrogate U+DC80..U+DCFF stands for the byte of its value, returned as
// EscapedByte plus that byte; any other lone surrogate becomes U+FFFD, as in a text.
char32_t DecodeUtf16Path(const char16_t*& p, const char16_t* end)
{
    const char16_t* const start = p;
    const char32_t c = DecodeUtf16(p, end);
    if (c == ReplacementCharacter && IsEscapedPathByte(*start)) {
        return EscapedByte + (*start & 0xFFu);
    }
    return c;
}

// What DecodeWellFormedUtf8 gives for an ill-formed sequence.
constexpr char32_t IllFormed = 0xFFFFFFFF;

// An ill-formed sequence gives IllFormed once per maximal subpart: the bytes that could still
// start a well-formed sequence are consumed together, the byte that breaks it is not.
char32_t DecodeWellFormedUtf8(const BYTE*& p, const BYTE* end)
{
    const BYTE lead = *p++;
    if (lead < 0x80) {
        return lead;
    }
    int trailCount;
    char32_t c;
    BYTE low = 0x80;
    BYTE high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailCount = 1;
        c = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailCount = 2;
        c = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : low;   // overlong
        high = lead == 0xED ? 0x9F : high; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailCount = 3;
        c = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : low;   // overlong
        high = lead == 0xF4 ? 0x8F : high; // above U+10FFFF
    } else {
        return IllFormed;
    }
    for (int i = 0; i < trailCount; ++i) {
        if (p == end || *p < low || *p > high) {
            return IllFormed;
        }
        c = (c << 6) | (*p++ & 0x3Fu);
        low = 0x80;
        high = 0xBF;
    }
    return c;
}

// Text: an ill-formed sequence becomes U+FFFD.
char32_t DecodeUtf8(const BYTE*& p, const BYTE* end)
{
    const char32_t c = DecodeWellFormedUtf8(p, end);
    return c == IllFormed ? ReplacementCharacter : c;
}

// A path: each byte that is not part of a well-formed sequence becomes the lone surrogate
// U+DC80..U+DCFF of its value (a byte below 0x80 is always well-formed). A well-formed
// sequence never decodes to a surrogate, so these can only stand for bytes.
char32_t DecodeUtf8Path(const BYTE*& p, const BYTE* end)
{
    const BYTE* const start = p;
    const char32_t c = DecodeWellFormedUtf8(p, end);
    if (c != IllFormed) {
        return c;
    }
    p = start + 1;
    return EscapedPathByteBase + *start;
}

char32_t DecodeAnsi(const BYTE*& p, const BYTE* end, const AnsiTables& tables)
{
    const BYTE lead = *p++;
    if (!IsAnsiLeadByte(lead)) {
        return tables.singleByte[lead];
    }
    // A lead byte without a valid trail byte stands alone; the next byte is decoded on its own.
    if (p == end || !IsAnsiTrailByte(*p)) {
        return AnsiDefaultUnicode;
    }
    return tables.bytePair[lead * 0x100u + *p++];
}

// Encoders: each appends one code point to the output.

void EncodeAnsi(char32_t c, Output<char>& out, const AnsiTables& tables)
{
    if (c > 0xFFFF) {
        out.Put(static_cast<char>(AnsiDefaultChar));
        return;
    }
    const WORD encoded = tables.encoded[c];
    if (encoded >= 0x100) {
        out.Put(static_cast<char>(encoded >> 8));
    }
    out.Put(static_cast<char>(encoded & 0xFF));
}

void EncodeUtf16(char32_t c, Output<char16_t>& out)
{
    if (c > 0xFFFF) {
        out.Put(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        out.Put(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
        out.Put(static_cast<char16_t>(c));
    }
}

void EncodeUtf8(char32_t c, Output<char>& out)
{
    if (c < 0x80) {
        out.Put(static_cast<char>(c));
        return;
    }
    if (c < 0x800) {
        out.Put(static_cast<char>(0xC0 | (c >> 6)));
    } else {
        if (c < 0x10000) {
            out.Put(static_cast<char>(0xE0 | (c >> 12)));
        } else {
            out.Put(static_cast<char>(0xF0 | (c >> 18)));
            out.Put(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        }
        out.Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out.Put(static_cast<char>(0x80 | (c & 0x3F)));
}

// A path: a code point from DecodeUtf16Path, where EscapedByte plus a byte stands for that byte.
void EncodeUtf8Path(char32_t c, Output<char>& out)
{
    if (c >= EscapedByte) {
        out.Put(static_cast<char>(c - EscapedByte));
        return;
    }
    EncodeUtf8(c, out);
}

// Copies ASCII runs straight through and hands every other character from decode to encode.
template <class SrcUnit, class DstUnit, class Decode, class Encode>
std::size_t Convert(const SrcUnit* src, std::size_t length, DstUnit* dst, std::size_t capacity, Decode decode,
                    Encode encode)
{
    Output<DstUnit> out(dst, capacity);
    const SrcUnit* p = src;
    const SrcUnit* const end = src + length;
    while (p != end) {
        const std::size_t run = AsciiRunLength(p, static_cast<std::size_t>(end - p));
        out.PutAscii(p, run);
        p += run;
        if (p != end) {
            encode(decode(p, end), out);
        }
    }
    return out.Count();
}

const BYTE* Bytes(const char* text)
{
    return reinterpret_cast<const BYTE*>(text);
}

std::size_t AnsiToUtf8(const char* src, std::size_t length, char* dst, std::size_t capacity)
{
    const AnsiTables& tables = Tables();
    return Convert(
        Bytes(src), length, dst, capacity,
        [&tables](const BYTE*& p, const BYTE* end) { return DecodeAnsi(p, end, tables); }, EncodeUtf8);
}

std::size_t Utf16ToUtf8(const char16_t* src, std::size_t length, char* dst, std::size_t capacity)
{
    return Convert(src, length, dst, capacity, DecodeUtf16, EncodeUtf8);
}

std::size_t Utf8ToUtf16(const char* src, std::size_t length, char16_t* dst, std::size_t capacity)
{
    return Convert(Bytes(src), length, dst, capacity, DecodeUtf8, EncodeUtf16);
}

std::size_t Utf16PathToBytes(const char16_t* src, std::size_t length, char* dst, std::size_t capacity)
{
    return Convert(src, length, dst, capacity, DecodeUtf16Path, EncodeUtf8Path);
}

std::size_t BytesToUtf16Path(const char* src, std::size_t length, char16_t* dst, std::size_t capacity)
{
    return Convert(Bytes(src), length, dst, capacity, DecodeUtf8Path, EncodeUtf16);
}

// Measures, allocates and converts with one of the counting converters above.
template <class Result, class Source, class Converter>
Result ConvertToString(Source text, Converter convert)
{
    Result result(convert(text.data(), text.size(), nullptr, 0), {});
    convert(text.data(), text.size(), result.data(), result.size());
    return result;
}

} // namespace

std::size_t Utf16ToAnsi(const char16_t* src, std::size_t length, char* dst, std::size_t capacity)
{
    const AnsiTables& tables = Tables();
    return Convert(src, length, dst, capacity, DecodeUtf16,
                   [&tables](char32_t c, Output<char>& out) { EncodeAnsi(c, out, tables); });
}

std::size_t Utf8ToAnsi(const char* src, std::size_t length, char* dst, std::size_t capacity)
{
    const AnsiTables& tables = Tables();
    return Convert(Bytes(src), length, dst, capacity, DecodeUtf8,
                   [&tables](char32_t c, Output<char>& out) { EncodeAnsi(c, out, tables); });
}

std::size_t AnsiToUtf16(const char* src, std::size_t length, char16_t* dst, std::size_t capacity)
{
    const AnsiTables& tables = Tables();
    return Convert(
        Bytes(src), length, dst, capacity,
        [&tables](const BYTE*& p, const BYTE* end) { return DecodeAnsi(p, end, tables); }, EncodeUtf16);
}

std::string Utf16ToAnsi(std::u16string_view text)
{
    return ConvertToString<std::string>(
        text, [](const char16_t* s, std::size_t n, char* d, std::size_t c) { return Utf16ToAnsi(s, n, d, c); });
}

std::string Utf8ToAnsi(std::string_view text)
{
    return ConvertToString<std::string>(
        text, [](const char* s, std::size_t n, char* d, std::size_t c) { return Utf8ToAnsi(s, n, d, c); });
}

std::u16string AnsiToUtf16(std::string_view text)
{
    return ConvertToString<std::u16string>(
        text, [](const char* s, std::size_t n, char16_t* d, std::size_t c) { return AnsiToUtf16(s, n, d, c); });
}

std::string AnsiToUtf8(std::string_view text)
{
    return ConvertToString<std::string>(
        text, [](const char* s, std::size_t n, char* d, std::size_t c) { return AnsiToUtf8(s, n, d, c); });
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    return ConvertToString<std::string>(
        text, [](const char16_t* s, std::size_t n, char* d, std::size_t c) { return Utf16ToUtf8(s, n, d, c); });
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    return ConvertToString<std::u16string>(
        text, [](const char* s, std::size_t n, char16_t* d, std::size_t c) { return Utf8ToUtf16(s, n, d, c); });
}

std::string Utf16PathToBytes(std::u16string_view path)
{
    return ConvertToString<std::string>(
        path, [](const char16_t* s, std::size_t n, char* d, std::size_t c) { return Utf16PathToBytes(s, n, d, c); });
}

std::u16string BytesToUtf16Path(std::string_view path)
{
    return ConvertToString<std::u16string>(
        path, [](const char* s, std::size_t n, char16_t* d, std::size_t c) { return BytesToUtf16Path(s, n, d, c); });
}

} // namespace Kiv::Platform

int _ismbblead(unsigned int c)
{
    return c <= 0xFF && Kiv::Platform::IsAnsiLeadByte(static_cast<BYTE>(c)) ? 1 : 0;
}
