#include "CKivHttpLines.h"

#include "KivHttpScan.h"
#include "KivHttpSupport.h"

#include "KivObject/InterfaceMap.h"

#include "KivPlatform/TaskMem.h"

#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>

namespace Kiv {

namespace {

constexpr const char* LineEnd = "\r\n";
constexpr BYTE Blank = ' ';
constexpr const char* Blanks = " ";
constexpr BYTE Comma = ',';
constexpr BYTE Colon = ':';
// The bytes that may end a header name.
constexpr const char* NameEnds = ": \t";

// The pieces joined into one line; false when the line would not fit a signed 32-bit length.
bool BuildLine(std::initializer_list<std::string_view> pieces, std::vector<BYTE>& line)
{
    std::size_t size = 0;
    for (std::string_view piece : pieces) {
        size += piece.size();
    }
    if (size > static_cast<std::size_t>(std::numeric_limits<LONG>::max())) {
        return false;
    }
    line.clear();
    line.reserve(size);
    for (std::string_view piece : pieces) {
        line.insert(line.end(), piece.begin(), piece.end());
    }
    return true;
}

// The built text of a line for GetStatusLine and GetHeaderLine.
void GiveText(const std::vector<BYTE>& text, const BYTE** data, LONG* size)
{
    *data = text.empty() ? nullptr : text.data();
    *size = static_cast<LONG>(text.size());
}

} // namespace

// CKivDataMarker

HRESULT CKivDataMarker::SetData(const BYTE* data, LONG size)
{
    KIV_HTTP_OPERATION(u"CKivDataMarker", u"Kiv::CKivDataMarker::SetData");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (size != 0 && (size < 0 || data == nullptr)) {
            KIV_HTTP_FAIL(E_INVALIDARG, u"Invalid Parameter.");
        }
        m_data = data;
        m_size = size;
        return S_OK;
    });
}

HRESULT CKivDataMarker::GetData(const BYTE** data, LONG* size)
{
    KIV_HTTP_OPERATION(u"CKivDataMarker", u"Kiv::CKivDataMarker::GetData");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (data == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"ppData is null.");
        }
        if (size == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"psize is null.");
        }
        if (m_size < 1 || m_data == nullptr) {
            KIV_HTTP_FAIL(E_FAIL, u"data is null.");
        }
        *data = m_data;
        *size = m_size;
        return S_OK;
    });
}

HRESULT CKivDataMarker::Compare(const BYTE* data, LONG size)
{
    KIV_HTTP_OPERATION(u"CKivDataMarker", u"Kiv::CKivDataMarker::Compare");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (size != m_size) {
            KIV_HTTP_FAIL(E_INVALIDARG, u"invalid size.");
        }
        if (size <= 0) {
            return S_OK;
        }
        // Bytes that are not there cannot be read, whatever size the caller gives.
        if (data == nullptr) {
            KIV_HTTP_FAIL(E_INVALIDARG, u"Invalid Parameter.");
        }
        return std::memcmp(data, m_data, static_cast<std::size_t>(size)) == 0 ? S_OK : E_FAIL;
    });
}

HRESULT CKivDataMarker::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivDataMarker::Iid, this}}, riid, ppv);
}

// CKivStatusLine

HRESULT CKivStatusLine::SelectBuffer(const BYTE* bytes, LONG length)
{
    KIV_HTTP_OPERATION(u"CKivStatusLine", u"Kiv::CKivStatusLine::SelectBuffer");
    KIV_HTTP_RUN([&]() -> HRESULT {
        for (auto& param : m_pParam) {
            param.Release();
        }
        m_size = 0;
        const auto param1 = Http::NewObject<CKivDataMarker>();
        const auto param2 = Http::NewObject<CKivDataMarker>();
        const auto param3 = Http::NewObject<CKivDataMarker>();
        if (!param1 || !param2 || !param3) {
            KIV_HTTP_FAIL(E_OUTOFMEMORY, u"CreateInstance() failed.");
        }
        const LONG end = KivFindKeyword(bytes, length, LineEnd);
        if (end < 0) {
            KIV_HTTP_FAIL(E_FAIL, u"KivFindKeyword() failed.");
        }
        const LONG blank1 = KivFindCharacter(bytes, Blank, end);
        if (blank1 < 0) {
            KIV_HTTP_FAIL(E_FAIL, u"KivFindCharacter() failed.");
        }
        HRESULT hr = param1->SetData(bytes, blank1);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"pParam1->SetData() failed.[0x%08X]", hr);
        }
        const LONG skip1 = KivSkipChars(Blanks, bytes + blank1, end - blank1);
        if (skip1 < 0) {
            KIV_HTTP_FAIL(E_FAIL, u"KivSkipChars() failed.");
        }
        const LONG start2 = blank1 + skip1;
        const LONG blank2 = KivFindCharacter(bytes + start2, Blank, end - start2);
        if (blank2 < 0) {
            KIV_HTTP_FAIL(E_FAIL, u"KivFindCharacter() failed.");
        }
        hr = param2->SetData(bytes + start2, blank2);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"pParam2->SetData() failed.[0x%08X]", hr);
        }
        const LONG skip2 = KivSkipChars(Blanks, bytes + start2 + blank2, end - start2 - blank2);
        if (skip2 < 0) {
            KIV_HTTP_FAIL(E_FAIL, u"KivSkipChars() failed.");
        }
        const LONG start3 = start2 + blank2 + skip2;
        hr = param3->SetData(bytes + start3, end - start3);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"pParam3->SetData() failed.[0x%08X]", hr);
        }
        m_pParam = {param1.Get(), param2.Get(), param3.Get()};
        m_size = end;
        return S_OK;
    });
}

HRESULT CKivStatusLine::GetSize(LONG* size)
{
    KIV_HTTP_OPERATION(u"CKivStatusLine", u"Kiv::CKivStatusLine::GetSize");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (size == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"psize is null.");
        }
        if (m_size <= 0) {
            KIV_HTTP_FAIL(E_FAIL, u"m_size < 0.");
        }
        *size = m_size;
        return S_OK;
    });
}

HRESULT CKivStatusLine::GetParam(ULONG index, IKivDataMarker** marker)
{
    KIV_HTTP_OPERATION(u"CKivStatusLine", u"Kiv::CKivStatusLine::GetParam");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (index >= m_pParam.size()) {
            KIV_HTTP_FAIL(E_INVALIDARG, u"invalid index.");
        }
        if (marker == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"ppMarker is null.");
        }
        if (!m_pParam[index]) {
            KIV_HTTP_FAIL(E_FAIL, u"m_pParam[index] is null.");
        }
        const HRESULT hr = m_pParam[index]->QueryInterface(IID_PPV_ARGS(marker));
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pParam[index]->QueryInterface() failed.[0x%08X]", hr);
        }
        return hr;
    });
}

HRESULT CKivStatusLine::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivStatusLine::Iid, this}}, riid, ppv);
}

// CKivHeaderLine

HRESULT CKivHeaderLine::SelectBuffer(const BYTE* bytes, LONG length)
{
    KIV_HTTP_OPERATION(u"CKivHeaderLine", u"Kiv::CKivHeaderLine::SelectBuffer");
    KIV_HTTP_RUN([&]() -> HRESULT {
        m_size = 0;
        m_pName = Http::NewObject<CKivDataMarker>().Get();
        m_pValue = Http::NewObject<CKivDataMarker>().Get();
        if (!m_pName || !m_pValue) {
            KIV_HTTP_FAIL(E_OUTOFMEMORY, u"CreateInstance() failed.");
        }
        const LONG end = KivFindKeyword(bytes, length, LineEnd);
        if (end < 0) {
            KIV_HTTP_FAIL(E_FAIL, u"isize < 0.");
        }
        if (end == 0) {
            return S_FALSE;
        }
        const LONG nameEnd = KivFindChars(bytes, length, NameEnds);
        if (nameEnd < 0) {
            KIV_HTTP_FAIL(E_FAIL, u"iedPos < 0.");
        }
        HRESULT hr = m_pName->SetData(bytes, nameEnd);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"pName->SetData() failed.[0x%08X]", hr);
        }
        const LONG colon = KivFindCharacter(bytes + nameEnd, Colon, length - nameEnd);
        if (colon < 0) {
            KIV_HTTP_FAIL(E_FAIL, u"istPos < 0.");
        }
        LONG valueStart = nameEnd + colon + 1;
        valueStart += KivSkipChars(Blanks, bytes + valueStart, length - valueStart);
        if (valueStart < 0) {
            KIV_HTTP_FAIL(E_FAIL, u"istPos < 0.");
        }
        // A colon that comes only after the line's end gives a negative length, which the
        // marker refuses.
        hr = m_pValue->SetData(bytes + valueStart, end - valueStart);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"pValue->SetData() failed.[0x%08X]", hr);
        }
        m_size = end;
        return S_OK;
    });
}

HRESULT CKivHeaderLine::GetSize(LONG* size)
{
    KIV_HTTP_OPERATION(u"CKivHeaderLine", u"Kiv::CKivHeaderLine::GetSize");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (size == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"psize is null.");
        }
        *size = m_size;
        return m_size == 0 ? S_FALSE : S_OK;
    });
}

HRESULT CKivHeaderLine::GetName(BSTR* name)
{
    KIV_HTTP_OPERATION(u"CKivHeaderLine", u"Kiv::CKivHeaderLine::GetName");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (name == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"pszName is null.");
        }
        if (!m_pName) {
            KIV_HTTP_FAIL(E_FAIL, u"m_pName is null.");
        }
        const BYTE* data = nullptr;
        LONG size = 0;
        const HRESULT hr = m_pName->GetData(&data, &size);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pName->GetData() failed.[0x%08X]", hr);
        }
        BSTR text = Http::ToBstr(std::string_view(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size)));
        if (text == nullptr) {
            KIV_HTTP_FAIL(E_OUTOFMEMORY, u"SysAllocStringLen() failed.");
        }
        *name = text;
        return S_OK;
    });
}

HRESULT CKivHeaderLine::GetParam(IKivDataMarker*** values, LONG* count)
{
    KIV_HTTP_OPERATION(u"CKivHeaderLine", u"Kiv::CKivHeaderLine::GetParam");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (values == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"pppValue is null.");
        }
        if (count == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"pCount is null.");
        }
        if (!m_pName) {
            KIV_HTTP_FAIL(E_FAIL, u"m_pName is null.");
        }
        if (!m_pValue) {
            KIV_HTTP_FAIL(E_FAIL, u"m_pValue is null.");
        }
        const BYTE* data = nullptr;
        LONG size = 0;
        HRESULT hr = m_pValue->GetData(&data, &size);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pValue->GetData() failed.[0x%08X]", hr);
        }
        std::vector<CComPtr<IKivDataMarker>> pieces;
        LONG start = 0;
        for (;;) {
            const LONG comma = KivFindCharacter(data + start, Comma, size - start);
            const auto piece = Http::NewObject<CKivDataMarker>();
            if (!piece) {
                KIV_HTTP_FAIL(E_OUTOFMEMORY, u"CreateInstance() failed.");
            }
            hr = piece->SetData(data + start, comma < 0 ? size - start : comma);
            if (FAILED(hr)) {
                KIV_HTTP_FAIL(hr, u"pMarker->SetData() failed.[0x%08X]", hr);
            }
            pieces.emplace_back(piece.Get());
            if (comma < 0) {
                break;
            }
            start += comma + 1;
            // Blanks after a comma belong to no piece, unless nothing else follows.
            const LONG blanks = KivSkipChars(Blanks, data + start, size - start);
            if (blanks > 0) {
                start += blanks;
            }
        }
        auto** array = static_cast<IKivDataMarker**>(CoTaskMemAlloc(pieces.size() * sizeof(IKivDataMarker*)));
        if (array == nullptr) {
            KIV_HTTP_FAIL(E_OUTOFMEMORY, u"CoTaskMemAlloc() failed.");
        }
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            array[i] = pieces[i].Detach();
        }
        *values = array;
        *count = static_cast<LONG>(pieces.size());
        return S_OK;
    });
}

HRESULT CKivHeaderLine::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivHeaderLine::Iid, this}}, riid, ppv);
}

// CKivStatusLineEx

bool CKivStatusLineEx::Init()
{
    m_pStatusLine = Http::NewObject<CKivStatusLine>().Get();
    return static_cast<bool>(m_pStatusLine);
}

HRESULT CKivStatusLineEx::CreateStatusLine(BSTR param1, BSTR param2, BSTR param3)
{
    KIV_HTTP_OPERATION(u"CKivStatusLineEx", u"Kiv::CKivStatusLineEx::CreateStatusLine");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (param1 == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"bstrParam1 is null.");
        }
        if (param2 == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"bstrParam2 is null.");
        }
        if (param3 == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"bstrParam3 is null.");
        }
        std::vector<BYTE> text;
        if (!BuildLine({Http::ToAnsi(param1), Blanks, Http::ToAnsi(param2), Blanks, Http::ToAnsi(param3), LineEnd},
                       text)) {
            KIV_HTTP_FAIL(E_INVALIDARG, u"Invalid Parameter.");
        }
        m_text.swap(text);
        const HRESULT hr = m_pStatusLine->SelectBuffer(m_text.data(), static_cast<LONG>(m_text.size()));
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pStatusLine->SelectBuffer() failed.[0x%08X]", hr);
        }
        return hr;
    });
}

HRESULT CKivStatusLineEx::GetParam(ULONG index, IKivDataMarker** marker)
{
    KIV_HTTP_OPERATION(u"CKivStatusLineEx", u"Kiv::CKivStatusLineEx::GetParam");
    KIV_HTTP_RUN([&]() -> HRESULT {
        const HRESULT hr = m_pStatusLine->GetParam(index, marker);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pStatusLine->GetParam() failed.[0x%08X]", hr);
        }
        return hr;
    });
}

HRESULT CKivStatusLineEx::GetStatusLine(const BYTE** data, LONG* size)
{
    KIV_HTTP_OPERATION(u"CKivStatusLineEx", u"Kiv::CKivStatusLineEx::GetStatusLine");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (data == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"ppData is null.");
        }
        if (size == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"psize is null.");
        }
        GiveText(m_text, data, size);
        return S_OK;
    });
}

HRESULT CKivStatusLineEx::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivStatusLineEx::Iid, this}}, riid, ppv);
}

// CKivHeaderLineEx

bool CKivHeaderLineEx::Init()
{
    m_pHeaderLine = Http::NewObject<CKivHeaderLine>().Get();
    return static_cast<bool>(m_pHeaderLine);
}

HRESULT CKivHeaderLineEx::CreateHeaderLine(BSTR name, BSTR value)
{
    KIV_HTTP_OPERATION(u"CKivHeaderLineEx", u"Kiv::CKivHeaderLineEx::CreateHeaderLine");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (name == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"bstrName is null.");
        }
        if (value == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"bstrValue is null.");
        }
        std::vector<BYTE> text;
        if (!BuildLine({Http::ToAnsi(name), ": ", Http::ToAnsi(value), LineEnd}, text)) {
            KIV_HTTP_FAIL(E_INVALIDARG, u"Invalid Parameter.");
        }
        m_text.swap(text);
        const HRESULT hr = m_pHeaderLine->SelectBuffer(m_text.data(), static_cast<LONG>(m_text.size()));
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pHeaderLine->SelectBuffer() failed.[0x%08X]", hr);
        }
        return hr;
    });
}

HRESULT CKivHeaderLineEx::GetName(BSTR* name)
{
    KIV_HTTP_OPERATION(u"CKivHeaderLineEx", u"Kiv::CKivHeaderLineEx::GetName");
    KIV_HTTP_RUN([&]() -> HRESULT {
        const HRESULT hr = m_pHeaderLine->GetName(name);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pHeaderLine->GetName() failed.[0x%08X]", hr);
        }
        return hr;
    });
}

HRESULT CKivHeaderLineEx::GetParam(IKivDataMarker*** values, LONG* count)
{
    KIV_HTTP_OPERATION(u"CKivHeaderLineEx", u"Kiv::CKivHeaderLineEx::GetParam");
    KIV_HTTP_RUN([&]() -> HRESULT {
        const HRESULT hr = m_pHeaderLine->GetParam(values, count);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pHeaderLine->GetParam() failed.[0x%08X]", hr);
        }
        return hr;
    });
}

HRESULT CKivHeaderLineEx::GetHeaderLine(const BYTE** data, LONG* size)
{
    KIV_HTTP_OPERATION(u"CKivHeaderLineEx", u"Kiv::CKivHeaderLineEx::GetHeaderLine");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (data == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"ppData is null.");
        }
        if (size == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"psize is null.");
        }
        GiveText(m_text, data, size);
        return S_OK;
    });
}

HRESULT CKivHeaderLineEx::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivHeaderLineEx::Iid, this}}, riid, ppv);
}

} // namespace Kiv
