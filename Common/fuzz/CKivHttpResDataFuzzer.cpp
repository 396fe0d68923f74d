// Fuzz target of the response parser: any bytes must parse, or fail with a status, without
// reading outside them; a parsed response's areas must add up to the bytes, and every view it
// hands out must lie inside them. Built as a libFuzzer target by `make fuzz`; the stored corpus
// is replayed by the tests.
#include "KivCommon/KivCommon.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include "KivPlatform/TaskMem.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "response parser invariant broken: %s\n", what);
        std::abort();
    }
}

struct CRange {
    const BYTE* begin;
    const BYTE* end;

    // A view from the parser: empty, or wholly inside the range.
    void RequireInside(Kiv::IKivDataMarker* marker, const char* what) const
    {
        if (marker->IsEmpty()) {
            return;
        }
        const BYTE* data = nullptr;
        LONG size = 0;
        Require(SUCCEEDED(marker->GetData(&data, &size)), what);
        Require(size > 0 && data >= begin && data + size <= end, what);
    }
};

// Header names a response is likely to hold; the corpus uses them.
constexpr const char16_t* LikelyNames[] = {u"A", u"B", u"X", u"Content-Length", u"Host", u"Set"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > static_cast<std::size_t>(INT_MAX)) {
        return 0;
    }
    // A copy of exactly the input's size, so that the sanitizer sees any read past it.
    const std::unique_ptr<BYTE[]> bytes(new BYTE[size == 0 ? 1 : size]);
    std::memcpy(bytes.get(), data, size);
    const CRange range{bytes.get(), bytes.get() + size};
    const auto length = static_cast<LONG>(size);

    const Kiv::CComPtr<Kiv::IKivHttpResData> response(Kiv::GetHttpUtil()->CreateHttpResData());
    Require(static_cast<bool>(response), "response created");
    if (FAILED(response->SelectBuffer(bytes.get(), length))) {
        return 0;
    }
    LONG statusArea = -1, headerArea = -1, bodyArea = -1;
    Require(response->GetStatusAreaSize(&statusArea) == S_OK && statusArea >= 3, "status area");
    Require(response->GetHeaderAreaSize(&headerArea) == S_OK && headerArea >= 2, "header area");
    Require(response->GetBodyAreaSize(&bodyArea) == S_OK && bodyArea >= 0, "body area");
    Require(static_cast<long long>(statusArea) + headerArea + bodyArea == length, "areas add up");
    const BYTE* body = nullptr;
    LONG bodySize = -1;
    Require(response->GetBodyPtr(&body, &bodySize) == S_OK, "body");
    Require(body == bytes.get() + statusArea + headerArea && bodySize == bodyArea, "body after the headers");

    Kiv::CComPtr<Kiv::IKivStatusLine> statusLine;
    Require(response->GetStatusLine(&statusLine) == S_OK, "status line");
    for (ULONG i = 0; i < 3; ++i) {
        Kiv::CComPtr<Kiv::IKivDataMarker> param;
        Require(statusLine->GetParam(i, &param) == S_OK, "status parameter");
        range.RequireInside(param, "status parameter inside the bytes");
    }
    for (const char16_t* name : LikelyNames) {
        Kiv::CComPtr<Kiv::IKivHeaderLine> header;
        if (FAILED(response->FindHeaderLine(Kiv::CComBSTR(name), &header))) {
            continue;
        }
        LONG lineSize = 0;
        Require(header->GetSize(&lineSize) == S_OK && lineSize > 0 && lineSize < headerArea, "header line size");
        Kiv::IKivDataMarker** values = nullptr;
        LONG count = 0;
        if (SUCCEEDED(header->GetParam(&values, &count))) {
            Require(count >= 1, "a value has a piece");
            for (LONG i = 0; i < count; ++i) {
                range.RequireInside(values[i], "value piece inside the bytes");
                values[i]->Release();
            }
            CoTaskMemFree(values);
        }
    }
    return 0;
}
