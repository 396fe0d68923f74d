#include "CKivHttpMessages.h"

#include "CKivHttpLines.h"
#include "KivHttpSupport.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/InterfaceMap.h"

#include <cstring>

namespace Kiv {

namespace {

constexpr LONG LineEndLength = 2;
constexpr BYTE LineEnd[LineEndLength] = {0x0D, 0x0A};

// FindHeaderLine of a response or a request: the first line in the map whose name is name, as
// the caller's interface; E_FAIL when there is none. Failures are reported for kivOperation.
template <class Line, class Header>
HRESULT FindHeaderLineIn(LPCWSTR kivOperation, const HeaderMap<Line>& headers, BSTR name, Header** header)
{
    if (name == nullptr) {
        KIV_HTTP_FAIL(E_POINTER, u"bstrName is null.");
    }
    if (header == nullptr) {
        KIV_HTTP_FAIL(E_POINTER, u"ppHeader is null.");
    }
    const std::string key = Http::ToAnsi(name);
    const auto found = headers.lower_bound(key);
    if (found == headers.end() || found->first != key) {
        return E_FAIL;
    }
    const HRESULT hr = found->second->QueryInterface(IID_PPV_ARGS(header));
    if (FAILED(hr)) {
        KIV_HTTP_FAIL(hr, u"(*iter).second->QueryInterface() failed.[0x%08X]", hr);
    }
    return hr;
}

} // namespace

// CKivHttpResData

HRESULT CKivHttpResData::Clear()
{
    KIV_HTTP_OPERATION(u"CKivHttpResData", u"Kiv::CKivHttpResData::Clear");
    KIV_HTTP_RUN([&]() -> HRESULT {
        m_pStatusLine.Release();
        m_headers.clear();
        m_statusAreaSize = 0;
        m_headerAreaSize = 0;
        m_bodyAreaSize = 0;
        m_pBody = nullptr;
        return S_OK;
    });
}

HRESULT CKivHttpResData::SelectBuffer(const BYTE* bytes, LONG length)
{
    KIV_HTTP_OPERATION(u"CKivHttpResData", u"Kiv::CKivHttpResData::SelectBuffer");
    KIV_HTTP_RUN([&]() -> HRESULT {
        HRESULT hr = Clear();
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"Clear() failed.[0x%08X]", hr);
        }
        const auto statusLine = Http::NewObject<CKivStatusLine>();
        if (!statusLine) {
            KIV_HTTP_FAIL(E_OUTOFMEMORY, u"CreateInstance() failed.");
        }
        hr = statusLine->SelectBuffer(bytes, length);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pStatusLine->SelectBuffer() failed.[0x%08X]", hr);
        }
        LONG lineSize = 0;
        hr = statusLine->GetSize(&lineSize);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pStatusLine->GetSize() failed.[0x%08X]", hr);
        }
        // Kept only once it has parsed, so that a response without a status line has none.
        m_pStatusLine = statusLine.Get();
        m_statusAreaSize = lineSize + LineEndLength;

        // Every line found ends with CR LF inside the remaining bytes, so the offset stays
        // within the caller's bytes.
        LONG offset = m_statusAreaSize;
        LONG remaining = length - offset;
        for (;;) {
            const auto header = Http::NewObject<CKivHeaderLine>();
            if (!header) {
                KIV_HTTP_FAIL(E_OUTOFMEMORY, u"CreateInstance() failed.");
            }
            hr = header->SelectBuffer(bytes + offset, remaining);
            if (FAILED(hr)) {
                KIV_HTTP_FAIL(hr, u"pHeader->SelectBuffer() failed.[0x%08X]", hr);
            }
            hr = header->GetSize(&lineSize);
            if (FAILED(hr)) {
                KIV_HTTP_FAIL(hr, u"Invalid Header Line [0x%08X]", hr);
            }
            if (hr == S_FALSE) {
                break;
            }
            CComBSTR name;
            hr = header->GetName(&name);
            if (FAILED(hr)) {
                KIV_HTTP_FAIL(hr, u"pHeader->GetName() failed.[0x%08X]", hr);
            }
            m_headers.emplace(Http::ToAnsi(name), header.Get());
            offset += lineSize + LineEndLength;
            remaining -= lineSize + LineEndLength;
        }
        m_pBody = bytes + offset + LineEndLength;
        m_headerAreaSize = offset - m_statusAreaSize + LineEndLength;
        m_bodyAreaSize = length - offset - LineEndLength;
        return S_OK;
    });
}

HRESULT CKivHttpResData::GetStatusLine(IKivStatusLine** statusLine)
{
    KIV_HTTP_OPERATION(u"CKivHttpResData", u"Kiv::CKivHttpResData::GetStatusLine");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (statusLine == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"ppStatusLine is null.");
        }
        if (!m_pStatusLine) {
            KIV_HTTP_FAIL(E_FAIL, u"m_pStatusLine is null.");
        }
        const HRESULT hr = m_pStatusLine->QueryInterface(IID_PPV_ARGS(statusLine));
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pStatusLine->QueryInterface() failed.[0x%08X]", hr);
        }
        return hr;
    });
}

HRESULT CKivHttpResData::FindHeaderLine(BSTR name, IKivHeaderLine** header)
{
    KIV_HTTP_OPERATION(u"CKivHttpResData", u"Kiv::CKivHttpResData::FindHeaderLine");
    KIV_HTTP_RUN([&] { return FindHeaderLineIn(kivOperation, m_headers, name, header); });
}

HRESULT CKivHttpResData::GetBodyPtr(const BYTE** data, LONG* size)
{
    KIV_HTTP_OPERATION(u"CKivHttpResData", u"Kiv::CKivHttpResData::GetBodyPtr");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (data == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"ppData is null.");
        }
        if (size == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"pSize is null.");
        }
        if (m_pBody == nullptr) {
            KIV_HTTP_FAIL(E_FAIL, u"m_pBody is null.");
        }
        *data = m_pBody;
        *size = m_bodyAreaSize;
        return S_OK;
    });
}

HRESULT CKivHttpResData::GetStatusAreaSize(LONG* size)
{
    KIV_HTTP_OPERATION(u"CKivHttpResData", u"Kiv::CKivHttpResData::GetStatusAreaSize");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (size == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"pSize is null.");
        }
        *size = m_statusAreaSize;
        return S_OK;
    });
}

HRESULT CKivHttpResData::GetHeaderAreaSize(LONG* size)
{
    KIV_HTTP_OPERATION(u"CKivHttpResData", u"Kiv::CKivHttpResData::GetHeaderAreaSize");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (size == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"pSize is null.");
        }
        *size = m_headerAreaSize;
        return S_OK;
    });
}

HRESULT CKivHttpResData::GetBodyAreaSize(LONG* size)
{
    KIV_HTTP_OPERATION(u"CKivHttpResData", u"Kiv::CKivHttpResData::GetBodyAreaSize");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (size == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"pSize is null.");
        }
        *size = m_bodyAreaSize;
        return S_OK;
    });
}

HRESULT CKivHttpResData::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivHttpResData::Iid, this}}, riid, ppv);
}

// CKivHttpReqData

bool CKivHttpReqData::Init()
{
    m_pBodyData = Http::NewObject<CKivDataMarker>().Get();
    return static_cast<bool>(m_pBodyData);
}

HRESULT CKivHttpReqData::SetStatusLine(IUnknown* statusLine)
{
    KIV_HTTP_OPERATION(u"CKivHttpReqData", u"Kiv::CKivHttpReqData::SetStatusLine");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (statusLine == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"pStatusLine is null.");
        }
        m_pStatusLine.Release();
        const HRESULT hr = statusLine->QueryInterface(IID_PPV_ARGS(&m_pStatusLine));
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"pStatusLine->QueryInterface() failed.[0x%08X]", hr);
        }
        return hr;
    });
}

HRESULT CKivHttpReqData::InsertHeaderLine(IKivHeaderLineEx* header)
{
    KIV_HTTP_OPERATION(u"CKivHttpReqData", u"Kiv::CKivHttpReqData::InsertHeaderLine");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (header == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"pHeaderLine is null.");
        }
        CComBSTR name;
        HRESULT hr = header->GetName(&name);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"pHeaderLine->GetName() failed.[0x%08X]", hr);
        }
        CComPtr<IKivHeaderLineEx> existing;
        const bool replaces = SUCCEEDED(FindHeaderLine(name, &existing));
        // The new line goes in first, so that running out of memory leaves the old one in place;
        // it follows lines of the same name, so removing the first holder of the old line
        // removes the old entry even when the same line is inserted again.
        m_headers.emplace(Http::ToAnsi(name), header);
        if (replaces) {
            hr = RemoveHeaderLine(existing);
            if (FAILED(hr)) {
                KIV_HTTP_FAIL(hr, u"RemoveHeaderLine() failed.[0x%08X]", hr);
            }
        }
        return S_OK;
    });
}

HRESULT CKivHttpReqData::RemoveHeaderLine(IKivHeaderLineEx* header)
{
    KIV_HTTP_OPERATION(u"CKivHttpReqData", u"Kiv::CKivHttpReqData::RemoveHeaderLine");
    KIV_HTTP_RUN([&]() -> HRESULT {
        for (auto at = m_headers.begin(); at != m_headers.end(); ++at) {
            if (at->second.Get() == header) {
                m_headers.erase(at);
                return S_OK;
            }
        }
        return S_FALSE;
    });
}

HRESULT CKivHttpReqData::SetBodyArea(const BYTE* data, LONG size)
{
    KIV_HTTP_OPERATION(u"CKivHttpReqData", u"Kiv::CKivHttpReqData::SetBodyArea");
    KIV_HTTP_RUN([&]() -> HRESULT { return m_pBodyData->SetData(data, size); });
}

HRESULT CKivHttpReqData::GetStatusLine(IKivStatusLineEx** statusLine)
{
    KIV_HTTP_OPERATION(u"CKivHttpReqData", u"Kiv::CKivHttpReqData::GetStatusLine");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (statusLine == nullptr) {
            KIV_HTTP_FAIL(E_POINTER, u"ppStatusLine is null.");
        }
        if (!m_pStatusLine) {
            KIV_HTTP_FAIL(E_POINTER, u"m_pStatusLine is null.");
        }
        const HRESULT hr = m_pStatusLine->QueryInterface(IID_PPV_ARGS(statusLine));
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pStatusLine->QueryInterface() failed.[0x%08X]", hr);
        }
        return hr;
    });
}

HRESULT CKivHttpReqData::FindHeaderLine(BSTR name, IKivHeaderLineEx** header)
{
    KIV_HTTP_OPERATION(u"CKivHttpReqData", u"Kiv::CKivHttpReqData::FindHeaderLine");
    KIV_HTTP_RUN([&] { return FindHeaderLineIn(kivOperation, m_headers, name, header); });
}

HRESULT CKivHttpReqData::GetBodyPtr(const BYTE** data, LONG* size)
{
    KIV_HTTP_OPERATION(u"CKivHttpReqData", u"Kiv::CKivHttpReqData::GetBodyPtr");
    KIV_HTTP_RUN([&]() -> HRESULT {
        if (!m_pBodyData) {
            KIV_HTTP_FAIL(E_FAIL, u"m_pBodyData is null.");
        }
        const HRESULT hr = m_pBodyData->GetData(data, size);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pBodyData->GetData() failed.[0x%08X]", hr);
        }
        return hr;
    });
}

HRESULT CKivHttpReqData::BuildRequestBuffer(IKivMemory* memory)
{
    KIV_HTTP_OPERATION(u"CKivHttpReqData", u"Kiv::CKivHttpReqData::BuildRequestBuffer");
    if (memory == nullptr) {
        KIV_HTTP_RUN([&]() -> HRESULT { KIV_HTTP_FAIL(E_FAIL, u"pMemory is null."); });
    }
    // On any failure the buffer goes back to what it held before.
    const DWORD originalSize = memory->GetSize();
    const HRESULT result = Http::Run(kivOperation, __LINE__, [&]() -> HRESULT {
        if (!m_pStatusLine) {
            KIV_HTTP_FAIL(E_FAIL, u"m_pStatusLine is null.");
        }
        if (!m_pBodyData) {
            KIV_HTTP_FAIL(E_FAIL, u"m_pBodyData is null.");
        }
        // Appends size bytes; a negative size from a foreign line is refused before anything
        // is read.
        const auto append = [&](const BYTE* data, LONG size) -> HRESULT {
            if (size < 0) {
                KIV_HTTP_FAIL(E_INVALIDARG, u"Invalid Parameter.");
            }
            BYTE* target = memory->Add(static_cast<DWORD>(size));
            if (target == nullptr) {
                KIV_HTTP_FAIL(E_OUTOFMEMORY, u"pMemory->Add() failed.");
            }
            if (size > 0) {
                std::memcpy(target, data, static_cast<std::size_t>(size));
            }
            return S_OK;
        };
        const BYTE* data = nullptr;
        LONG size = 0;
        HRESULT hr = m_pStatusLine->GetStatusLine(&data, &size);
        if (FAILED(hr)) {
            KIV_HTTP_FAIL(hr, u"m_pStatusLine->GetStatusLine() failed.[0x%08X]", hr);
        }
        if (FAILED(hr = append(data, size))) {
            return hr;
        }
        for (const auto& [name, header] : m_headers) {
            hr = header->GetHeaderLine(&data, &size);
            if (FAILED(hr)) {
                KIV_HTTP_FAIL(hr, u"(*iter).second->GetHeaderLine() failed.[0x%08X]", hr);
            }
            if (FAILED(hr = append(data, size))) {
                return hr;
            }
        }
        if (FAILED(hr = append(LineEnd, LineEndLength))) {
            return hr;
        }
        if (!m_pBodyData->IsEmpty()) {
            hr = m_pBodyData->GetData(&data, &size);
            if (FAILED(hr)) {
                KIV_HTTP_FAIL(hr, u"m_pBodyData->GetData() failed.[0x%08X]", hr);
            }
            if (FAILED(hr = append(data, size))) {
                return hr;
            }
        }
        return S_OK;
    });
    if (FAILED(result)) {
        memory->SetSize(originalSize);
    }
    return kivResult = result;
}

HRESULT CKivHttpReqData::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivHttpReqData::Iid, this}}, riid, ppv);
}

// CHttpUtil

IKivHttpResData* CHttpUtil::CreateHttpResData()
{
    return CKivObject<CKivHttpResData>::CreateObject();
}

IKivHttpReqData* CHttpUtil::CreateHttpReqData()
{
    return Http::CreateInitialized<CKivHttpReqData, IKivHttpReqData>();
}

IKivHeaderLineEx* CHttpUtil::CreateHeaderLineEx()
{
    return Http::CreateInitialized<CKivHeaderLineEx, IKivHeaderLineEx>();
}

IKivStatusLineEx* CHttpUtil::CreateStatusLineEx()
{
    return Http::CreateInitialized<CKivStatusLineEx, IKivStatusLineEx>();
}

IHttpUtil* GetHttpUtil()
{
    static CHttpUtil util;
    return &util;
}

} // namespace Kiv
