// The trace log reader: header and indentation parsing, line ends and lengths, encodings, the
// load loop's progress protocol and stop requests, and files that change under it.
#include "CKivLogSysFile.h"

#include "LoadDoubles.h"

#include "KivLogSysMgr/KivLogSysMgr.h"

#include "KivTestSupport/ChildProcess.h"
#include "KivTestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <filesystem>
#include <string>

using Kiv::CComPtr;
using Kiv::Platform::PrivateMemory;
using namespace KivTest;

namespace {

// The code page 932 byte pairs of "│", "┌" and "└".
const std::string kIndent = "\x84\xA0";
const std::string kEnter = "\x84\xA1";
const std::string kReturn = "\x84\xA4";

std::string Header(DWORD threadId = 0x1A2C, int millisecond = 789)
{
    char header[64];
    std::snprintf(header, sizeof header, "[%08X][2009/04/01(12:34:56.%03d)]", threadId, millisecond);
    return header;
}

std::string Line(DWORD threadId, int depth, const std::string& marker, const std::string& text)
{
    std::string line = Header(threadId);
    for (int i = 0; i < depth; ++i) {
        line += kIndent;
    }
    return line + marker + text;
}

const BYTE* Bytes(const std::string& s)
{
    return reinterpret_cast<const BYTE*>(s.data());
}

// Runs ReadLine on a whole buffer.
struct ReadResult {
    HRESULT status;
    KivLogSysLineInfo info;
    std::size_t consumed;
    std::string text;
};

ReadResult Read(const std::string& data)
{
    ReadResult result{};
    result.status = CKivLogSysFile::ReadLine(Bytes(data), &result.info, data.size(), &result.consumed);
    if (SUCCEEDED(result.status)) {
        EXPECT_GE(result.info.textLength, 0);
        EXPECT_GE(result.info.text, data.data());
        EXPECT_LE(result.info.text + result.info.textLength, data.data() + data.size());
        result.text.assign(result.info.text, static_cast<std::size_t>(result.info.textLength));
    }
    return result;
}

// A file written, opened and loaded into a fake root.
struct Loaded {
    TempDir dir;
    CKivLogSysFile file;
    CComPtr<Kiv::CKivObject<CFakeRoot>> root = MakeDouble<CFakeRoot>();
    CComPtr<Kiv::CKivObject<CRecordingSink>> sink = MakeDouble<CRecordingSink>();
    HRESULT openStatus = E_UNEXPECTED;
    HRESULT loadResult = E_UNEXPECTED;

    HRESULT Open(const std::string& bytes)
    {
        const auto path = dir.WriteFile("trace.log", bytes);
        openStatus = file.OpenFile(ToUtf16Path(path).c_str());
        return openStatus;
    }
    void Load() { loadResult = file.LoadLog(root, sink); }
    std::vector<ReceivedLine> Lines() const { return root->AllLines(); }
};

TEST(CKivLogSysFileTest, HeaderIsRecognisedByItsPunctuationAlone)
{
    const std::string header = Header();
    EXPECT_TRUE(CKivLogSysFile::CheckEnableLineHeader(Bytes(header), header.size()));
    EXPECT_FALSE(CKivLogSysFile::CheckEnableLineHeader(Bytes(header), header.size() - 1));
    const std::string digitsDamaged = "[ZZZZ  zz][ab c/ d/?!( x: y:  .   )]";
    EXPECT_TRUE(CKivLogSysFile::CheckEnableLineHeader(Bytes(digitsDamaged), digitsDamaged.size()));
    for (std::size_t position : {0, 9, 10, 15, 18, 21, 24, 27, 30, 34, 35}) {
        std::string broken = header;
        broken[position] = '#';
        EXPECT_FALSE(CKivLogSysFile::CheckEnableLineHeader(Bytes(broken), broken.size())) << position;
    }
}

TEST(CKivLogSysFileTest, ParsesHeaderIndentationAndMarker)
{
    const ReadResult r = Read(Line(0x1A2C, 2, kEnter, " CFoo::Bar()") + "\r\n");
    ASSERT_EQ(r.status, S_OK);
    EXPECT_EQ(r.info.threadId, 0x1A2Cu);
    EXPECT_EQ(r.info.time.wYear, 2009);
    EXPECT_EQ(r.info.time.wMonth, 4);
    EXPECT_EQ(r.info.time.wDay, 1);
    EXPECT_EQ(r.info.time.wDayOfWeek, 0);
    EXPECT_EQ(r.info.time.wHour, 12);
    EXPECT_EQ(r.info.time.wMinute, 34);
    EXPECT_EQ(r.info.time.wSecond, 56);
    EXPECT_EQ(r.info.time.wMilliseconds, 789);
    EXPECT_EQ(r.info.depth, 2);
    EXPECT_EQ(r.info.kind, KivLogSysLineKind::Enter);
    EXPECT_EQ(r.text, " CFoo::Bar()");
    EXPECT_EQ(r.consumed, 36u + 6 + 12 + 1) << "the CR goes with the line, the LF is left";
}

TEST(CKivLogSysFileTest, MarkerIsRecognisedOnlyAtTheEndOfTheIndentation)
{
    struct Case {
        const char* name;
        std::string body; // after the header
        WORD depth;
        WORD kind;
        std::string text;
    };
    const std::string unknownPair = "\x84\xA2";
    const Case cases[] = {
        {"enter without indentation", kEnter + " Run()", 0, KivLogSysLineKind::Enter, " Run()"},
        {"return", kIndent + kReturn + " Run() : return 0", 1, KivLogSysLineKind::Return, " Run() : return 0"},
        {"message inside a call", kIndent + kIndent + kIndent + " hello", 3, KivLogSysLineKind::Text, " hello"},
        {"indentation after a marker is text", kEnter + kIndent + kIndent + "x", 0, KivLogSysLineKind::Enter,
         kIndent + kIndent + "x"},
        {"another pair ends the walk", kIndent + unknownPair + kEnter, 1, KivLogSysLineKind::Text,
         unknownPair + kEnter},
        {"plain text at depth 0", "plain", 0, KivLogSysLineKind::Text, "plain"},
        {"nothing after the header", "", 0, KivLogSysLineKind::Text, ""},
        {"only indentation", kIndent + kIndent, 2, KivLogSysLineKind::Text, ""},
    };
    for (const Case& c : cases) {
        const ReadResult r = Read(Header() + c.body + "\n");
        ASSERT_EQ(r.status, S_OK) << c.name;
        EXPECT_EQ(r.info.depth, c.depth) << c.name;
        EXPECT_EQ(r.info.kind, c.kind) << c.name;
        EXPECT_EQ(r.text, c.text) << c.name;
    }
}

TEST(CKivLogSysFileTest, DamagedHeaderDigitsGiveComputedNumbers)
{
    // Letters count from "A" (+10), anything else from "0"; nothing is validated.
    const ReadResult r = Read("[0000000a][ 009/0A/01(12:34:56.7 9)]text");
    ASSERT_EQ(r.status, S_OK);
    EXPECT_EQ(r.info.threadId, static_cast<DWORD>('a' - 'A' + 10));
    EXPECT_EQ(r.info.time.wYear, static_cast<WORD>((' ' - '0') * 1000 + 9));
    EXPECT_EQ(r.info.time.wMonth, static_cast<WORD>(0 * 10 + ('A' - '0')));
    EXPECT_EQ(r.info.time.wMilliseconds, static_cast<WORD>(700 + (' ' - '0') * 10 + 9));
    EXPECT_EQ(r.text, "text");
}

TEST(CKivLogSysFileTest, LineEndInsideTheHeaderGivesEmptyText)
{
    std::string data = Header() + kIndent + " rest\r\n";
    data[32] = '\n'; // inside the millisecond digits
    const ReadResult r = Read(data);
    ASSERT_EQ(r.status, S_OK);
    EXPECT_EQ(r.info.textLength, 0);
    EXPECT_EQ(r.info.depth, 0);
    EXPECT_EQ(r.info.kind, KivLogSysLineKind::Text);
    EXPECT_EQ(r.consumed, 33u);
}

TEST(CKivLogSysFileTest, ReadLineRefusesWhereNoHeaderStarts)
{
    const std::string data = " " + Header() + "x";
    KivLogSysLineInfo info{};
    std::size_t consumed = 99;
    EXPECT_EQ(CKivLogSysFile::ReadLine(Bytes(data), &info, data.size(), &consumed), E_FAIL);
    EXPECT_EQ(consumed, 99u);
}

TEST(CKivLogSysFileTest, LinesAreMeasuredToTheLimitAndNeverPastTheData)
{
    struct Case {
        const char* name;
        std::string data;
        LONG textLength;
        std::size_t consumed;
    };
    const std::string longText(2000, 'x');
    // A double-byte character whose lead byte is the line's 1024th byte.
    const std::string straddling = std::string(1023 - 36, 'y') + "\x93\xFA" + "tail";
    const Case cases[] = {
        {"over-long line is cut at 1024 bytes", Header() + longText + "\r\n", 1024 - 36, 1025},
        {"double-byte character straddles the limit", Header() + straddling + "\n", 1025 - 36, 1026},
        {"last line without line end", Header() + "end", 3, 39},
        {"lead byte as the last byte counts as one byte", Header() + "ab\x93", 3, 39},
        {"trail byte is never a line end", Header() + "\x93\x0A" + "b\n", 3, 40},
    };
    for (const Case& c : cases) {
        const ReadResult r = Read(c.data);
        ASSERT_EQ(r.status, S_OK) << c.name;
        EXPECT_EQ(r.info.textLength, c.textLength) << c.name;
        EXPECT_EQ(r.consumed, c.consumed) << c.name;
    }
}

// The length of the line at the start of data as a plain byte-by-byte walk: up to the first CR
// or LF, a lead byte taking the next byte with it, cut at 1024 bytes unless a double-byte
// character straddles that limit, never past the data.
std::size_t ReferenceLineLength(const std::string& data)
{
    auto isLead = [](unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); };
    const std::size_t limit = std::min<std::size_t>(data.size(), 1024);
    std::size_t length = 0;
    while (length < limit) {
        const auto c = static_cast<unsigned char>(data[length]);
        if (isLead(c)) {
            length += 2;
        } else if (c == '\r' || c == '\n') {
            break;
        } else {
            ++length;
        }
    }
    return std::min(length, data.size());
}

TEST(CKivLogSysFileTest, LineLengthAgreesWithAByteByByteWalkWhereverTheTextStops)
{
    // The bytes that end a run of plain text inside a line, each put at every position of the
    // text against the runs stepped over at once, in the middle of the text and at its end.
    struct Case {
        const char* name;
        std::string stop;
    };
    const Case cases[] = {
        {"CR LF", "\r\n"},
        {"LF", "\n"},
        {"CR", "\r"},
        {"double-byte character", "\x93\xFA"},
        {"lead byte whose trail byte is LF", "\x93\n"},
        {"two indentation pairs", kIndent + kIndent},
        {"high bytes that are not lead bytes", "\x80\xA0\xFD\xFF"},
        {"double-byte run, a high byte that is no lead byte, LF", "\x93\xFA" + kIndent + "\x80\n"},
        {"zero byte", std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        for (std::size_t before = 0; before < 40; ++before) {
            for (const std::size_t after : {std::size_t{0}, std::size_t{1}, std::size_t{37}}) {
                const std::string data = Header() + std::string(before, 'a') + c.stop + std::string(after, 'b');
                const ReadResult r = Read(data);
                ASSERT_EQ(r.status, S_OK) << c.name;
                const std::size_t expected = ReferenceLineLength(data);
                // The text ends where the line does, whatever the indentation took from its start.
                EXPECT_EQ(r.info.text + r.info.textLength, data.data() + expected)
                    << c.name << ", " << before << " bytes before, " << after << " after";
                EXPECT_EQ(r.consumed, std::min(expected + 1, data.size()))
                    << c.name << ", " << before << " bytes before, " << after << " after";
            }
        }
    }
}

TEST(CKivLogSysFileTest, SeekFindsHeadersAnywhereAndStepsOverDoubleByteCharacters)
{
    const std::string header = Header();
    struct Case {
        const char* name;
        std::string data;
        std::size_t offset; // where the search stops
    };
    const Case cases[] = {
        {"header at the start", header, 0},
        {"text before the header", "some text\r\nmore\r\n" + header, 17},
        {"header in the middle of a line", "abc" + header, 3},
        {"a lead byte takes the next byte with it", "\x81[" + header.substr(1) + "zz" + header, 2 + 35 + 2},
        {"no header", "no trace here", 13},
        {"empty", "", 0},
        {"header cut short", header.substr(0, 35), 35},
    };
    for (const Case& c : cases) {
        const BYTE* p = Bytes(c.data);
        std::size_t n = c.data.size();
        EXPECT_EQ(CKivLogSysFile::SeekStartPosition(p, n), S_OK);
        EXPECT_EQ(static_cast<std::size_t>(p - Bytes(c.data)), c.offset) << c.name;
        EXPECT_EQ(n, c.data.size() - c.offset) << c.name;
    }
}

// The search for the next header as a plain byte-by-byte walk: a lead byte (code page 932:
// 0x81-0x9F, 0xE0-0xFC) takes the next byte with it while more than two bytes remain; the walk
// stops where a header's brackets and punctuation stand.
std::size_t ReferenceSeek(const std::string& data)
{
    const std::size_t n = data.size();
    auto isLead = [](unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); };
    auto isHeader = [&](std::size_t i) {
        if (n - i < 36) {
            return false;
        }
        for (const auto& [offset, c] : {std::pair<std::size_t, char>{0, '['}, {9, ']'}, {10, '['}, {15, '/'},
                                        {18, '/'}, {21, '('}, {24, ':'}, {27, ':'}, {30, '.'}, {34, ')'}, {35, ']'}}) {
            if (data[i + offset] != c) {
                return false;
            }
        }
        return true;
    };
    std::size_t i = 0;
    while (i < n) {
        if (n - i > 2 && isLead(static_cast<unsigned char>(data[i]))) {
            i += 2;
        } else if (isHeader(i)) {
            break;
        } else {
            ++i;
        }
    }
    return i;
}

TEST(CKivLogSysFileTest, SeekAgreesWithAByteByByteWalkOverEveryKindOfSkippedText)
{
    const std::string header = Header();
    // What comes before a header: long runs that are skipped a word at a time, and the bytes
    // that stop such a run (lead bytes in odd and even numbers, other high bytes, brackets).
    struct Case {
        const char* name;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"zeros", std::string(100, '\0'), ""},
        {"plain text and line ends", "some text\r\nmore text\r\n", "\r\n"},
        {"one lead byte takes the bracket", std::string(20, '\0') + "\x81", "tail"},
        {"two lead bytes pair up", std::string(20, '\0') + "\x81\x81", ""},
        {"three lead bytes", "\xE0\xFC\x9F", ""},
        {"high bytes that are not lead bytes", std::string(13, '\xA0') + "\x80\xFD\xFF", ""},
        {"brackets that start no header", "[[[[" + std::string(17, 'x') + "[", ""},
        {"a header cut short before it", header.substr(0, 30), ""},
        {"a lead byte inside a long run", std::string(9, 'a') + "\x88" + std::string(30, 'b'), ""},
        {"a cut header at the end", "", header.substr(0, 35)},
        {"only zeros, no header", std::string(70, '\0'), ""},
    };
    for (const Case& c : cases) {
        // Every alignment of the run against the word size, with and without the header.
        for (std::size_t shift = 0; shift < 17; ++shift) {
            for (const bool withHeader : {true, false}) {
                const std::string data =
                    std::string(shift, ' ') + c.before + (withHeader ? header : std::string()) + c.after;
                const BYTE* p = Bytes(data);
                std::size_t n = data.size();
                CKivLogSysFile::SeekStartPosition(p, n);
                const std::size_t expected = ReferenceSeek(data);
                EXPECT_EQ(static_cast<std::size_t>(p - Bytes(data)), expected)
                    << c.name << ", shift " << shift << (withHeader ? ", with header" : "");
                EXPECT_EQ(n, data.size() - expected) << c.name;
            }
        }
    }
}

TEST(CKivLogSysFileTest, LoadsLinesWithEveryKindOfLineEndAndSkipsOtherText)
{
    Loaded loaded;
    const std::string data = "banner before the trace\r\n" + Line(1, 0, kEnter, " A()") + "\r\n" +
                             Line(1, 1, "", " crlf") + "\n" + Line(2, 0, "", "lf") + "\r" +
                             Line(1, 0, kReturn, " A()") + "\r\n[2009/04/01 12:00:00] an error log line\r\n" +
                             Line(2, 0, "", "last, no line end");
    ASSERT_EQ(loaded.Open(data), S_OK);
    loaded.Load();
    EXPECT_EQ(loaded.loadResult, CKivLogSysFile::LoadCompleted);

    const auto lines = loaded.Lines();
    ASSERT_EQ(lines.size(), 5u);
    const std::string texts[] = {" A()", " crlf", "lf", " A()", "last, no line end"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].info.lineNumber, static_cast<LONG>(i + 1));
        EXPECT_EQ(lines[i].text, texts[i]);
        EXPECT_EQ(lines[i].info.cbSize, sizeof(KivLogSysLineInfo));
    }
    EXPECT_EQ(lines[3].info.kind, KivLogSysLineKind::Return);

    // Threads appear in the order of their first line.
    ASSERT_EQ(loaded.root->m_threads.size(), 2u);
    EXPECT_EQ(loaded.root->m_threads[0]->m_threadId, 1u);
    EXPECT_EQ(loaded.root->m_threads[0]->m_lines.size(), 3u);
    EXPECT_EQ(loaded.root->m_threads[1]->m_threadId, 2u);
}

TEST(CKivLogSysFileTest, OverlongLineRestBecomesALineOnlyWithACompleteHeader)
{
    Loaded loaded;
    const std::string data = Line(1, 0, "", std::string(1100, 'a')) + "\r\n" +
                             Line(1, 0, "", std::string(1000, 'b') + Header(7) + " hidden") + "\r\n" +
                             Line(1, 0, "", "after");
    ASSERT_EQ(loaded.Open(data), S_OK);
    loaded.Load();
    const auto lines = loaded.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, std::string(1024 - 36, 'a'));
    EXPECT_EQ(lines[2].info.threadId, 7u);
    EXPECT_EQ(lines[2].text, " hidden");
    EXPECT_EQ(lines[3].text, "after");
}

TEST(CKivLogSysFileTest, FilesThatHoldNoTraceLineAreRefused)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::string path;
    };
    const Case cases[] = {
        {"empty file", dir.WriteFile("empty.log", "").string()},
        {"text without a header", dir.WriteFile("text.log", "hello\r\nworld\r\n").string()},
        {"UTF-8 mark alone", dir.WriteFile("bom8.log", "\xEF\xBB\xBF").string()},
        {"UTF-16 mark alone", dir.WriteFile("bom16.log", "\xFF\xFE").string()},
        {"UTF-16 mark and one byte", dir.WriteFile("bom16odd.log", "\xFF\xFE[").string()},
        {"missing file", (dir.Path() / "missing.log").string()},
        {"directory", dir.Path().string()},
    };
    for (const Case& c : cases) {
        CKivLogSysFile file;
        EXPECT_EQ(file.OpenFile(ToUtf16Path(c.path).c_str()), E_FAIL) << c.name;
    }
    CKivLogSysFile file;
    EXPECT_EQ(file.OpenFile(nullptr), E_FAIL);
}

// The same trace in the three encodings the reader accepts.
TEST(CKivLogSysFileTest, Utf8AndUtf16FilesReadLikeTheAnsiFile)
{
    // "日本" is 93 FA 96 7B in code page 932.
    const std::string ansi = Line(0x10, 0, kEnter, " CFoo::Bar()") + "\r\n" +
                             Line(0x10, 1, "", " \x93\xFA\x96\x7B") + "\r\n" +
                             Line(0x10, 0, kReturn, " CFoo::Bar()") + "\r\n";
    const std::u16string wide = u"[00000010][2009/04/01(12:34:56.789)]┌ CFoo::Bar()\r\n"
                                u"[00000010][2009/04/01(12:34:56.789)]│ 日本\r\n"
                                u"[00000010][2009/04/01(12:34:56.789)]└ CFoo::Bar()\r\n";
    const std::string utf8 = "\xEF\xBB\xBF"
                             "[00000010][2009/04/01(12:34:56.789)]┌ CFoo::Bar()\r\n"
                             "[00000010][2009/04/01(12:34:56.789)]│ 日本\r\n"
                             "[00000010][2009/04/01(12:34:56.789)]└ CFoo::Bar()\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : wide) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }

    Loaded reference;
    ASSERT_EQ(reference.Open(ansi), S_OK);
    reference.Load();
    const auto expected = reference.Lines();
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(expected[1].info.depth, 1);

    for (const std::string* encoded : {&utf8, static_cast<const std::string*>(&utf16)}) {
        Loaded loaded;
        ASSERT_EQ(loaded.Open(*encoded), S_OK);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(loaded.file.GetData()), loaded.file.GetDataSize()),
                  ansi);
        loaded.Load();
        const auto lines = loaded.Lines();
        ASSERT_EQ(lines.size(), expected.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].text, expected[i].text);
            EXPECT_EQ(lines[i].info.depth, expected[i].info.depth);
            EXPECT_EQ(lines[i].info.kind, expected[i].info.kind);
            EXPECT_EQ(lines[i].info.threadId, expected[i].info.threadId);
        }
    }

    // Without its mark, UTF-16 text holds no header in 8-bit terms.
    Loaded unmarked;
    EXPECT_EQ(unmarked.Open(utf16.substr(2)), E_FAIL);
}

TEST(CKivLogSysFileTest, DamagedUtf8AndOddUtf16BecomeReplacementCharacters)
{
    Loaded utf8;
    ASSERT_EQ(utf8.Open("\xEF\xBB\xBF" + Header() + " bad \xC0\x80 and \xFF end\r\n"), S_OK);
    utf8.Load();
    ASSERT_EQ(utf8.Lines().size(), 1u);
    EXPECT_EQ(utf8.Lines()[0].text.find("bad "), 1u);
    EXPECT_NE(utf8.Lines()[0].text.find("?"), std::string::npos);
    EXPECT_EQ(utf8.Lines()[0].text.substr(utf8.Lines()[0].text.size() - 4), " end");

    // A UTF-16 file of odd size: the last byte is not a character.
    std::string utf16 = "\xFF\xFE";
    for (char c : Header() + "x") {
        utf16 += c;
        utf16 += '\0';
    }
    utf16 += 'Z';
    Loaded odd;
    ASSERT_EQ(odd.Open(utf16), S_OK);
    odd.Load();
    ASSERT_EQ(odd.Lines().size(), 1u);
    EXPECT_EQ(odd.Lines()[0].text, "x");
}

// A trace of enough lines for every percentage to be reported.
std::string ManyLines(int count)
{
    std::string data;
    for (int i = 0; i < count; ++i) {
        data += Line(static_cast<DWORD>(1 + i % 3), 0, "", " line " + std::to_string(i)) + "\r\n";
    }
    return data;
}

TEST(CKivLogSysFileTest, ProgressRisesOnceForEachPercentageThenCompletes)
{
    Loaded loaded;
    ASSERT_EQ(loaded.Open(ManyLines(500)), S_OK);
    loaded.Load();
    EXPECT_EQ(loaded.loadResult, CKivLogSysFile::LoadCompleted);
    EXPECT_EQ(loaded.root->m_lineCount, 500);

    const auto& reports = loaded.sink->m_reports;
    ASSERT_GE(reports.size(), 4u);
    EXPECT_EQ(reports.front(), std::make_pair(KivLogSysLoadProgress::Start, 0));
    EXPECT_EQ(reports[reports.size() - 2], std::make_pair(KivLogSysLoadProgress::Progress, 100));
    EXPECT_EQ(reports.back(), std::make_pair(KivLogSysLoadProgress::Finished, 0));
    LONG last = 0;
    for (std::size_t i = 1; i + 2 < reports.size(); ++i) {
        EXPECT_EQ(reports[i].first, 1);
        EXPECT_GT(reports[i].second, last);
        EXPECT_LE(reports[i].second, 99);
        last = reports[i].second;
    }
    // 500 lines of about 50 bytes each: every percentage from 1 to 99 shows.
    EXPECT_EQ(reports.size(), 99u + 3);
}

TEST(CKivLogSysFileTest, StopRequestEmptiesTheModelAndEndsWithoutCompletion)
{
    Loaded loaded;
    ASSERT_EQ(loaded.Open(ManyLines(500)), S_OK);
    int linesAtStop = -1;
    loaded.sink->m_onReport = [&](LONG kind, LONG value) {
        if (kind == KivLogSysLoadProgress::Progress && value == 50) {
            loaded.file.RequestStop();
            linesAtStop = loaded.root->m_lineCount;
        }
    };
    loaded.Load();
    EXPECT_EQ(loaded.loadResult, CKivLogSysFile::LoadCancelled);
    EXPECT_EQ(loaded.root->m_removeAllCount, 1);
    EXPECT_TRUE(loaded.root->m_threads.empty());
    EXPECT_EQ(loaded.root->m_lineCount, linesAtStop) << "no line is read after the stop is seen";
    const auto& reports = loaded.sink->m_reports;
    EXPECT_EQ(reports.back(), std::make_pair(KivLogSysLoadProgress::Finished, 0));
    EXPECT_EQ(reports[reports.size() - 2], std::make_pair(KivLogSysLoadProgress::Progress, 50));

    // The next load starts with the flag cleared.
    loaded.sink->m_onReport = nullptr;
    loaded.Load();
    EXPECT_EQ(loaded.loadResult, CKivLogSysFile::LoadCompleted);
    EXPECT_EQ(loaded.root->m_lineCount, linesAtStop + 500);
}

TEST(CKivLogSysFileTest, StopRequestAfterNinetyNineIsNotNoticedInsideTheLoop)
{
    Loaded loaded;
    ASSERT_EQ(loaded.Open(ManyLines(1000)), S_OK);
    bool reached99 = false;
    loaded.sink->m_onReport = [&](LONG kind, LONG value) { reached99 = reached99 || (kind == KivLogSysLoadProgress::Progress && value == 99); };
    loaded.root->m_observer = [&](const KivLogSysLineInfo& info) {
        if (info.lineNumber == 1000) {
            ASSERT_TRUE(reached99) << "99 % must come before the last line for this test to mean anything";
            loaded.file.RequestStop();
        }
    };
    loaded.Load();
    EXPECT_EQ(loaded.loadResult, CKivLogSysFile::LoadCancelled);
    EXPECT_EQ(loaded.root->m_lineCount, 1000);
    EXPECT_EQ(loaded.root->m_removeAllCount, 0) << "the model stays complete";
    const auto& reports = loaded.sink->m_reports;
    EXPECT_EQ(reports[reports.size() - 2], std::make_pair(KivLogSysLoadProgress::Progress, 99));
    EXPECT_EQ(reports.back(), std::make_pair(KivLogSysLoadProgress::Finished, 0));
}

TEST(CKivLogSysFileTest, ModelOutOfMemoryFailsTheLoadAndLeavesNoPartialModel)
{
    // 500 lines of threads 1, 2, 3 in turn.
    struct Case {
        const char* name;
        std::optional<std::size_t> threadLimit;
        std::optional<LONG> outOfMemoryAtLine;
        OutOfMemoryShown shown;
    };
    const Case cases[] = {
        {"no memory for the third thread object", 2, std::nullopt, OutOfMemoryShown::Status},
        {"no memory for the third thread object, thrown", 2, std::nullopt, OutOfMemoryShown::Exception},
        {"no memory for line 250", std::nullopt, 250, OutOfMemoryShown::Status},
        {"no memory for line 250, thrown", std::nullopt, 250, OutOfMemoryShown::Exception},
    };
    for (const Case& c : cases) {
        Loaded loaded;
        ASSERT_EQ(loaded.Open(ManyLines(500)), S_OK);
        loaded.root->m_threadLimit = c.threadLimit;
        loaded.root->m_outOfMemoryAtLine = c.outOfMemoryAtLine;
        loaded.root->m_outOfMemoryShown = c.shown;
        loaded.Load();
        EXPECT_EQ(loaded.loadResult, E_OUTOFMEMORY) << c.name;
        EXPECT_EQ(loaded.root->m_lineCount, c.outOfMemoryAtLine ? 249 : 2) << c.name << ": no line after the failure";
        EXPECT_EQ(loaded.root->m_removeAllCount, 1) << c.name;
        EXPECT_TRUE(loaded.root->m_threads.empty()) << c.name;
        const auto& reports = loaded.sink->m_reports;
        ASSERT_FALSE(reports.empty()) << c.name;
        EXPECT_EQ(reports.front(), std::make_pair(KivLogSysLoadProgress::Start, 0)) << c.name;
        EXPECT_EQ(reports.back(), std::make_pair(KivLogSysLoadProgress::Finished, static_cast<LONG>(E_OUTOFMEMORY))) << c.name;
        EXPECT_EQ(std::count(reports.begin(), reports.end(), std::make_pair(KivLogSysLoadProgress::Progress, 100)), 0) << c.name;
    }
}

// Runs body in a child process whose address space may grow by little more than the given
// number of bytes, and gives the child's exit status (-1 when it did not exit).
template <class Body>
int ExitStatusWithLittleMemory(std::size_t room, Body body)
{
    return KivTest::RunInChild([&] {
        std::ifstream status("/proc/self/status");
        std::string line;
        std::size_t usedKb = 0;
        while (std::getline(status, line)) {
            if (line.rfind("VmSize:", 0) == 0) {
                usedKb = std::stoul(line.substr(7));
            }
        }
        const rlimit limit{usedKb * 1024 + room, RLIM_INFINITY};
        if (usedKb == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) {
            return 99;
        }
        return body();
    });
}

TEST(CKivLogSysFileTest, NoMemoryForTheTextFailsTheOpenAsOutOfMemory)
{
    constexpr std::size_t Size = std::size_t{256} << 20;
    constexpr std::size_t Room = std::size_t{64} << 20;
    const char* const note = " (1: another status; 99: the limit could not be set)";

    // The file's content: a sparse file has the size without taking the disk space.
    TempDir dir;
    const auto path = dir.WriteFile("large.log", Header() + " x\r\n");
    std::filesystem::resize_file(path, Size);
    const std::u16string widePath = ToUtf16Path(path);
    EXPECT_EQ(ExitStatusWithLittleMemory(Room,
                                         [&widePath] {
                                             CKivLogSysFile file;
                                             return file.OpenFile(widePath.c_str()) == E_OUTOFMEMORY ? 0 : 1;
                                         }),
              0)
        << "reading the file" << note;

    // The converted text: the content is there, all but its first page untouched (zero bytes,
    // which convert to as many bytes or half as many).
    for (const std::string mark : {"\xEF\xBB\xBF", "\xFF\xFE"}) {
        PrivateMemory content;
        ASSERT_TRUE(content.Allocate(Size, false));
        const std::string start = mark + Header() + " x\r\n";
        std::memcpy(content.Data(), start.data(), start.size());
        EXPECT_EQ(ExitStatusWithLittleMemory(Room,
                                             [&content] {
                                                 CKivLogSysFile file;
                                                 return file.OpenContent(std::move(content)) == E_OUTOFMEMORY ? 0 : 1;
                                             }),
                  0)
            << "converting after the mark " << (mark.size() == 3 ? "UTF-8" : "UTF-16") << note;
    }
}

TEST(CKivLogSysFileTest, ForegroundLoadThatRunsOutOfMemoryReturnsThatStatus)
{
    // The text fits the room; a model of all its lines does not (each of them is an object).
    TempDir dir;
    const std::u16string path = ToUtf16Path(dir.WriteFile("trace.log", ManyLines(40000)));
    constexpr std::size_t Room = std::size_t{4} << 20;
    EXPECT_EQ(ExitStatusWithLittleMemory(Room,
                                         [&path] {
                                             CComPtr<IKivLogSysMgr> manager;
                                             if (FAILED(CKivLogSysMgr::CreateLogSysMgr(&manager))) {
                                                 return 2;
                                             }
                                             return manager->LoadLogFile(path.c_str(), 0) == E_OUTOFMEMORY ? 0 : 1;
                                         }),
              0)
        << "1: another status; 2: no manager; 99: the limit could not be set";
}

TEST(CKivLogSysFileTest, LoadsWithoutSinkAndDropsLinesWithoutThread)
{
    Loaded loaded;
    ASSERT_EQ(loaded.Open(ManyLines(30)), S_OK);
    loaded.root->m_refusedThreadId = 2;
    EXPECT_EQ(loaded.file.LoadLog(loaded.root, nullptr), CKivLogSysFile::LoadCompleted);
    const auto lines = loaded.Lines();
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[1].info.lineNumber, 3) << "a dropped line still has its number";
}

TEST(CKivLogSysFileTest, FileTruncatedOrDeletedAfterOpenStillLoadsWhatWasRead)
{
    Loaded loaded;
    const std::string data = ManyLines(200);
    ASSERT_EQ(loaded.Open(data), S_OK);
    const auto path = loaded.dir.Path() / "trace.log";
    std::filesystem::resize_file(path, 10);
    loaded.Load();
    std::filesystem::remove(path);
    const auto lines = loaded.Lines();
    ASSERT_EQ(lines.size(), 200u);
    EXPECT_EQ(lines[199].text, " line 199");

    // The line records stay readable after the file is gone.
    loaded.dir.WriteFile("other.log", std::string(data.size(), 'z'));
    EXPECT_EQ(lines[0].info.text[0], ' ');
}

TEST(CKivLogSysFileTest, CloseEmptiesTheFile)
{
    Loaded loaded;
    ASSERT_EQ(loaded.Open(ManyLines(3)), S_OK);
    EXPECT_EQ(loaded.file.Close(), S_OK);
    EXPECT_EQ(loaded.file.GetDataSize(), 0u);
    loaded.Load();
    EXPECT_EQ(loaded.root->m_lineCount, 0);
    EXPECT_EQ(loaded.sink->m_reports.back(), std::make_pair(KivLogSysLoadProgress::Finished, 0));
}

} // namespace
