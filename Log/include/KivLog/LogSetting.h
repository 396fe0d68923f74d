// The settings of one library's tracing: the output factory and the output filter, filled once
// from an XML settings file, and the error log handed out on request.
// Loading runs before any other thread sees the object; afterwards it is only read, except for
// the error log's creation, which the module log's lock serialises.
#pragma once

#include "KivLog/LogInterfaces.h"
#include "KivLog/Unknown.h"

#include "KivObject/ComPtr.h"

#include <map>
#include <string>
#include <string_view>

namespace pugi {
class xml_node;
}

namespace Kiv::Log {

class CLogSetting : public Common::CUnknown<ILogSetting> {
public:
    // Subjects to level bands. Subjects compare by their UTF-16 code units, case-sensitively.
    class COutputFilter : public Common::CUnknown<IOutputFilter> {
    public:
        HRESULT Check(LPCWSTR subject, LONG level) noexcept override;
        // S_OK when added; E_FAIL when the subject already has a band (the first one wins).
        HRESULT AddFilter(std::u16string_view subject, LONG minLevel, LONG maxLevel);
        bool IsEmpty() const { return m_bands.empty(); }

    private:
        struct Band {
            LONG minLevel;
            LONG maxLevel;
        };
        std::map<std::u16string, Band, std::less<>> m_bands;
    };

    // name is the path of the error-log file.
    explicit CLogSetting(std::u16string_view name);

    HRESULT GetLogFactory(ILogFactory** factory) noexcept override;
    HRESULT GetOutputFilter(IOutputFilter** filter) noexcept override;
    bool IsEnabled() noexcept override;
    HRESULT GetErrorLog(ILog** errorLog) noexcept override;

protected:
    // The steps of reading a settings document.
    void LoadRoot(const pugi::xml_node& root);
    void LoadFactory(const pugi::xml_node& element);
    void LoadFilterList(const pugi::xml_node& element);
    void LoadFilter(const pugi::xml_node& element);

    CComPtr<COutputFilter> m_filter;
    CComPtr<ILogFactory> m_factory;
    std::u16string m_name;
    CComPtr<ILog> m_errorLog;
};

// The settings as read from a settings file.
class CLogXMLSetting : public CLogSetting {
public:
    using CLogSetting::CLogSetting;

    // Reads the file; an unreadable or malformed file keeps the defaults. The file is UTF-8,
    // UTF-16 or UTF-32 (by its byte-order mark), Latin-1 or Shift_JIS (code page 932) as its XML
    // declaration says; a file declaring any other encoding keeps the defaults. S_OK, or
    // E_OUTOFMEMORY when memory ran out while reading (what was read before is kept).
    HRESULT LoadFile(std::u16string_view path) noexcept;
};

// Reads a level like the standard _wtol: leading blanks, an optional sign, digits; anything
// else ends the number; no digits give 0.
LONG ParseLevel(std::u16string_view text);

} // namespace Kiv::Log
