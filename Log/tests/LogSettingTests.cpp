// Tests of the tracing settings: the output filter, level parsing, what a settings file sets
// (factory, filters) or leaves at the defaults when it cannot be read, and the error log.
#include "KivLog/LogSetting.h"

#include "KivLog/Outputs.h"

#include "KivObject/ComPtr.h"
#include "KivPlatform/Text.h"
#include "KivTestSupport/TempDir.h"

#include "KivObject/MakeObject.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Kiv::CComPtr;
using Kiv::MakeObject;
using Kiv::Platform::Utf16ToUtf8;
using Kiv::Platform::Utf8ToUtf16;
using KivTest::TempDir;
using KivTest::ToUtf16Path;
using namespace Kiv::Log;

constexpr LONG MinLong = std::numeric_limits<LONG>::min();
constexpr LONG MaxLong = std::numeric_limits<LONG>::max();

constexpr std::string_view NullClass = "Kiv::Log::Null::CLogFactory";
constexpr std::string_view FileClass = "Kiv::Log::File::CLogFactory";
constexpr std::string_view OdsClass = "Kiv::Log::Ods::CLogFactory";

enum class FactoryKind { None, Null, File, Ods, Other };

const char* NameOf(FactoryKind kind)
{
    switch (kind) {
    case FactoryKind::None: return "none";
    case FactoryKind::Null: return "Null";
    case FactoryKind::File: return "File";
    case FactoryKind::Ods: return "Ods";
    case FactoryKind::Other: return "other";
    }
    return "?";
}

FactoryKind KindOf(ILogFactory* factory)
{
    if (factory == nullptr) {
        return FactoryKind::None;
    }
    if (dynamic_cast<File::CLogFactory*>(factory) != nullptr) {
        return FactoryKind::File;
    }
    if (dynamic_cast<Ods::CLogFactory*>(factory) != nullptr) {
        return FactoryKind::Ods;
    }
    if (dynamic_cast<Null::CLogFactory*>(factory) != nullptr) {
        return FactoryKind::Null;
    }
    return FactoryKind::Other;
}

// Settings documents are built from these pieces, so each case shows only what differs.
std::string Factory(std::string_view className, std::string_view extra = {})
{
    return "<FACTORY class=\"" + std::string(className) + "\" " + std::string(extra) + "/>";
}

std::string Filter(std::string_view subject, std::string_view minLevel, std::string_view maxLevel)
{
    return "<FILTER subject=\"" + std::string(subject) + "\" minlevel=\"" + std::string(minLevel) +
           "\" maxlevel=\"" + std::string(maxLevel) + "\"/>";
}

std::string FilterList(const std::string& filters)
{
    return "<FILTERLIST>" + filters + "</FILTERLIST>";
}

std::string Document(const std::string& body, std::string_view root = "KIVLOG")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + std::string(root) + ">" + body + "</" +
           std::string(root) + ">";
}

CComPtr<CLogXMLSetting> NewSetting(std::u16string_view errorLogPath)
{
    CComPtr<CLogXMLSetting> setting = MakeObject<CLogXMLSetting>(errorLogPath);
    return setting;
}

FactoryKind FactoryOf(ILogSetting& setting)
{
    CComPtr<ILogFactory> factory;
    EXPECT_EQ(setting.GetLogFactory(&factory), S_OK);
    return KindOf(factory);
}

HRESULT Check(ILogSetting& setting, std::u16string_view subject, LONG level)
{
    CComPtr<IOutputFilter> filter;
    EXPECT_EQ(setting.GetOutputFilter(&filter), S_OK);
    return filter->Check(std::u16string(subject).c_str(), level);
}

class LogSettingTest : public ::testing::Test {
protected:
    std::u16string ErrorLogPath() const { return ToUtf16Path(m_dir.Path() / "error.log"); }

    // A setting read from a settings file holding the given bytes.
    CComPtr<CLogXMLSetting> Load(std::string_view bytes)
    {
        const auto path = m_dir.WriteFile("settings.xml", bytes);
        CComPtr<CLogXMLSetting> setting = NewSetting(ErrorLogPath());
        EXPECT_EQ(setting->LoadFile(ToUtf16Path(path)), S_OK);
        return setting;
    }

    TempDir m_dir;
};

TEST(OutputFilterTest, FirstBandOfASubjectWinsAndBoundsAreInclusive)
{
    CComPtr<CLogSetting::COutputFilter> filter = MakeObject<CLogSetting::COutputFilter>();
    EXPECT_TRUE(filter->IsEmpty());
    EXPECT_EQ(filter->AddFilter(u"Subject", 0, 10), S_OK);
    EXPECT_EQ(filter->AddFilter(u"Subject", 20, 30), E_FAIL);
    EXPECT_EQ(filter->AddFilter(u"Extremes", MinLong, MaxLong), S_OK);
    EXPECT_FALSE(filter->IsEmpty());

    EXPECT_EQ(filter->Check(u"Subject", 0), S_OK);
    EXPECT_EQ(filter->Check(u"Subject", 10), S_OK);
    EXPECT_EQ(filter->Check(u"Subject", 25), S_FALSE) << "the second band must not replace the first";
    EXPECT_EQ(filter->Check(u"Extremes", MinLong), S_OK);
    EXPECT_EQ(filter->Check(u"Extremes", MaxLong), S_OK);
    EXPECT_EQ(filter->Check(nullptr, 0), E_FAIL);
}

struct ParseCase {
    std::u16string_view text;
    LONG expected;
};

TEST(ParseLevelTest, ReadsLeadingBlanksSignAndDigits)
{
    const ParseCase cases[] = {
        {u"", 0},
        {u"abc", 0},
        {u"12", 12},
        {u" 12", 12},
        {u" \t\r\n\v\f34", 34},
        {u"-5x", -5},
        {u"+7", 7},
        {u"007", 7},
        {u"12 34", 12},
        {u"1.9", 1},
        {u"0x10", 0},
        {u"+", 0},
        {u"-", 0},
        {u"+-3", 0},
        {u"- 3", 0},
        {u"x12", 0},
        {u"\u00A05", 0},    // no-break space is not a blank
        {u"\uFF11\uFF12", 0}, // full-width digits are not digits
        {u"2147483647", MaxLong},
        {u"-2147483648", MinLong},
        {u"2147483648", MaxLong},
        {u"-2147483649", MinLong},
        {u"99999999999999999999999", MaxLong},
        {u"-99999999999999999999999", MinLong},
    };
    for (const ParseCase& c : cases) {
        EXPECT_EQ(ParseLevel(c.text), c.expected) << "text \"" << Utf16ToUtf8(c.text) << "\"";
    }
}

TEST_F(LogSettingTest, NewSettingUsesTheNullFactoryAndPassesNothing)
{
    CComPtr<CLogXMLSetting> setting = NewSetting(ErrorLogPath());
    EXPECT_EQ(FactoryOf(*setting), FactoryKind::Null);
    EXPECT_FALSE(setting->IsEnabled());
    EXPECT_EQ(Check(*setting, u"CKivHttpReqData", 0), E_FAIL);
}

TEST_F(LogSettingTest, GettersRefuseNullOutPointers)
{
    CComPtr<CLogXMLSetting> setting = NewSetting(ErrorLogPath());
    EXPECT_EQ(setting->GetLogFactory(nullptr), E_POINTER);
    EXPECT_EQ(setting->GetOutputFilter(nullptr), E_POINTER);
    EXPECT_EQ(setting->GetErrorLog(nullptr), E_POINTER);
}

// The setting holds one reference on the factory and the filter; each getter adds exactly one
// for the caller (a second AddRef by the caller then gives 3).
TEST_F(LogSettingTest, GettersHandOutOneCountedReference)
{
    CComPtr<CLogXMLSetting> setting = NewSetting(ErrorLogPath());

    CComPtr<ILogFactory> factory;
    ASSERT_EQ(setting->GetLogFactory(&factory), S_OK);
    EXPECT_EQ(factory->AddRef(), 3u);
    factory->Release();

    CComPtr<IOutputFilter> filter;
    ASSERT_EQ(setting->GetOutputFilter(&filter), S_OK);
    EXPECT_EQ(filter->AddRef(), 3u);
    filter->Release();
}

TEST_F(LogSettingTest, FiltersFromTheFileDecideWhatPasses)
{
    CComPtr<CLogXMLSetting> setting = Load(Document(FilterList(
        Filter("CKivHttpReqData", "0", "10") + Filter("CKivHttpReqHeader", "0", "9") +
        Filter("Twice", "0", "5") + Filter("Twice", "20", "30"))));
    ASSERT_TRUE(setting->IsEnabled());
    EXPECT_EQ(FactoryOf(*setting), FactoryKind::Null) << "filters alone choose no factory";

    const struct {
        std::u16string_view subject;
        LONG level;
        HRESULT expected;
    } cases[] = {
        {u"CKivHttpReqData", 10, S_OK},
        {u"CKivHttpReqData", 0, S_OK},
        {u"CKivHttpReqData", 11, S_FALSE},
        {u"CKivHttpReqData", -1, S_FALSE},
        {u"CKivHttpReqHeader", 9, S_OK},
        {u"CKivHttpReqHeader", 10, S_FALSE},
        {u"ckivhttpreqdata", 5, E_FAIL},
        {u"CKIVHTTPREQDATA", 5, E_FAIL},
        {u"CKivHttpReq", 5, E_FAIL},
        {u"CKivHttpReqDataX", 5, E_FAIL},
        {u"Unknown", 5, E_FAIL},
        {u"", 5, E_FAIL},
        {u"Twice", 5, S_OK},
        {u"Twice", 25, S_FALSE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Check(*setting, c.subject, c.level), c.expected)
            << "subject \"" << Utf16ToUtf8(c.subject) << "\", level " << c.level;
    }
}

TEST_F(LogSettingTest, FactoryElementsChooseTheFactory)
{
    const struct {
        const char* name;
        std::string body;
        FactoryKind expected;
    } cases[] = {
        {"no factory element", FilterList(""), FactoryKind::Null},
        {"file", Factory(FileClass, "autoflush=\"true\""), FactoryKind::File},
        {"ods", Factory(OdsClass), FactoryKind::Ods},
        {"null", Factory(NullClass), FactoryKind::Null},
        {"autoflush TRUE still gives a file factory", Factory(FileClass, "autoflush=\"TRUE\""), FactoryKind::File},
        {"null after file replaces it", Factory(FileClass) + Factory(NullClass), FactoryKind::Null},
        {"file after ods replaces it", Factory(OdsClass) + Factory(FileClass), FactoryKind::File},
        {"unknown class after file keeps file", Factory(FileClass) + Factory("Kiv::Log::Xyz::CLogFactory"),
         FactoryKind::File},
        {"missing class after ods keeps ods", Factory(OdsClass) + "<FACTORY/>", FactoryKind::Ods},
        {"class names are case-sensitive", Factory("kiv::log::file::clogfactory"), FactoryKind::Null},
        {"element names are case-sensitive", "<factory class=\"" + std::string(FileClass) + "\"/>",
         FactoryKind::Null},
        {"only children of the root count", "<GROUP>" + Factory(FileClass) + "</GROUP>", FactoryKind::Null},
        {"factory between filter lists", FilterList("") + Factory(OdsClass) + FilterList(""), FactoryKind::Ods},
    };
    for (const auto& c : cases) {
        CComPtr<CLogXMLSetting> setting = Load(Document(c.body));
        EXPECT_EQ(FactoryOf(*setting), c.expected)
            << c.name << ": got " << NameOf(FactoryOf(*setting)) << ", expected " << NameOf(c.expected);
    }
}

TEST_F(LogSettingTest, RootThatIsAFactoryElementIsOnlyAContainer)
{
    CComPtr<CLogXMLSetting> setting =
        Load("<FACTORY class=\"" + std::string(FileClass) + "\">" + FilterList(Filter("A", "0", "1")) + "</FACTORY>");
    EXPECT_EQ(FactoryOf(*setting), FactoryKind::Null);
    EXPECT_EQ(Check(*setting, u"A", 1), S_OK);
}

TEST_F(LogSettingTest, DocumentElementMayHaveAnyName)
{
    for (const std::string_view root : {"KIVLOG", "settings", "設定"}) {
        CComPtr<CLogXMLSetting> setting = Load(Document(Factory(OdsClass) + FilterList(Filter("A", "0", "1")), root));
        EXPECT_EQ(FactoryOf(*setting), FactoryKind::Ods) << "root " << root;
        EXPECT_EQ(Check(*setting, u"A", 1), S_OK) << "root " << root;
    }
}

TEST_F(LogSettingTest, FiltersComeFromEveryFilterListButOnlyFromTheirFilterChildren)
{
    CComPtr<CLogXMLSetting> setting = Load(Document(
        FilterList(Filter("First", "0", "1") + "<filter subject=\"LowerCase\" minlevel=\"0\" maxlevel=\"1\"/>" +
                   "<FILTER subject=\"Outer\" minlevel=\"0\" maxlevel=\"1\">" + Filter("Nested", "0", "1") +
                   "</FILTER>" + "<OTHER>" + Filter("InOther", "0", "1") + "</OTHER>") +
        Filter("UnderRoot", "0", "1") + "<filterlist>" + Filter("InLowerCaseList", "0", "1") + "</filterlist>" +
        "<GROUP>" + FilterList(Filter("InNestedList", "0", "1")) + "</GROUP>" + FilterList(Filter("Second", "0", "1"))));

    const struct {
        std::u16string_view subject;
        HRESULT expected;
    } cases[] = {
        {u"First", S_OK},      {u"Second", S_OK},          {u"Outer", S_OK},
        {u"LowerCase", E_FAIL}, {u"Nested", E_FAIL},        {u"InOther", E_FAIL},
        {u"UnderRoot", E_FAIL}, {u"InLowerCaseList", E_FAIL}, {u"InNestedList", E_FAIL},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Check(*setting, c.subject, 1), c.expected) << "subject " << Utf16ToUtf8(c.subject);
    }
}

// Each case gets its own subject with the given minimum and a wide maximum; the level just
// below the parsed minimum must be refused and the minimum itself must pass.
TEST_F(LogSettingTest, LevelAttributesAreReadAsNumbers)
{
    const struct {
        std::string_view minLevel;
        LONG expected;
    } cases[] = {
        {"abc", 0}, {" 12", 12}, {"-5x", -5}, {"+7", 7}, {"", 0},
    };
    std::string filters;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        filters += Filter("Min" + std::to_string(i), cases[i].minLevel, "1000");
    }
    filters += Filter("Max", "-10", " 12abc");
    filters += "<FILTER subject=\"NoLevels\"/>";
    CComPtr<CLogXMLSetting> setting = Load(Document(FilterList(filters)));

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::u16string subject = u"Min" + Utf8ToUtf16(std::to_string(i));
        EXPECT_EQ(Check(*setting, subject, cases[i].expected), S_OK) << "minlevel \"" << cases[i].minLevel << "\"";
        EXPECT_EQ(Check(*setting, subject, cases[i].expected - 1), S_FALSE)
            << "minlevel \"" << cases[i].minLevel << "\"";
    }
    EXPECT_EQ(Check(*setting, u"Max", 12), S_OK);
    EXPECT_EQ(Check(*setting, u"Max", 13), S_FALSE);
    EXPECT_EQ(Check(*setting, u"NoLevels", 0), S_OK) << "absent levels read as 0";
    EXPECT_EQ(Check(*setting, u"NoLevels", 1), S_FALSE);
    EXPECT_EQ(Check(*setting, u"NoLevels", -1), S_FALSE);
}

TEST_F(LogSettingTest, SubjectsOutsideAsciiMatchTheirUtf16Form)
{
    CComPtr<CLogXMLSetting> setting =
        Load(Document(FilterList(Filter("通信ログ", "0", "3") + Filter("顔😀", "0", "3"))));
    EXPECT_EQ(Check(*setting, u"通信ログ", 3), S_OK);
    EXPECT_EQ(Check(*setting, u"通信ログ", 4), S_FALSE);
    EXPECT_EQ(Check(*setting, u"顔😀", 0), S_OK);
    EXPECT_EQ(Check(*setting, u"通信ロク", 0), E_FAIL);
    EXPECT_EQ(Check(*setting, u"顔", 0), E_FAIL);
}

TEST_F(LogSettingTest, UnreadableSettingsKeepTheDefaults)
{
    // Each malformed document would set a file factory and a filter if it were half-read.
    const std::string validStart = "<KIVLOG>" + Factory(FileClass) + FilterList(Filter("A", "0", "1"));
    const std::string garbage("\x3C\x00\xFF\xFE\x80\x81\x3C\x3E\x01\x02\xE3\x81\x82\x9F\x00\xC0\xAF", 17);
    const struct {
        const char* name;
        std::string bytes;
    } contents[] = {
        {"unclosed root", validStart},
        {"mismatched end tag", validStart + "</OTHER>"},
        {"trailing garbage", validStart + "</KIVLOG><"},
        {"empty file", ""},
        {"only blanks", " \r\n\t"},
        {"only a comment", "<!-- " + validStart + " -->"},
        {"binary garbage", garbage},
        {"garbage after a byte-order mark", "\xEF\xBB\xBF" + garbage},
    };
    std::vector<std::pair<std::string, std::u16string>> paths;
    for (const auto& c : contents) {
        paths.emplace_back(c.name, ToUtf16Path(m_dir.WriteFile(std::string(c.name) + ".xml", c.bytes)));
    }
    paths.emplace_back("missing file", ToUtf16Path(m_dir.Path() / "missing.xml"));
    paths.emplace_back("a folder", ToUtf16Path(m_dir.Path()));
    paths.emplace_back("empty path", u"");

    for (const auto& [name, path] : paths) {
        CComPtr<CLogXMLSetting> setting = NewSetting(ErrorLogPath());
        EXPECT_EQ(setting->LoadFile(path), S_OK) << name;
        EXPECT_EQ(FactoryOf(*setting), FactoryKind::Null) << name;
        EXPECT_FALSE(setting->IsEnabled()) << name;
    }
}

// The location travels to the file factory: its outputs are created in that folder.
TEST_F(LogSettingTest, FileFactoryCreatesOutputsAtTheLocation)
{
    const std::filesystem::path folder = m_dir.Path() / "ログ出力";
    std::filesystem::create_directories(folder);
    CComPtr<CLogXMLSetting> setting =
        Load(Document(Factory(FileClass, "autoflush=\"true\" location=\"" + folder.string() + "\"")));

    CComPtr<ILogFactory> factory;
    ASSERT_EQ(setting->GetLogFactory(&factory), S_OK);
    ASSERT_EQ(KindOf(factory), FactoryKind::File);
    CComPtr<ILogIO> output;
    output.Attach(factory->CreateLogIO(u"Trace"));
    ASSERT_NE(output, nullptr);

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind("Trace[", 0), 0u) << names[0];
    EXPECT_TRUE(names[0].ends_with("].log")) << names[0];
}

// A settings file in Shift_JIS is decoded through code page 932: its Japanese location and
// subjects arrive intact. A declared encoding that cannot be decoded keeps the defaults.
TEST_F(LogSettingTest, DeclaredEncodingsAreDecodedOrRefused)
{
    const struct {
        std::string declaration;
        bool shiftJis; // the file's bytes are code page 932; otherwise UTF-8
        bool read;
    } cases[] = {
        {R"(<?xml version="1.0" encoding="Shift_JIS"?>)", true, true},
        {R"(<?xml version="1.0" encoding="shift_jis"?>)", true, true},
        {R"(<?xml version="1.0" encoding = 'SJIS' ?>)", true, true},
        {R"(<?xml version="1.0" encoding="cp932"?>)", true, true},
        {R"(<?xml version="1.0" encoding="windows-31j" standalone="yes"?>)", true, true},
        {R"(<?xml version="1.0" encoding="utf-8"?>)", false, true},
        {R"(<?xml version="1.0"?>)", false, true},
        {R"(<?xml version="1.0" encoding="EUC-JP"?>)", false, false},
        {R"(<?xml version="1.0" encoding="windows-1252"?>)", false, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const std::filesystem::path folder = m_dir.Path() / ("ログ出力" + std::to_string(i));
        const std::string utf8 = c.declaration + "<設定>" +
                                 Factory(FileClass, "location=\"" + folder.string() + "\"") +
                                 FilterList(Filter("通信ログ", "0", "10")) + "</設定>";
        CComPtr<CLogXMLSetting> setting = Load(c.shiftJis ? Kiv::Platform::Utf8ToAnsi(utf8) : utf8);
        if (!c.read) {
            EXPECT_EQ(FactoryOf(*setting), FactoryKind::Null) << c.declaration;
            EXPECT_FALSE(setting->IsEnabled()) << c.declaration;
            continue;
        }
        EXPECT_EQ(Check(*setting, u"通信ログ", 10), S_OK) << c.declaration;
        CComPtr<ILogFactory> factory;
        ASSERT_EQ(setting->GetLogFactory(&factory), S_OK);
        ASSERT_EQ(KindOf(factory), FactoryKind::File) << c.declaration;
        CComPtr<ILogIO> output;
        output.Attach(factory->CreateLogIO(u"Trace"));
        ASSERT_NE(output, nullptr);
        ASSERT_TRUE(std::filesystem::is_directory(folder)) << c.declaration;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1)
            << c.declaration;
    }
}

TEST_F(LogSettingTest, ErrorLogIsMadeOnceAndWritesToTheNamedFile)
{
    const std::filesystem::path errorLogPath = m_dir.Path() / "error.log";
    CComPtr<CLogXMLSetting> setting = NewSetting(ErrorLogPath());

    CComPtr<ILog> first;
    ASSERT_EQ(setting->GetErrorLog(&first), S_OK);
    ASSERT_NE(first, nullptr);
    CComPtr<ILog> second;
    ASSERT_EQ(setting->GetErrorLog(&second), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    // The setting's reference and the two handed out.
    EXPECT_EQ(first->AddRef(), 4u);
    first->Release();

    EXPECT_FALSE(std::filesystem::exists(errorLogPath)) << "nothing is written before the first line";
    first->Write(u"settings error line");
    ASSERT_TRUE(std::filesystem::exists(errorLogPath));
    EXPECT_NE(KivTest::FileBytes(errorLogPath).find("settings error line"), std::string::npos);
}

} // namespace
