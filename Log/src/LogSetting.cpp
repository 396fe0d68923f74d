// The settings of one library's tracing: the output filter, the factory chosen by the settings
// file, and the error log made on first request. Loading happens before the object is shared;
// afterwards the filter and factory are only read (see LogSetting.h).
#include "KivLog/LogSetting.h"

#include "KivLog/Log.h"
#include "KivLog/Outputs.h"

#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Text.h"

#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <new>
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

} // namespace

HRESULT CLogSetting::COutputFilter::Check(LPCWSTR subject, LONG level)
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

CLogSetting::CLogSetting(std::u16string_view name) : m_name(name)
{
    // Both objects start with our reference already counted.
    m_filter.Attach(new COutputFilter);
    m_factory.Attach(new Null::CLogFactory);
}

HRESULT CLogSetting::GetLogFactory(ILogFactory** factory)
{
    return m_factory.CopyTo(factory);
}

HRESULT CLogSetting::GetOutputFilter(IOutputFilter** filter)
{
    if (filter == nullptr) {
        return E_POINTER;
    }
    m_filter->AddRef();
    *filter = m_filter.Get();
    return S_OK;
}

bool CLogSetting::IsEnabled()
{
    return !m_filter->IsEmpty();
}

HRESULT CLogSetting::GetErrorLog(ILog** errorLog)
{
    if (errorLog == nullptr) {
        return E_POINTER;
    }
    if (m_errorLog == nullptr) {
        try {
            // The log takes its own reference on the output; ours goes when this scope ends.
            CComPtr<ILogIO> output;
            output.Attach(new File::CErrorLogIO(m_name, ErrorLogSizeLimit));
            m_errorLog.Attach(new CErrorLog(output));
        } catch (const std::bad_alloc&) {
            *errorLog = nullptr;
            return E_OUTOFMEMORY;
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
        factory.Attach(new Null::CLogFactory);
    } else if (className == u"Kiv::Log::File::CLogFactory") {
        const bool autoflush = AttributeText(element, "autoflush") == u"true";
        factory.Attach(new File::CLogFactory(autoflush, AttributeText(element, "location")));
    } else if (className == u"Kiv::Log::Ods::CLogFactory") {
        factory.Attach(new Ods::CLogFactory);
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

HRESULT CLogXMLSetting::LoadFile(std::u16string_view path)
{
    try {
        const std::filesystem::path systemPath(Platform::ToSystemPath(path));
        // Only regular files are handed to the parser: it sizes a file by seeking to its end,
        // and a folder on ext4 reports an end near 2^63, which the parser would try to allocate.
        std::error_code error;
        if (!std::filesystem::is_regular_file(systemPath, error)) {
            return S_OK;
        }
        pugi::xml_document document;
        const pugi::xml_parse_result result = document.load_file(systemPath.c_str());
        if (result.status == pugi::status_out_of_memory) {
            return E_OUTOFMEMORY;
        }
        if (!result) {
            return S_OK;
        }
        LoadRoot(document.document_element());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
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
