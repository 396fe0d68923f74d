// The settings of one library's tracing: the output filter, the factory chosen by the settings
// file, and the error log made on first request. Loading happens before the object is shared;
// afterwards the filter and factory are only read (see LogSetting.h).
#include "KivLog/LogSetting.h"

#include "KivLog/Log.h"
#include "KivLog/Outputs.h"

#include "KivObject/MakeObject.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Text.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

namespace Kiv::Log {

namespace {

// The error log moves itself aside once it reaches 2 MiB.
constexpr ULONGLONG ErrorLogSizeLimit = 0x200000;

bool IsElementNamed(const pugi::xml_node& node, std::string_view name)
{
    return node.type() == pugi::node_element && name == node.name();
}

// The attribute's text in UTF-16; empty when the attribute is absent.
std::u16string AttributeText(const pugi::xml_node& element, const char* name)
{
    return Platform::Utf8ToUtf16(element.attribute(name).as_string());
}

bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

// How the bytes of a settings file are to be read.
enum class SettingsEncoding {
    Parser,  // as the parser finds them: a byte-order mark, UTF-8, or a Latin-1 declaration
    Cp932,   // declared as Shift_JIS: decoded through the code page 932 tables first
    Unknown, // declared as something neither can decode: the file is refused
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// The encoding named by the XML declaration at the start of an 8-bit file; empty when there is
// no declaration or it names none (a file with a byte-order mark has no 8-bit declaration).
std::string_view DeclaredEncoding(std::string_view bytes)
{
    constexpr std::string_view declarationStart = "<?xml";
    if (!bytes.starts_with(declarationStart)) {
        return {};
    }
    const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
    std::size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) {
        return {};
    }
    at = declaration.find_first_not_of(" \t\r\n", at + std::string_view("encoding").size());
    if (at == std::string_view::npos || declaration[at] != '=') {
        return {};
    }
    at = declaration.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string_view::npos || (declaration[at] != '"' && declaration[at] != '\'')) {
        return {};
    }
    const std::size_t end = declaration.find(declaration[at], at + 1);
    return end == std::string_view::npos ? std::string_view() : declaration.substr(at + 1, end - at - 1);
}

SettingsEncoding EncodingOf(std::string_view bytes)
{
    const std::string_view declared = DeclaredEncoding(bytes);
    // The parser reads UTF-8 (and so ASCII), UTF-16 and UTF-32 by their marks, and Latin-1 when
    // the declaration names it.
    for (const std::string_view name : {"", "UTF-8", "UTF-16", "US-ASCII", "ISO-8859-1", "latin1"}) {
        if (EqualsIgnoringCase(declared, name)) {
            return SettingsEncoding::Parser;
        }
    }
    for (const std::string_view name : {"Shift_JIS", "Shift-JIS", "SJIS", "cp932", "windows-31j", "MS932"}) {
        if (EqualsIgnoringCase(declared, name)) {
            return SettingsEncoding::Cp932;
        }
    }
    return SettingsEncoding::Unknown;
}

// The whole file; nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

HRESULT CLogSetting::COutputFilter::Check(LPCWSTR subject, LONG level) noexcept
{
    if (subject == nullptr) {
        return E_FAIL;
    }
    // Looked up through a view: this runs for every trace call and must not allocate.
    const auto band = m_bands.find(std::u16string_view(subject));
    if (band == m_bands.end()) {
        return E_FAIL;
    }
    return level < band->second.minLevel || level > band->second.maxLevel ? S_FALSE : S_OK;
}

// Throws std::bad_alloc when the new entry cannot be stored; LoadFile reports that.
HRESULT CLogSetting::COutputFilter::AddFilter(std::u16string_view subject, LONG minLevel, LONG maxLevel)
{
    const auto next = m_bands.lower_bound(subject);
    if (next != m_bands.end() && next->first == subject) {
        return E_FAIL;
    }
    m_bands.emplace_hint(next, std::u16string(subject), Band{minLevel, maxLevel});
    return S_OK;
}

CLogSetting::CLogSetting(std::u16string_view name)
    : m_filter(MakeObject<COutputFilter>()), m_factory(MakeObject<Null::CLogFactory>()), m_name(name)
{
}

HRESULT CLogSetting::GetLogFactory(ILogFactory** factory) noexcept
{
    return m_factory.CopyTo(factory);
}

HRESULT CLogSetting::GetOutputFilter(IOutputFilter** filter) noexcept
{
    return m_filter.CopyTo(filter);
}

bool CLogSetting::IsEnabled() noexcept
{
    return !m_filter->IsEmpty();
}

HRESULT CLogSetting::GetErrorLog(ILog** errorLog) noexcept
{
    if (errorLog == nullptr) {
        return E_POINTER;
    }
    if (m_errorLog == nullptr) {
        const HRESULT made = Platform::StatusFromExceptions([&] {
            // The log takes its own reference on the output; ours goes when this scope ends.
            const CComPtr<ILogIO> output = MakeObject<File::CErrorLogIO>(m_name, ErrorLogSizeLimit);
            m_errorLog = MakeObject<CErrorLog>(output);
        });
        if (FAILED(made)) {
            *errorLog = nullptr;
            return made;
        }
    }
    return m_errorLog.CopyTo(errorLog);
}

void CLogSetting::LoadRoot(const pugi::xml_node& root)
{
    for (const pugi::xml_node& child : root.children()) {
        if (IsElementNamed(child, "FACTORY")) {
            LoadFactory(child);
        } else if (IsElementNamed(child, "FILTERLIST")) {
            LoadFilterList(child);
        }
    }
}

void CLogSetting::LoadFactory(const pugi::xml_node& element)
{
    const std::u16string className = AttributeText(element, "class");
    CComPtr<ILogFactory> factory;
    if (className == u"Kiv::Log::Null::CLogFactory") {
        factory = MakeObject<Null::CLogFactory>();
    } else if (className == u"Kiv::Log::File::CLogFactory") {
        const bool autoflush = AttributeText(element, "autoflush") == u"true";
        factory = MakeObject<File::CLogFactory>(autoflush, AttributeText(element, "location"));
    } else if (className == u"Kiv::Log::Ods::CLogFactory") {
        factory = MakeObject<Ods::CLogFactory>();
    } else {
        // An unknown or missing class leaves the factory chosen so far.
        return;
    }
    m_factory = std::move(factory);
}

void CLogSetting::LoadFilterList(const pugi::xml_node& element)
{
    for (const pugi::xml_node& child : element.children()) {
        if (IsElementNamed(child, "FILTER")) {
            LoadFilter(child);
        }
    }
}

void CLogSetting::LoadFilter(const pugi::xml_node& element)
{
    // A repeated subject keeps its first band, so AddFilter's refusal is expected here.
    static_cast<void>(m_filter->AddFilter(AttributeText(element, "subject"),
                                          ParseLevel(AttributeText(element, "minlevel")),
                                          ParseLevel(AttributeText(element, "maxlevel"))));
}

HRESULT CLogXMLSetting::LoadFile(std::u16string_view path) noexcept
{
    return Platform::StatusFromExceptions([&]() -> HRESULT {
        const std::filesystem::path systemPath(Platform::ToSystemPath(path));
        // Only regular files are read: a folder cannot be, and a FIFO would block.
        std::error_code error;
        if (!std::filesystem::is_regular_file(systemPath, error)) {
            return S_OK;
        }
        std::optional<std::string> bytes = ReadWholeFile(systemPath);
        if (!bytes) {
            return S_OK;
        }
        pugi::xml_encoding encoding = pugi::encoding_auto;
        switch (EncodingOf(*bytes)) {
        case SettingsEncoding::Parser:
            break;
        case SettingsEncoding::Cp932:
            // The parser would take Shift_JIS bytes for UTF-8: it gets them decoded.
            *bytes = Platform::AnsiToUtf8(*bytes);
            encoding = pugi::encoding_utf8;
            break;
        case SettingsEncoding::Unknown:
            return S_OK;
        }
        pugi::xml_document document;
        const pugi::xml_parse_result result =
            document.load_buffer(bytes->data(), bytes->size(), pugi::parse_default, encoding);
        if (result.status == pugi::status_out_of_memory) {
            return E_OUTOFMEMORY;
        }
        if (!result) {
            return S_OK;
        }
        LoadRoot(document.document_element());
        return S_OK;
    });
}

// Values beyond the LONG range clamp to its nearest end, as the standard conversion does.
LONG ParseLevel(std::u16string_view text)
{
    std::size_t position = 0;
    while (position < text.size() && IsBlank(text[position])) {
        ++position;
    }
    bool negative = false;
    if (position < text.size() && (text[position] == u'+' || text[position] == u'-')) {
        negative = text[position] == u'-';
        ++position;
    }
    // The magnitude stops growing just past the LONG range, so no digit run can overflow it.
    constexpr LONGLONG MagnitudeLimit = static_cast<LONGLONG>(std::numeric_limits<LONG>::max()) + 1;
    LONGLONG magnitude = 0;
    for (; position < text.size() && text[position] >= u'0' && text[position] <= u'9'; ++position) {
        magnitude = std::min(magnitude * 10 + (text[position] - u'0'), MagnitudeLimit);
    }
    const LONGLONG value = negative ? -magnitude : magnitude;
    return static_cast<LONG>(std::clamp<LONGLONG>(value, std::numeric_limits<LONG>::min(),
                                                  std::numeric_limits<LONG>::max()));
}

} // namespace Kiv::Log
