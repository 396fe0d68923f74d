// A parsed HTTP response (CKivHttpResData: views on the caller's bytes), a request under
// construction (CKivHttpReqData) and the utility that makes the message objects (CHttpUtil).
// Not thread-safe: each object is used by one thread at a time; counts are atomic.
#pragma once

#include "KivCommon/KivHttp.h"

#include "KivObject/ComPtr.h"

#include <map>
#include <string>

namespace Kiv {

// Header lines by their name in the ANSI code page, in byte order of the names; lines of equal
// names stay in the order they were added.
template <class Line>
using HeaderMap = std::multimap<std::string, CComPtr<Line>>;

class CKivHttpResData : public IKivHttpResData {
public:
    HRESULT SelectBuffer(const BYTE* bytes, LONG length) override;
    HRESULT GetStatusLine(IKivStatusLine** statusLine) override;
    HRESULT FindHeaderLine(BSTR name, IKivHeaderLine** header) override;
    HRESULT GetBodyPtr(const BYTE** data, LONG* size) override;
    HRESULT GetStatusAreaSize(LONG* size) override;
    HRESULT GetHeaderAreaSize(LONG* size) override;
    HRESULT GetBodyAreaSize(LONG* size) override;
    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    // Forgets the parsed response.
    HRESULT Clear();

    CComPtr<IKivStatusLine> m_pStatusLine;
    HeaderMap<IKivHeaderLine> m_headers;
    const BYTE* m_pBody = nullptr;
    LONG m_statusAreaSize = 0;
    LONG m_headerAreaSize = 0;
    LONG m_bodyAreaSize = 0;
};

class CKivHttpReqData : public IKivHttpReqData {
public:
    // Creates the body marker; false when memory runs out.
    bool Init();

    HRESULT SetStatusLine(IUnknown* statusLine) override;
    HRESULT InsertHeaderLine(IKivHeaderLineEx* header) override;
    HRESULT RemoveHeaderLine(IKivHeaderLineEx* header) override;
    HRESULT SetBodyArea(const BYTE* data, LONG size) override;
    HRESULT GetStatusLine(IKivStatusLineEx** statusLine) override;
    HRESULT FindHeaderLine(BSTR name, IKivHeaderLineEx** header) override;
    HRESULT GetBodyPtr(const BYTE** data, LONG* size) override;
    HRESULT BuildRequestBuffer(IKivMemory* memory) override;
    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    CComPtr<IKivStatusLineEx> m_pStatusLine;
    HeaderMap<IKivHeaderLineEx> m_headers;
    CComPtr<IKivDataMarker> m_pBodyData;
};

class CHttpUtil : public IHttpUtil {
public:
    IKivHttpResData* CreateHttpResData() override;
    IKivHttpReqData* CreateHttpReqData() override;
    IKivHeaderLineEx* CreateHeaderLineEx() override;
    IKivStatusLineEx* CreateStatusLineEx() override;
};

} // namespace Kiv
