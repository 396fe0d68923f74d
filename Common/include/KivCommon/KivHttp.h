// HTTP/1.x messages over raw bytes (Kiv::GetHttpUtil): a received response parsed into views on
// the caller's bytes (status line, header lines, body), and a request assembled from a status
// line, header lines and a body into an IKivMemory buffer. No networking.
//
// Parsed objects hold views, not copies: a response stays valid only while the bytes given to
// SelectBuffer stay alive and unchanged. Names and values cross the interfaces as BSTRs and are
// converted to and from the bytes with the ANSI code page. Every failure writes one error report
// to KivCommon's error log ("Kiv.log" beside the program) and returns its status.
//
// Thread-safety: reference counts are atomic; otherwise each object is used by one thread at a
// time.
#pragma once

#include "KivCommon/KivCommonExport.h"
#include "KivCommon/KivMemory.h"

#include "KivPlatform/Bstr.h"
#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

namespace Kiv {

// A view of bytes that someone else owns: a start and a signed length.
struct IKivDataMarker : IUnknown {
    KIV_INTERFACE_ID("E1D3093F-1776-4386-8C83-2A5DC6B6BFEC");
    // TRUE when the size is 0 or less.
    virtual BOOL IsEmpty() = 0;
    // Size 0, or a positive size with data: S_OK. Otherwise E_INVALIDARG.
    virtual HRESULT SetData(const BYTE* data, LONG size) = 0;
    // E_POINTER for null outs; E_FAIL for an empty view.
    virtual HRESULT GetData(const BYTE** data, LONG* size) = 0;
    // S_OK for the same bytes, E_FAIL for other bytes of the same size, E_INVALIDARG otherwise.
    virtual HRESULT Compare(const BYTE* data, LONG size) = 0;
};

// A parsed first line: three blank-separated parameters (the third may hold blanks).
struct IKivStatusLine : IUnknown {
    KIV_INTERFACE_ID("7AE002A6-45F2-4BEA-AEAD-D951B1452966");
    virtual HRESULT SelectBuffer(const BYTE* bytes, LONG length) = 0;
    // The line's length without its CR LF.
    virtual HRESULT GetSize(LONG* size) = 0;
    // Parameter 0, 1 or 2.
    virtual HRESULT GetParam(ULONG index, IKivDataMarker** marker) = 0;
};

// A parsed header line "name: value"; selecting the blank line gives S_FALSE.
struct IKivHeaderLine : IUnknown {
    KIV_INTERFACE_ID("86181C54-042C-41F0-9985-3CFB149194A4");
    virtual HRESULT SelectBuffer(const BYTE* bytes, LONG length) = 0;
    // The line's length without its CR LF; S_FALSE and 0 for the blank line.
    virtual HRESULT GetSize(LONG* size) = 0;
    // A new BSTR owned by the caller.
    virtual HRESULT GetName(BSTR* name) = 0;
    // The value split at commas: an array from CoTaskMemAlloc of count markers, each with one
    // reference; the caller releases them and frees the array with CoTaskMemFree.
    virtual HRESULT GetParam(IKivDataMarker*** values, LONG* count) = 0;
};

// A status line built from three texts; it owns the built line.
struct IKivStatusLineEx : IUnknown {
    KIV_INTERFACE_ID("D20BC7E2-0E68-4545-AF43-236CEA5C7BD2");
    virtual HRESULT CreateStatusLine(BSTR param1, BSTR param2, BSTR param3) = 0;
    virtual HRESULT GetParam(ULONG index, IKivDataMarker** marker) = 0;
    // The built line with its CR LF; size 0 before CreateStatusLine.
    virtual HRESULT GetStatusLine(const BYTE** data, LONG* size) = 0;
};

// A header line built from a name and a value; it owns the built line.
struct IKivHeaderLineEx : IUnknown {
    KIV_INTERFACE_ID("8F0D9EAC-E7B0-43F2-AB4A-00B379A9279E");
    virtual HRESULT CreateHeaderLine(BSTR name, BSTR value) = 0;
    virtual HRESULT GetName(BSTR* name) = 0;
    virtual HRESULT GetParam(IKivDataMarker*** values, LONG* count) = 0;
    // The built line with its CR LF; size 0 before CreateHeaderLine.
    virtual HRESULT GetHeaderLine(const BYTE** data, LONG* size) = 0;
};

// A parsed response. No header is interpreted: the body is every byte after the blank line.
struct IKivHttpResData : IUnknown {
    KIV_INTERFACE_ID("737AAF19-3799-45BD-8022-EBE084615423");
    virtual HRESULT SelectBuffer(const BYTE* bytes, LONG length) = 0;
    virtual HRESULT GetStatusLine(IKivStatusLine** statusLine) = 0;
    // The first header line of exactly this name (case-sensitive); E_FAIL when there is none.
    virtual HRESULT FindHeaderLine(BSTR name, IKivHeaderLine** header) = 0;
    virtual HRESULT GetBodyPtr(const BYTE** data, LONG* size) = 0;
    // The status line with its CR LF.
    virtual HRESULT GetStatusAreaSize(LONG* size) = 0;
    // The header lines with their CR LFs and the blank line.
    virtual HRESULT GetHeaderAreaSize(LONG* size) = 0;
    virtual HRESULT GetBodyAreaSize(LONG* size) = 0;
};

// A request under construction. Header names are unique (inserting replaces a line of the same
// name) and the built request lists them in byte order of their names.
struct IKivHttpReqData : IUnknown {
    KIV_INTERFACE_ID("3F0ECE1B-488C-4FA9-A72D-27BD555A33B8");
    // Any object that answers IKivStatusLineEx.
    virtual HRESULT SetStatusLine(IUnknown* statusLine) = 0;
    virtual HRESULT InsertHeaderLine(IKivHeaderLineEx* header) = 0;
    // S_OK when this very line was in the request, S_FALSE otherwise.
    virtual HRESULT RemoveHeaderLine(IKivHeaderLineEx* header) = 0;
    // A view of the caller's bytes until BuildRequestBuffer copies them.
    virtual HRESULT SetBodyArea(const BYTE* data, LONG size) = 0;
    virtual HRESULT GetStatusLine(IKivStatusLineEx** statusLine) = 0;
    virtual HRESULT FindHeaderLine(BSTR name, IKivHeaderLineEx** header) = 0;
    virtual HRESULT GetBodyPtr(const BYTE** data, LONG* size) = 0;
    // Appends status line, header lines, blank line and body to the buffer.
    virtual HRESULT BuildRequestBuffer(IKivMemory* memory) = 0;
};

// Makes the message objects: each a new object with count 0, or null when memory runs out.
class IHttpUtil {
public:
    virtual IKivHttpResData* CreateHttpResData() = 0;
    virtual IKivHttpReqData* CreateHttpReqData() = 0;
    virtual IKivHeaderLineEx* CreateHeaderLineEx() = 0;
    virtual IKivStatusLineEx* CreateStatusLineEx() = 0;

protected:
    ~IHttpUtil() = default;
};

KIVCOMMON_API IHttpUtil* GetHttpUtil();

} // namespace Kiv
