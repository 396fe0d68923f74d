// HTTP messages when memory runs out: every allocation of a parse-and-build exchange fails in
// turn. This binary has no settings file beside it, so KivCommon does not trace here and each
// pass stays short.
#include "HttpTestSupport.h"

#include "KivTestSupport/FailingAllocations.h"

#include "KivPlatform/TaskMem.h"

#include <gtest/gtest.h>

using namespace Kiv;
using namespace KivHttpTest;

namespace {

// What the exchange below reads, made before any allocation fails.
struct CExchangeInputs {
    CExactBytes bytes{"HTTP/1.1 200 OK\r\nA: 1, 2\r\nB: 2\r\n\r\nxyz"};
    CComBSTR name{u"A"}, method{u"GET"}, path{u"/"}, version{u"HTTP/1.1"}, hostName{u"Host"}, hostValue{u"h"};
};

// A whole exchange of operations: parse a response and read it, build a request. The first
// failing status, or S_OK.
HRESULT ParseAndBuild(const CExchangeInputs& in)
{
    const CComPtr<IKivHttpResData> response(GetHttpUtil()->CreateHttpResData());
    const CComPtr<IKivHttpReqData> request(GetHttpUtil()->CreateHttpReqData());
    const CComPtr<IKivStatusLineEx> statusLine(GetHttpUtil()->CreateStatusLineEx());
    const CComPtr<IKivHeaderLineEx> host(GetHttpUtil()->CreateHeaderLineEx());
    const CComPtr<IKivMemory> memory(GetMemoryUtil()->CreateMemory_COM());
    if (!response || !request || !statusLine || !host || !memory) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = response->SelectBuffer(in.bytes.Data(), in.bytes.Size());
    CComPtr<IKivHeaderLine> a;
    if (SUCCEEDED(hr)) {
        hr = response->FindHeaderLine(in.name, &a);
    }
    IKivDataMarker** values = nullptr;
    LONG count = 0;
    if (SUCCEEDED(hr) && SUCCEEDED(hr = a->GetParam(&values, &count))) {
        for (LONG i = 0; i < count; ++i) {
            values[i]->Release();
        }
        CoTaskMemFree(values);
    }
    CComBSTR readName;
    if (SUCCEEDED(hr)) {
        hr = a->GetName(&readName);
    }
    if (SUCCEEDED(hr)) {
        hr = statusLine->CreateStatusLine(in.method, in.path, in.version);
    }
    if (SUCCEEDED(hr)) {
        hr = request->SetStatusLine(statusLine);
    }
    if (SUCCEEDED(hr)) {
        hr = host->CreateHeaderLine(in.hostName, in.hostValue);
    }
    if (SUCCEEDED(hr)) {
        hr = request->InsertHeaderLine(host);
    }
    if (SUCCEEDED(hr)) {
        hr = request->BuildRequestBuffer(memory);
    }
    return hr;
}

// Every allocation of the exchange fails in turn: each time the operations end with a status
// (no exception leaves them) and leak nothing; with enough memory the exchange succeeds.
TEST(HttpMemoryTest, RunningOutOfMemoryGivesAStatusAtEveryStep)
{
    const CExchangeInputs inputs;
    ASSERT_EQ(ParseAndBuild(inputs), S_OK); // KivCommon's log starts outside the failing stretch
    long failed = 0;
    int outOfMemory = 0;
    for (long allowed = 0; allowed < 100000; ++allowed) {
        HRESULT hr = E_FAIL;
        {
            const KivTest::CFailingAllocations failing(allowed, failed);
            hr = ParseAndBuild(inputs);
        }
        if (failed == 0) {
            EXPECT_EQ(hr, S_OK);
            break;
        }
        EXPECT_TRUE(hr == S_OK || hr == E_OUTOFMEMORY) << "after " << allowed << " allocations: 0x" << std::hex << hr;
        outOfMemory += hr == E_OUTOFMEMORY ? 1 : 0;
    }
    EXPECT_EQ(failed, 0);
    EXPECT_GT(outOfMemory, 10);
}

} // namespace
