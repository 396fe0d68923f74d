// HTTP messages through Kiv::GetHttpUtil: the scanning functions, status and header lines, whole
// responses (well-formed and hostile, each held in a buffer of exactly its size so that a read
// past it is caught), requests, the error reports with their messages, and the trace lines.
#include "HttpTestSupport.h"
#include "KivHttpScan.h"

#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "KivPlatform/TaskMem.h"


#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

using namespace Kiv;
using namespace KivHttpTest;

namespace {

CComPtr<IKivHttpResData> NewResponse()
{
    return CComPtr<IKivHttpResData>(GetHttpUtil()->CreateHttpResData());
}

CComPtr<IKivHttpReqData> NewRequest()
{
    return CComPtr<IKivHttpReqData>(GetHttpUtil()->CreateHttpReqData());
}

std::string ParamText(IKivStatusLine* line, ULONG index)
{
    CComPtr<IKivDataMarker> marker;
    return SUCCEEDED(line->GetParam(index, &marker)) ? Text(marker) : "<none>";
}

const BYTE* Bytes(const char* text)
{
    return reinterpret_cast<const BYTE*>(text);
}

TEST(HttpScanTest, FindAndSkip)
{
    const BYTE* text = Bytes("ab  c\r\nd");
    EXPECT_EQ(KivFindCharacter(text, 'c', 8), 4);
    EXPECT_EQ(KivFindCharacter(text, 'c', 4), -1);
    EXPECT_EQ(KivFindCharacter(text, 'a', 0), -1);
    EXPECT_EQ(KivFindChars(text, 8, "\r "), 2);
    EXPECT_EQ(KivFindChars(text, 8, "xyz"), -1);
    EXPECT_EQ(KivFindKeyword(text, 8, "\r\n"), 5);
    EXPECT_EQ(KivFindKeyword(text, 6, "\r\n"), -1);
    EXPECT_EQ(KivFindKeyword(text, 1, "ab"), -1);
    EXPECT_EQ(KivFindKeyword(text, 0, ""), 0);
    EXPECT_EQ(KivFindKeyword(text, -5, "a"), -1);
    EXPECT_EQ(KivSkipCharacter(text + 2, ' ', 6), 2);
    EXPECT_EQ(KivSkipChars("ab ", text, 8), 4);
    EXPECT_EQ(KivSkipChars(" ", text + 2, 2), -1);
    EXPECT_EQ(KivSkipChars(" ", text, INT_MIN), -1);
}

TEST(HttpScanTest, NullArgumentsAreReported)
{
    const CNewReports reports;
    EXPECT_EQ(KivFindCharacter(nullptr, 'a', 5), -1);
    EXPECT_EQ(KivFindKeyword(Bytes("a"), 1, nullptr), -1);
    EXPECT_EQ(KivSkipChars(nullptr, Bytes("a"), 1), -1);
    EXPECT_EQ(KivFindChars(Bytes("a"), 1, nullptr), -1);
    EXPECT_EQ(reports.Get(), (std::vector<std::string>{
                                 "[KivHttp(Kiv::KivFindCharacter)] pBuf is null.",
                                 "[KivHttp(Kiv::KivFindKeyword)] pKeyword is null.",
                                 "[KivHttp(Kiv::KivSkipChars)] pList is null.",
                                 "[KivHttp(Kiv::KivFindChars)] pList is null.",
                             }));
}

TEST(HttpMarkerTest, SetGetCompare)
{
    // A piece of a header line's value is a marker; this is how a caller gets one. It views the
    // line's text, so the line must outlive it.
    const auto header = NewHeader("N", "v");
    CComPtr<IKivDataMarker> marker;
    IKivDataMarker** values = nullptr;
    LONG count = 0;
    ASSERT_EQ(header->GetParam(&values, &count), S_OK);
    ASSERT_EQ(count, 1);
    marker.Attach(values[0]);
    CoTaskMemFree(values);
    const CNewReports reports;
    EXPECT_EQ(Text(marker), "v");
    EXPECT_EQ(marker->SetData(nullptr, 0), S_OK);
    EXPECT_TRUE(marker->IsEmpty());
    EXPECT_EQ(marker->SetData(nullptr, 3), E_INVALIDARG);
    EXPECT_EQ(marker->SetData(Bytes("abc"), -1), E_INVALIDARG);
    EXPECT_EQ(marker->SetData(Bytes("abc"), 3), S_OK);
    EXPECT_EQ(marker->Compare(Bytes("abc"), 3), S_OK);
    EXPECT_EQ(marker->Compare(Bytes("abd"), 3), E_FAIL);
    EXPECT_EQ(marker->Compare(Bytes("ab"), 2), E_INVALIDARG);
    EXPECT_EQ(marker->Compare(nullptr, 3), E_INVALIDARG);
    const BYTE* data = nullptr;
    EXPECT_EQ(marker->GetData(&data, nullptr), E_POINTER);
    EXPECT_EQ(reports.Get(), (std::vector<std::string>{
                                 "[KivHttp(Kiv::CKivDataMarker::SetData)] Invalid Parameter.",
                                 "[KivHttp(Kiv::CKivDataMarker::SetData)] Invalid Parameter.",
                                 "[KivHttp(Kiv::CKivDataMarker::Compare)] invalid size.",
                                 "[KivHttp(Kiv::CKivDataMarker::Compare)] Invalid Parameter.",
                                 "[KivHttp(Kiv::CKivDataMarker::GetData)] psize is null.",
                             }));
}

TEST(HttpStatusLineTest, ThreeParametersOrAReport)
{
    struct Case {
        const char* line;
        HRESULT status;
        std::vector<std::string> params;
        const char* report;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\n", S_OK, {"HTTP/1.1", "200", "OK"}, nullptr},
        {"HTTP/1.1 404 Not Found\r\n", S_OK, {"HTTP/1.1", "404", "Not Found"}, nullptr},
        {"HTTP/1.1   500    Server  Error \r\nrest", S_OK, {"HTTP/1.1", "500", "Server  Error "}, nullptr},
        {"HTTP/1.1 200\r\n", E_FAIL, {}, "KivFindCharacter() failed."},
        {"HTTP/1.1 200 \r\n", E_FAIL, {}, "KivSkipChars() failed."},
        {"HTTP/1.1 200 OK", E_FAIL, {}, "KivFindKeyword() failed."},
        {"HTTP/1.1 200 OK\n", E_FAIL, {}, "KivFindKeyword() failed."},
        {"\r\n", E_FAIL, {}, "KivFindCharacter() failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const CComPtr<IKivHttpResData> response = NewResponse();
        CComPtr<IKivStatusLine> line;
        // A response's status line is reached through a parsed response; select it directly.
        ASSERT_EQ(response->SelectBuffer(Bytes("A B C\r\n\r\n"), 9), S_OK);
        ASSERT_EQ(response->GetStatusLine(&line), S_OK);
        const CExactBytes bytes(c.line);
        const CNewReports reports;
        EXPECT_EQ(line->SelectBuffer(bytes.Data(), bytes.Size()), c.status);
        if (c.report == nullptr) {
            EXPECT_EQ(reports.Get(), std::vector<std::string>{});
            for (ULONG i = 0; i < 3; ++i) {
                EXPECT_EQ(ParamText(line, i), c.params[i]);
            }
            LONG size = 0;
            EXPECT_EQ(line->GetSize(&size), S_OK);
            EXPECT_EQ(size, static_cast<LONG>(std::string(c.line).find("\r\n")));
        } else {
            EXPECT_EQ(reports.Get(), std::vector<std::string>{
                                         std::string("[KivHttp(Kiv::CKivStatusLine::SelectBuffer)] ") + c.report});
            CComPtr<IKivDataMarker> marker;
            EXPECT_EQ(line->GetParam(0, &marker), E_FAIL);
        }
    }
}

TEST(HttpStatusLineTest, BuiltLineAndItsParameters)
{
    const CComPtr<IKivStatusLineEx> line(GetHttpUtil()->CreateStatusLineEx());
    const BYTE* data = nullptr;
    LONG size = -1;
    EXPECT_EQ(line->GetStatusLine(&data, &size), S_OK);
    EXPECT_EQ(size, 0);
    ASSERT_EQ(line->CreateStatusLine(Bstr("GET"), Bstr("/index.html"), Bstr("HTTP/1.1")), S_OK);
    EXPECT_EQ(line->GetStatusLine(&data, &size), S_OK);
    EXPECT_EQ(Text(data, size), "GET /index.html HTTP/1.1\r\n");

    const CNewReports reports;
    CComPtr<IKivDataMarker> marker;
    EXPECT_EQ(line->GetParam(2, &marker), S_OK);
    EXPECT_EQ(Text(marker), "HTTP/1.1");
    CComPtr<IKivDataMarker> none;
    EXPECT_EQ(line->GetParam(3, &none), E_INVALIDARG);
    EXPECT_EQ(line->GetParam(0xFFFFFFFFu, &none), E_INVALIDARG);
    EXPECT_EQ(line->GetParam(0, nullptr), E_POINTER);
    EXPECT_EQ(line->CreateStatusLine(Bstr("GET"), nullptr, Bstr("HTTP/1.1")), E_POINTER);
    EXPECT_EQ(line->GetStatusLine(nullptr, &size), E_POINTER);
    EXPECT_EQ(reports.Get(), (std::vector<std::string>{
                                 "[KivHttp(Kiv::CKivStatusLine::GetParam)] invalid index.",
                                 "[KivHttp(Kiv::CKivStatusLineEx::GetParam)] m_pStatusLine->GetParam() failed.[0x80070057]",
                                 "[KivHttp(Kiv::CKivStatusLine::GetParam)] invalid index.",
                                 "[KivHttp(Kiv::CKivStatusLineEx::GetParam)] m_pStatusLine->GetParam() failed.[0x80070057]",
                                 "[KivHttp(Kiv::CKivStatusLine::GetParam)] ppMarker is null.",
                                 "[KivHttp(Kiv::CKivStatusLineEx::GetParam)] m_pStatusLine->GetParam() failed.[0x80004003]",
                                 "[KivHttp(Kiv::CKivStatusLineEx::CreateStatusLine)] bstrParam2 is null.",
                                 "[KivHttp(Kiv::CKivStatusLineEx::GetStatusLine)] ppData is null.",
                             }));
}

TEST(HttpHeaderLineTest, NameValueAndPiecesOrAReport)
{
    struct Case {
        const char* text;
        HRESULT status;
        const char* name;
        std::vector<std::string> pieces;
        std::vector<std::string> reports;
    };
    const std::string select = "[KivHttp(Kiv::CKivHeaderLine::SelectBuffer)] ";
    const std::string create = "[KivHttp(Kiv::CKivHeaderLineEx::CreateHeaderLine)] m_pHeaderLine->SelectBuffer() failed.";
    const Case cases[] = {
        {"Content-Length: 12\r\n", S_OK, "Content-Length", {"12"}, {}},
        {"Name : x\r\n", S_OK, "Name", {"x"}, {}},
        {"Accept-Encoding: gzip, deflate\r\n", S_OK, "Accept-Encoding", {"gzip", "deflate"}, {}},
        {"T:a,\r\n", S_OK, "T", {"a", ""}, {}},
        {"T:a, \r\n", S_OK, "T", {"a", " "}, {}},
        {"T:\ta ,  b\r\n", S_OK, "T", {"\ta ", "b"}, {}},
        {"\r\nName: x\r\n", S_FALSE, nullptr, {}, {}},
        {"Name: x", E_FAIL, nullptr, {}, {select + "isize < 0."}},
        {"Name: x\n", E_FAIL, nullptr, {}, {select + "isize < 0."}},
        {"NoColonAtAll\r\n", E_FAIL, nullptr, {}, {select + "iedPos < 0."}},
        {"No colon\r\n", E_FAIL, nullptr, {}, {select + "istPos < 0."}},
        {"NoColon\r\nLater: x\r\n",
         E_INVALIDARG,
         nullptr,
         {},
         {"[KivHttp(Kiv::CKivDataMarker::SetData)] Invalid Parameter.", select + "pValue->SetData() failed.[0x80070057]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const CComPtr<IKivHttpResData> response = NewResponse();
        ASSERT_EQ(response->SelectBuffer(Bytes("A B C\r\nH: v\r\n\r\n"), 15), S_OK);
        CComPtr<IKivHeaderLine> line;
        ASSERT_EQ(response->FindHeaderLine(Bstr("H"), &line), S_OK);
        const CExactBytes bytes(c.text);
        const CNewReports reports;
        EXPECT_EQ(line->SelectBuffer(bytes.Data(), bytes.Size()), c.status);
        EXPECT_EQ(reports.Get(), c.reports);
        if (c.name != nullptr) {
            CComBSTR name;
            ASSERT_EQ(line->GetName(&name), S_OK);
            EXPECT_EQ(Utf8(name), c.name);
            EXPECT_EQ(Pieces(line), c.pieces);
            LONG size = 0;
            EXPECT_EQ(line->GetSize(&size), S_OK);
            EXPECT_EQ(size, static_cast<LONG>(std::string(c.text).find("\r\n")));
        } else if (c.status == S_FALSE) {
            LONG size = -1;
            EXPECT_EQ(line->GetSize(&size), S_FALSE);
            EXPECT_EQ(size, 0);
        }
    }
}

// "X:" with nothing after the colon, as received and as built ("X: "): an empty value, whose
// split fails inside the marker.
TEST(HttpHeaderLineTest, EmptyValueHasNoPieces)
{
    const std::string dataIsNull = "[KivHttp(Kiv::CKivDataMarker::GetData)] data is null.";
    const std::string valueFailed = "[KivHttp(Kiv::CKivHeaderLine::GetParam)] m_pValue->GetData() failed.[0x80004005]";

    const CExactBytes bytes("HTTP/1.1 200 OK\r\nX:\r\n\r\n");
    const auto response = NewResponse();
    ASSERT_EQ(response->SelectBuffer(bytes.Data(), bytes.Size()), S_OK);
    CComPtr<IKivHeaderLine> received;
    ASSERT_EQ(response->FindHeaderLine(Bstr("X"), &received), S_OK);
    IKivDataMarker** values = nullptr;
    LONG count = 0;
    {
        const CNewReports reports;
        EXPECT_EQ(received->GetParam(&values, &count), E_FAIL);
        EXPECT_EQ(reports.Get(), (std::vector<std::string>{dataIsNull, valueFailed}));
    }

    const auto built = NewHeader("X", "");
    const BYTE* data = nullptr;
    LONG size = 0;
    ASSERT_EQ(built->GetHeaderLine(&data, &size), S_OK);
    EXPECT_EQ(Text(data, size), "X: \r\n");
    const CNewReports reports;
    EXPECT_EQ(built->GetParam(&values, &count), E_FAIL);
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(reports.Get(), (std::vector<std::string>{
                                 dataIsNull,
                                 valueFailed,
                                 "[KivHttp(Kiv::CKivHeaderLineEx::GetParam)] m_pHeaderLine->GetParam() failed.[0x80004005]",
                             }));
}

TEST(HttpResponseTest, ThirtyFourBytes)
{
    const CExactBytes bytes("HTTP/1.1 200 OK\r\nA: 1\r\nB: 2\r\n\r\nxyz");
    ASSERT_EQ(bytes.Size(), 34);
    const auto response = NewResponse();
    const CNewReports reports;
    ASSERT_EQ(response->SelectBuffer(bytes.Data(), bytes.Size()), S_OK);
    LONG status = 0, headers = 0, body = 0;
    EXPECT_EQ(response->GetStatusAreaSize(&status), S_OK);
    EXPECT_EQ(response->GetHeaderAreaSize(&headers), S_OK);
    EXPECT_EQ(response->GetBodyAreaSize(&body), S_OK);
    EXPECT_EQ(status, 17);
    EXPECT_EQ(headers, 14);
    EXPECT_EQ(body, 3);
    const BYTE* data = nullptr;
    LONG size = 0;
    ASSERT_EQ(response->GetBodyPtr(&data, &size), S_OK);
    EXPECT_EQ(data, bytes.Data() + 31);
    EXPECT_EQ(Text(data, size), "xyz");

    CComPtr<IKivHeaderLine> a;
    ASSERT_EQ(response->FindHeaderLine(Bstr("A"), &a), S_OK);
    EXPECT_EQ(Pieces(a), std::vector<std::string>{"1"});
    CComPtr<IKivHeaderLine> lower;
    EXPECT_EQ(response->FindHeaderLine(Bstr("a"), &lower), E_FAIL);
    EXPECT_FALSE(lower);
    CComPtr<IKivStatusLine> line;
    ASSERT_EQ(response->GetStatusLine(&line), S_OK);
    EXPECT_EQ(ParamText(line, 1), "200");
    EXPECT_EQ(reports.Get(), std::vector<std::string>{});
}

TEST(HttpResponseTest, EndingAtTheBlankLineHasAnEmptyBody)
{
    const CExactBytes bytes("HTTP/1.1 204 No Content\r\nA: 1\r\n\r\n");
    const auto response = NewResponse();
    ASSERT_EQ(response->SelectBuffer(bytes.Data(), bytes.Size()), S_OK);
    const BYTE* data = nullptr;
    LONG size = -1;
    ASSERT_EQ(response->GetBodyPtr(&data, &size), S_OK);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(data, bytes.Data() + bytes.Size());
}

TEST(HttpResponseTest, FirstOfEqualNamesIsFound)
{
    const CExactBytes bytes("HTTP/1.1 200 OK\r\nSet: first\r\nOther: x\r\nSet: second\r\n\r\n");
    const auto response = NewResponse();
    ASSERT_EQ(response->SelectBuffer(bytes.Data(), bytes.Size()), S_OK);
    CComPtr<IKivHeaderLine> line;
    ASSERT_EQ(response->FindHeaderLine(Bstr("Set"), &line), S_OK);
    EXPECT_EQ(Pieces(line), std::vector<std::string>{"first"});
}

TEST(HttpResponseTest, ParsingAgainForgetsTheEarlierResponse)
{
    const auto response = NewResponse();
    const CExactBytes first("HTTP/1.1 200 OK\r\nOld: 1\r\n\r\nbody");
    ASSERT_EQ(response->SelectBuffer(first.Data(), first.Size()), S_OK);
    const CExactBytes second("HTTP/1.1 200 OK\r\nNew: 2\r\n\r\n");
    ASSERT_EQ(response->SelectBuffer(second.Data(), second.Size()), S_OK);
    CComPtr<IKivHeaderLine> line;
    EXPECT_EQ(response->FindHeaderLine(Bstr("Old"), &line), E_FAIL);
    LONG body = -1;
    EXPECT_EQ(response->GetBodyAreaSize(&body), S_OK);
    EXPECT_EQ(body, 0);
}

// Hostile responses: each is held in a buffer of exactly its size; parsing must end with the
// status and the report given, never reading past the bytes.
TEST(HttpResponseTest, BadResponsesGiveAStatusAndAReport)
{
    const std::string statusReport = "[KivHttp(Kiv::CKivHttpResData::SelectBuffer)] m_pStatusLine->SelectBuffer() failed.[0x80004005]";
    const std::string headerReport = "[KivHttp(Kiv::CKivHttpResData::SelectBuffer)] pHeader->SelectBuffer() failed.";
    const std::string longName(1 << 20, 'N');
    struct Case {
        const char* name;
        std::string text;
        HRESULT status;
        std::string lastReport;
    };
    const Case cases[] = {
        {"no CR LF at all", "HTTP/1.1 200 OK", E_FAIL, statusReport},
        {"bare LF", "HTTP/1.1 200 OK\nA: 1\n\nbody", E_FAIL, statusReport},
        {"bare LF in the headers", "HTTP/1.1 200 OK\r\nA: 1\n\nbody", E_FAIL, headerReport + "[0x80004005]"},
        {"no blank line", "HTTP/1.1 200 OK\r\nA: 1\r\n", E_FAIL, headerReport + "[0x80004005]"},
        {"status line only", "HTTP/1.1 200 OK\r\n", E_FAIL, headerReport + "[0x80004005]"},
        {"header line without a colon", "HTTP/1.1 200 OK\r\nNoColon\r\n\r\n", E_FAIL, headerReport + "[0x80004005]"},
        {"colon only on a later line", "HTTP/1.1 200 OK\r\nNoColon\r\nB: 2\r\n\r\n", E_INVALIDARG,
         headerReport + "[0x80070057]"},
        {"empty name", "HTTP/1.1 200 OK\r\n: 1\r\n\r\n", E_FAIL,
         "[KivHttp(Kiv::CKivHttpResData::SelectBuffer)] pHeader->GetName() failed.[0x80004005]"},
        {"a megabyte header line without a colon", "HTTP/1.1 200 OK\r\n" + longName + "\r\n\r\n", E_FAIL,
         headerReport + "[0x80004005]"},
        {"a megabyte status line without an end", "HTTP/1.1 200 " + longName, E_FAIL, statusReport},
        {"nothing", "", E_FAIL, statusReport},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CExactBytes bytes(c.text);
        const auto response = NewResponse();
        const CNewReports reports;
        EXPECT_EQ(response->SelectBuffer(bytes.Data(), bytes.Size()), c.status);
        const std::vector<std::string> written = reports.Get();
        ASSERT_FALSE(written.empty());
        EXPECT_EQ(written.back(), c.lastReport);
        const BYTE* data = nullptr;
        LONG size = 0;
        EXPECT_EQ(response->GetBodyPtr(&data, &size), E_FAIL);
    }
}

TEST(HttpResponseTest, OddButWellFormedResponsesParse)
{
    const std::string longValue(1 << 20, 'v');
    struct Case {
        const char* name;
        std::string text;
        const char* header;
        std::string value;
        std::string body;
    };
    const Case cases[] = {
        {"NUL bytes in a value and the body", std::string("HTTP/1.1 200 OK\r\nA: 1\0002\r\n\r\nb\0dy", 31), "A",
         std::string("1\0002", 3), std::string("b\0dy", 4)},
        {"a megabyte header value", "HTTP/1.1 200 OK\r\nLong: " + longValue + "\r\n\r\nend", "Long", longValue, "end"},
        {"a body shorter than its stated length", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc", "Content-Length",
         "100", "abc"},
        {"bare LF in the body", "HTTP/1.1 200 OK\r\nA: 1\r\n\r\nline\nline\n", "A", "1", "line\nline\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CExactBytes bytes(c.text);
        const auto response = NewResponse();
        ASSERT_EQ(response->SelectBuffer(bytes.Data(), bytes.Size()), S_OK);
        CComPtr<IKivHeaderLine> line;
        ASSERT_EQ(response->FindHeaderLine(Bstr(c.header), &line), S_OK);
        EXPECT_EQ(Pieces(line), std::vector<std::string>{c.value});
        const BYTE* data = nullptr;
        LONG size = 0;
        ASSERT_EQ(response->GetBodyPtr(&data, &size), S_OK);
        EXPECT_EQ(Text(data, size), c.body);
        EXPECT_EQ(data + size, bytes.Data() + bytes.Size());
    }
}

TEST(HttpResponseTest, NegativeAndNullArgumentsAreRefused)
{
    const auto response = NewResponse();
    const CExactBytes bytes("HTTP/1.1 200 OK\r\n\r\n");
    const CNewReports reports;
    EXPECT_EQ(response->SelectBuffer(bytes.Data(), -1), E_FAIL);
    EXPECT_EQ(response->SelectBuffer(bytes.Data(), INT_MIN), E_FAIL);
    EXPECT_EQ(response->SelectBuffer(nullptr, 100), E_FAIL);
    LONG size = 0;
    EXPECT_EQ(response->GetStatusAreaSize(nullptr), E_POINTER);
    EXPECT_EQ(response->FindHeaderLine(nullptr, nullptr), E_POINTER);
    CComPtr<IKivStatusLine> line;
    EXPECT_EQ(response->GetStatusLine(&line), E_FAIL);
    EXPECT_EQ(response->GetBodyAreaSize(&size), S_OK);
    EXPECT_EQ(size, 0);
    const std::string select = "[KivHttp(Kiv::CKivHttpResData::SelectBuffer)] m_pStatusLine->SelectBuffer() failed.[0x80004005]";
    const std::string status = "[KivHttp(Kiv::CKivStatusLine::SelectBuffer)] KivFindKeyword() failed.";
    EXPECT_EQ(reports.Get(), (std::vector<std::string>{
                                 status,
                                 select,
                                 status,
                                 select,
                                 "[KivHttp(Kiv::KivFindKeyword)] pBuf is null.",
                                 status,
                                 select,
                                 "[KivHttp(Kiv::CKivHttpResData::GetStatusAreaSize)] pSize is null.",
                                 "[KivHttp(Kiv::CKivHttpResData::FindHeaderLine)] bstrName is null.",
                                 "[KivHttp(Kiv::CKivHttpResData::GetStatusLine)] m_pStatusLine is null.",
                             }));
}

std::string Build(IKivHttpReqData* request)
{
    const CComPtr<IKivMemory> memory(GetMemoryUtil()->CreateMemory_CRT());
    EXPECT_EQ(request->BuildRequestBuffer(memory), S_OK);
    return std::string(reinterpret_cast<const char*>(memory->GetPtr()), memory->GetSize());
}

CComPtr<IKivHttpReqData> RequestWithStatusLine()
{
    const auto request = NewRequest();
    const CComPtr<IKivStatusLineEx> line(GetHttpUtil()->CreateStatusLineEx());
    EXPECT_EQ(line->CreateStatusLine(Bstr("GET"), Bstr("/"), Bstr("HTTP/1.1")), S_OK);
    EXPECT_EQ(request->SetStatusLine(line), S_OK);
    return request;
}

TEST(HttpRequestTest, HeaderLinesInByteOrderOfTheirNames)
{
    const auto request = RequestWithStatusLine();
    ASSERT_EQ(request->InsertHeaderLine(NewHeader("Host", "example")), S_OK);
    ASSERT_EQ(request->InsertHeaderLine(NewHeader("Accept", "*/*")), S_OK);
    EXPECT_EQ(Build(request), "GET / HTTP/1.1\r\nAccept: */*\r\nHost: example\r\n\r\n");
}

TEST(HttpRequestTest, InsertingANameAgainReplacesItsLine)
{
    const auto request = RequestWithStatusLine();
    const auto first = NewHeader("Host", "one");
    ASSERT_EQ(request->InsertHeaderLine(first), S_OK);
    ASSERT_EQ(request->InsertHeaderLine(NewHeader("Host", "two")), S_OK);
    EXPECT_EQ(Build(request), "GET / HTTP/1.1\r\nHost: two\r\n\r\n");
    EXPECT_EQ(request->RemoveHeaderLine(first), S_FALSE);
    CComPtr<IKivHeaderLineEx> found;
    ASSERT_EQ(request->FindHeaderLine(Bstr("Host"), &found), S_OK);
    ASSERT_EQ(request->InsertHeaderLine(found), S_OK);
    EXPECT_EQ(Build(request), "GET / HTTP/1.1\r\nHost: two\r\n\r\n");
    EXPECT_EQ(request->RemoveHeaderLine(found), S_OK);
    EXPECT_EQ(Build(request), "GET / HTTP/1.1\r\n\r\n");
}

TEST(HttpRequestTest, BodyIsCopiedAfterTheBlankLineAndAppendedToTheBuffer)
{
    const auto request = RequestWithStatusLine();
    const CExactBytes body("a=1&b=2");
    ASSERT_EQ(request->SetBodyArea(body.Data(), body.Size()), S_OK);
    const BYTE* data = nullptr;
    LONG size = 0;
    ASSERT_EQ(request->GetBodyPtr(&data, &size), S_OK);
    EXPECT_EQ(data, body.Data());
    const CComPtr<IKivMemory> memory(GetMemoryUtil()->CreateMemory_COM());
    std::memcpy(memory->SetSize(3), "pre", 3);
    ASSERT_EQ(request->BuildRequestBuffer(memory), S_OK);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(memory->GetPtr()), memory->GetSize()),
              "preGET / HTTP/1.1\r\n\r\na=1&b=2");
}

TEST(HttpRequestTest, MissingPartsAndBadArgumentsAreReported)
{
    const auto request = NewRequest();
    const CComPtr<IKivMemory> memory(GetMemoryUtil()->CreateMemory_CRT());
    const CNewReports reports;
    EXPECT_EQ(request->BuildRequestBuffer(nullptr), E_FAIL);
    EXPECT_EQ(request->BuildRequestBuffer(memory), E_FAIL);
    EXPECT_EQ(memory->GetSize(), 0u);
    CComPtr<IKivStatusLineEx> line;
    EXPECT_EQ(request->GetStatusLine(&line), E_POINTER);
    EXPECT_EQ(request->SetStatusLine(memory), E_NOINTERFACE);
    EXPECT_EQ(request->SetBodyArea(Bytes("x"), -7), E_INVALIDARG);
    const BYTE* data = nullptr;
    LONG size = 0;
    EXPECT_EQ(request->GetBodyPtr(&data, &size), E_FAIL);
    EXPECT_EQ(request->InsertHeaderLine(nullptr), E_POINTER);
    EXPECT_EQ(reports.Get(), (std::vector<std::string>{
                                 "[KivHttp(Kiv::CKivHttpReqData::BuildRequestBuffer)] pMemory is null.",
                                 "[KivHttp(Kiv::CKivHttpReqData::BuildRequestBuffer)] m_pStatusLine is null.",
                                 "[KivHttp(Kiv::CKivHttpReqData::GetStatusLine)] m_pStatusLine is null.",
                                 "[KivHttp(Kiv::CKivHttpReqData::SetStatusLine)] pStatusLine->QueryInterface() failed.[0x80004002]",
                                 "[KivHttp(Kiv::CKivDataMarker::SetData)] Invalid Parameter.",
                                 "[KivHttp(Kiv::CKivDataMarker::GetData)] data is null.",
                                 "[KivHttp(Kiv::CKivHttpReqData::GetBodyPtr)] m_pBodyData->GetData() failed.[0x80004005]",
                                 "[KivHttp(Kiv::CKivHttpReqData::InsertHeaderLine)] pHeaderLine is null.",
                             }));
}

// A header line from elsewhere that claims a negative length for its text.
class CLyingHeaderLine : public IKivHeaderLineEx {
public:
    HRESULT CreateHeaderLine(BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT GetName(BSTR* name) override
    {
        *name = Bstr("Lying").Detach();
        return S_OK;
    }
    HRESULT GetParam(IKivDataMarker***, LONG*) override { return E_NOTIMPL; }
    HRESULT GetHeaderLine(const BYTE** data, LONG* size) override
    {
        *data = Bytes("Lying: x\r\n");
        *size = -5;
        return S_OK;
    }
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivHeaderLineEx::Iid, this}}, riid, ppv);
    }
};

TEST(HttpRequestTest, AFailedBuildLeavesTheBufferAsItWas)
{
    const auto request = RequestWithStatusLine();
    const CComPtr<IKivHeaderLineEx> lying(CKivObject<CLyingHeaderLine>::CreateObject());
    ASSERT_EQ(request->InsertHeaderLine(lying), S_OK);
    const CComPtr<IKivMemory> memory(GetMemoryUtil()->CreateMemory_CRT());
    std::memcpy(memory->SetSize(5), "kept.", 5);
    const CNewReports reports;
    EXPECT_EQ(request->BuildRequestBuffer(memory), E_INVALIDARG);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(memory->GetPtr()), memory->GetSize()), "kept.");
    EXPECT_EQ(reports.Get(), std::vector<std::string>{
                                 "[KivHttp(Kiv::CKivHttpReqData::BuildRequestBuffer)] Invalid Parameter."});
}

// Every traced operation writes its entry and exit lines through KivCommon's log, with its class
// as the subject: the settings beside this program let level 10 through for every HTTP class
// but CKivHttpReqData, whose band ends at 9.
TEST(HttpTraceTest, OperationsTraceEntryAndExitAtLevelTen)
{
    const auto header = NewHeader("Host", "x");
    const CExactBytes blank("\r\n");
    const auto response = NewResponse();
    ASSERT_EQ(response->SelectBuffer(Bytes("A B C\r\nH: v\r\n\r\n"), 15), S_OK);
    CComPtr<IKivHeaderLine> line;
    ASSERT_EQ(response->FindHeaderLine(Bstr("H"), &line), S_OK);
    ASSERT_EQ(line->SelectBuffer(blank.Data(), blank.Size()), S_FALSE);
    const auto request = NewRequest();
    ASSERT_EQ(request->InsertHeaderLine(header), S_OK);

    const std::vector<std::string> lines = TraceLinesOfThisThread();
    const auto has = [&](const std::string& text) { return std::find(lines.begin(), lines.end(), text) != lines.end(); };
    for (const char* expected : {
             "┌ Kiv::CKivHeaderLineEx::CreateHeaderLine()",
             "┌ Kiv::CKivHeaderLine::SelectBuffer()",
             "┌ Kiv::CKivDataMarker::SetData()",
             "└ Kiv::CKivDataMarker::SetData() : return 0 [0x00000000]",
             "└ Kiv::CKivHeaderLineEx::CreateHeaderLine() : return 0 [0x00000000]",
             "┌ Kiv::CKivHttpResData::Clear()",
             "└ Kiv::CKivHttpResData::SelectBuffer() : return 0 [0x00000000]",
             "┌ Kiv::CKivStatusLine::SelectBuffer()",
             "└ Kiv::CKivHeaderLine::SelectBuffer() : return 1 [0x00000001]",
             "└ Kiv::CKivHeaderLine::GetName() : return 0 [0x00000000]",
         }) {
        EXPECT_TRUE(has(expected)) << expected;
    }
    EXPECT_FALSE(has("┌ Kiv::CKivHttpReqData::InsertHeaderLine()"));
}

} // namespace

