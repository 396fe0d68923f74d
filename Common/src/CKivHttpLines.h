// The parts of an HTTP message: a byte view (CKivDataMarker), a parsed status line and header
// line (CKivStatusLine, CKivHeaderLine), and the built forms that own their text
// (CKivStatusLineEx, CKivHeaderLineEx). Not thread-safe: each object is used by one thread at a
// time; counts are atomic.
#pragma once

#include "KivCommon/KivHttp.h"

#include "KivObject/ComPtr.h"

#include <array>
#include <vector>

namespace Kiv {

class CKivDataMarker : public IKivDataMarker {
public:
    BOOL IsEmpty() override { return m_size <= 0 ? TRUE : FALSE; }
    HRESULT SetData(const BYTE* data, LONG size) override;
    HRESULT GetData(const BYTE** data, LONG* size) override;
    HRESULT Compare(const BYTE* data, LONG size) override;
    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    const BYTE* m_data = nullptr;
    LONG m_size = 0;
};

class CKivStatusLine : public IKivStatusLine {
public:
    HRESULT SelectBuffer(const BYTE* bytes, LONG length) override;
    HRESULT GetSize(LONG* size) override;
    HRESULT GetParam(ULONG index, IKivDataMarker** marker) override;
    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    std::array<CComPtr<IKivDataMarker>, 3> m_pParam;
    LONG m_size = 0;
};

class CKivHeaderLine : public IKivHeaderLine {
public:
    HRESULT SelectBuffer(const BYTE* bytes, LONG length) override;
    HRESULT GetSize(LONG* size) override;
    HRESULT GetName(BSTR* name) override;
    HRESULT GetParam(IKivDataMarker*** values, LONG* count) override;
    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    CComPtr<IKivDataMarker> m_pName;
    CComPtr<IKivDataMarker> m_pValue;
    LONG m_size = 0;
};

class CKivStatusLineEx : public IKivStatusLineEx {
public:
    // Creates the inner status line; false when memory runs out.
    bool Init();

    HRESULT CreateStatusLine(BSTR param1, BSTR param2, BSTR param3) override;
    HRESULT GetParam(ULONG index, IKivDataMarker** marker) override;
    HRESULT GetStatusLine(const BYTE** data, LONG* size) override;
    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    CComPtr<IKivStatusLine> m_pStatusLine;
    // The built line with its CR LF. A vector keeps its bytes in place when swapped, so the
    // inner line's views stay valid.
    std::vector<BYTE> m_text;
};

class CKivHeaderLineEx : public IKivHeaderLineEx {
public:
    // Creates the inner header line; false when memory runs out.
    bool Init();

    HRESULT CreateHeaderLine(BSTR name, BSTR value) override;
    HRESULT GetName(BSTR* name) override;
    HRESULT GetParam(IKivDataMarker*** values, LONG* count) override;
    HRESULT GetHeaderLine(const BYTE** data, LONG* size) override;
    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    CComPtr<IKivHeaderLine> m_pHeaderLine;
    std::vector<BYTE> m_text;
};

} // namespace Kiv
