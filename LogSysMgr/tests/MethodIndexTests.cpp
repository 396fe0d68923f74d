// The method index: the calls of each method in line order with their threads, the set's
// byte-ordered names, and the namespace tree cut at "::".
#include "CKivLogSysFactory.h"
#include "CKivLogSysMethodInfo.h"
#include "CKivLogSysMethodSet.h"
#include "CKivLogSysNameSpace.h"

#include "LoadDoubles.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include "KivPlatform/TaskMem.h"
#include "KivPlatform/Text.h"

#include "KivTestSupport/FailingAllocations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using namespace std::string_literals;
using namespace std::string_view_literals;
using Kiv::CComBSTR;
using Kiv::CComPtr;
using Kiv::CKivObject;
using KivTest::MakeDouble;

namespace {

// A thread object as the index sees one: an identifier and a list item.
class CCallingThread : public IKivLogSysThread, public Kiv::IKivListItem {
public:
    virtual ~CCallingThread() = default;

    HRESULT GetThreadId(DWORD* threadId) override
    {
        *threadId = m_threadId;
        return S_OK;
    }
    HRESULT GetChildCount(LONG*) override { return E_NOTIMPL; }
    HRESULT GetChildItem(LONG, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT GetParent(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT IsEqual(IUnknown*, BOOL*) override { return E_NOTIMPL; }

    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysThread*>(this)},
                                        {IKivLogSysThread::Iid, static_cast<IKivLogSysThread*>(this)},
                                        {Kiv::IKivListItem::Iid, static_cast<Kiv::IKivListItem*>(this)}},
                                       riid, ppv);
    }

    DWORD m_threadId = 0;
};

// A call as the index sees one: its entry record and the thread that made it (none: GetThread
// fails).
class CCall : public IKivLogSysBlock {
public:
    virtual ~CCall() = default;

    HRESULT GetChildCount(LONG*) override { return E_NOTIMPL; }
    HRESULT GetChildItem(LONG, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT GetParent(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT IsEqual(IUnknown*, BOOL*) override { return E_NOTIMPL; }
    HRESULT GetLineInfo(const KivLogSysLineInfo** info) override
    {
        *info = &m_record;
        return S_OK;
    }
    HRESULT GetEndLineInfo(const KivLogSysLineInfo**) override { return E_NOTIMPL; }
    HRESULT GetEndLogSysLine(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT GetThread(REFIID riid, void** ppv) override
    {
        if (!m_thread) {
            *ppv = nullptr;
            return E_FAIL;
        }
        return m_thread->QueryInterface(riid, ppv);
    }

    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this},
                                        {Kiv::IKivListItem::Iid, this},
                                        {IKivLogSysLine::Iid, this},
                                        {IKivLogSysBlock::Iid, this}},
                                       riid, ppv);
    }

    KivLogSysLineInfo m_record{};
    CComPtr<CKivObject<CCallingThread>> m_thread;
};

using ThreadPtr = CComPtr<CKivObject<CCallingThread>>;
using CallPtr = CComPtr<CKivObject<CCall>>;

ThreadPtr MakeThread(DWORD threadId)
{
    ThreadPtr thread = MakeDouble<CCallingThread>();
    thread->m_threadId = threadId;
    return thread;
}

CallPtr MakeCall(LONG lineNumber, const ThreadPtr& thread)
{
    CallPtr call = MakeDouble<CCall>();
    call->m_record.cbSize = sizeof(KivLogSysLineInfo);
    call->m_record.lineNumber = lineNumber;
    call->m_thread = thread;
    return call;
}

CComPtr<IKivLogSysMethodInfo> MakeMethodInfo(std::u16string_view name)
{
    CComPtr<IKivLogSysMethodInfo> info;
    EXPECT_EQ(CKivLogSysFactory::CreateLogSysMethodInfo(&info, CComBSTR(name)), S_OK);
    return info;
}

HRESULT AddCall(IKivLogSysMethodInfo* info, IKivLogSysBlock* call)
{
    CComPtr<IKivLogSysMethodInfoEdit> edit;
    EXPECT_EQ(info->QueryInterface(IID_PPV_ARGS(&edit)), S_OK);
    return edit->AddBlock(call);
}

// The calls of a method as the index hands them out, in its order.
std::vector<IKivLogSysBlock*> CallsOf(IKivLogSysMethodInfo* info)
{
    LONG count = -1;
    EXPECT_EQ(info->GetLineCount(&count), S_OK);
    std::vector<IKivLogSysBlock*> calls;
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysBlock> call;
        EXPECT_EQ(info->GetLineInfo(i, IID_PPV_ARGS(&call)), S_OK);
        calls.push_back(call.Get());
    }
    return calls;
}

std::string Utf8(std::u16string_view text)
{
    return Kiv::Platform::Utf16ToUtf8(text);
}

std::string NameOf(IKivLogSysMethodInfo* info)
{
    CComBSTR name;
    EXPECT_EQ(info->GetName(&name), S_OK);
    return Utf8(name.View());
}

CComPtr<IKivLogSysMethodSet> MakeMethodSet()
{
    CComPtr<IKivLogSysMethodSet> set;
    EXPECT_EQ(CKivLogSysFactory::CreateLogSysMethodSet(&set), S_OK);
    return set;
}

CComPtr<IKivLogSysMethodInfo> MethodOf(IKivLogSysMethodSet* set, std::u16string_view name)
{
    CComPtr<IKivLogSysMethodInfo> info;
    EXPECT_EQ(set->GetMethodInfo(CComBSTR(name), IID_PPV_ARGS(&info)), S_OK);
    return info;
}

// The set's names, each string and the array freed as the caller must.
std::vector<std::string> NamesOf(IKivLogSysMethodSet* set)
{
    LONG count = -1;
    BSTR* names = nullptr;
    EXPECT_EQ(set->GetMethodNames(&count, &names), S_OK);
    std::vector<std::string> result;
    for (LONG i = 0; i < count; ++i) {
        result.push_back(Utf8({names[i], SysStringLen(names[i])}));
        SysFreeString(names[i]);
    }
    CoTaskMemFree(names);
    return result;
}

CComPtr<IKivLogSysNameSpace> RootOf(IKivLogSysMethodSet* set)
{
    CComPtr<IKivLogSysNameSpace> root;
    EXPECT_EQ(set->GetNameSpaceRoot(&root), S_OK);
    return root;
}

CComPtr<IKivLogSysNameSpace> ChildOf(IKivLogSysNameSpace* node, LONG index)
{
    CComPtr<IKivLogSysNameSpace> child;
    EXPECT_EQ(node->GetChildItem(index, IID_PPV_ARGS(&child)), S_OK);
    return child;
}

// A node as text: 'name', then =[method name] when it holds a method, then {children}. The
// root (null name) shows only its children.
std::string Dump(IKivLogSysNameSpace* node)
{
    std::string text;
    CComBSTR name;
    EXPECT_EQ(node->GetName(&name), S_OK);
    if (name != nullptr) {
        text = "'" + Utf8(name.View()) + "'";
    }
    CComPtr<IKivLogSysMethodInfo> method;
    if (SUCCEEDED(node->GetMethodInfo(&method))) {
        text += "=[" + NameOf(method) + "]";
    }
    LONG count = 0;
    EXPECT_EQ(node->GetChildCount(&count), S_OK);
    if (count > 0) {
        text += "{";
        for (LONG i = 0; i < count; ++i) {
            text += (i > 0 ? "," : "") + Dump(ChildOf(node, i));
        }
        text += "}";
    }
    return text;
}

TEST(MethodInfoTest, CallsAreOrderedByEntryLineAndLaterAddedAmongEqualLines)
{
    struct Case {
        const char* what;
        std::vector<LONG> arrivalLines;
    };
    const Case cases[] = {
        {"increasing", {1, 2, 5, 9, 12}},
        {"decreasing", {12, 9, 5, 2, 1}},
        {"mixed with repeats", {5, 3, 9, 3, 1, 9, 12, 5, 0}},
        {"all equal", {7, 7, 7, 7}},
        {"none", {}},
        {"one", {4}},
        {"two, the second before the first", {8, 3}},
        {"three, the third first", {5, 6, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ThreadPtr thread = MakeThread(1);
        const CComPtr<IKivLogSysMethodInfo> info = MakeMethodInfo(u" CFoo::Bar()");
        std::vector<CallPtr> calls;
        for (LONG line : c.arrivalLines) {
            calls.push_back(MakeCall(line, thread));
            ASSERT_EQ(AddCall(info, calls.back()), S_OK);
        }
        // A stable sort of the arrival order by line is the expected order.
        std::vector<std::size_t> order(calls.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return c.arrivalLines[a] < c.arrivalLines[b];
        });
        std::vector<IKivLogSysBlock*> expected;
        for (std::size_t i : order) {
            expected.push_back(calls[i].Get());
        }
        EXPECT_EQ(CallsOf(info), expected);
    }
}

TEST(MethodInfoTest, TwoThreadsCallingOneMethod)
{
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    const ThreadPtr first = MakeThread(0x1A2C);
    const ThreadPtr second = MakeThread(0x0B00);
    const CallPtr early = MakeCall(10, first);
    const CallPtr late = MakeCall(20, second);

    // The later call arrives first; both go to the one method of the entry text.
    for (IKivLogSysBlock* call : {static_cast<IKivLogSysBlock*>(late), static_cast<IKivLogSysBlock*>(early)}) {
        CComPtr<IKivLogSysMethodInfoEdit> edit;
        ASSERT_EQ(set->GetMethodInfo(CComBSTR(u" CFoo::Bar()"), IID_PPV_ARGS(&edit)), S_OK);
        ASSERT_EQ(edit->AddBlock(call), S_OK);
    }
    EXPECT_EQ(NamesOf(set), std::vector<std::string>{" CFoo::Bar()"});
    const CComPtr<IKivLogSysMethodInfo> info = MethodOf(set, u" CFoo::Bar()");
    EXPECT_EQ(CallsOf(info), (std::vector<IKivLogSysBlock*>{early, late}));

    LONG threadCount = 0;
    ASSERT_EQ(info->GetRefThreadCount(&threadCount), S_OK);
    ASSERT_EQ(threadCount, 2);
    for (LONG i = 0; i < 2; ++i) {
        CComPtr<IKivLogSysThread> thread;
        ASSERT_EQ(info->GetRefThread(i, IID_PPV_ARGS(&thread)), S_OK);
        EXPECT_EQ(thread.Get(), (i == 0 ? first : second).Get()) << i;
    }

    for (const auto& [thread, call] : {std::pair{first, early}, std::pair{second, late}}) {
        LONG count = 0;
        ASSERT_EQ(info->GetThreadLineCount(thread->m_threadId, &count), S_OK);
        EXPECT_EQ(count, 1);
        CComPtr<IKivLogSysBlock> block;
        ASSERT_EQ(info->GetThraedLine(thread->m_threadId, 0, IID_PPV_ARGS(&block)), S_OK);
        EXPECT_EQ(block.Get(), call.Get());
        CComPtr<IKivLogSysBlock> beyond;
        EXPECT_EQ(info->GetThraedLine(thread->m_threadId, 1, IID_PPV_ARGS(&beyond)), E_FAIL);
        EXPECT_EQ(beyond.Get(), nullptr);
    }
}

TEST(MethodInfoTest, ThreadsInFirstCallOrderAndTheCallsOfEachThread)
{
    // Two distinct thread objects share identifier 7: the list tells objects apart, the
    // per-thread calls go by identifier. The call at line 4 has no thread.
    const ThreadPtr a = MakeThread(5);
    const ThreadPtr b = MakeThread(7);
    const ThreadPtr c = MakeThread(9);
    const ThreadPtr alsoSeven = MakeThread(7);
    const std::vector<CallPtr> calls = {MakeCall(6, a),  MakeCall(2, b),         MakeCall(4, nullptr),
                                        MakeCall(3, c),  MakeCall(8, alsoSeven), MakeCall(1, c),
                                        MakeCall(7, b)};
    const CComPtr<IKivLogSysMethodInfo> info = MakeMethodInfo(u" CFoo::Bar()");
    for (const CallPtr& call : calls) {
        ASSERT_EQ(AddCall(info, call), S_OK);
    }
    // In line order the calls are: 1 c, 2 b, 3 c, 4 -, 6 a, 7 b, 8 alsoSeven.

    LONG threadCount = 0;
    ASSERT_EQ(info->GetRefThreadCount(&threadCount), S_OK);
    const std::vector<IKivLogSysThread*> expectedThreads = {c, b, a, alsoSeven};
    ASSERT_EQ(threadCount, static_cast<LONG>(expectedThreads.size()));
    for (LONG i = 0; i < threadCount; ++i) {
        CComPtr<IKivLogSysThread> thread;
        ASSERT_EQ(info->GetRefThread(i, IID_PPV_ARGS(&thread)), S_OK);
        EXPECT_EQ(thread.Get(), expectedThreads[static_cast<std::size_t>(i)]) << i;
    }
    CComPtr<IKivLogSysThread> beyond;
    EXPECT_EQ(info->GetRefThread(threadCount, IID_PPV_ARGS(&beyond)), E_FAIL);

    struct Case {
        DWORD threadId;
        std::vector<LONG> lines; // entry line numbers of the thread's calls, in order
    };
    const Case cases[] = {{9, {1, 3}}, {7, {2, 7, 8}}, {5, {6}}, {42, {}}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.threadId);
        LONG count = -1;
        ASSERT_EQ(info->GetThreadLineCount(k.threadId, &count), S_OK);
        ASSERT_EQ(count, static_cast<LONG>(k.lines.size()));
        for (LONG i = 0; i < count; ++i) {
            CComPtr<IKivLogSysLine> line;
            ASSERT_EQ(info->GetThraedLine(k.threadId, i, IID_PPV_ARGS(&line)), S_OK);
            const KivLogSysLineInfo* record = nullptr;
            ASSERT_EQ(line->GetLineInfo(&record), S_OK);
            EXPECT_EQ(record->lineNumber, k.lines[static_cast<std::size_t>(i)]);
        }
        CComPtr<IKivLogSysLine> none;
        EXPECT_EQ(info->GetThraedLine(k.threadId, count, IID_PPV_ARGS(&none)), E_FAIL);
        EXPECT_EQ(info->GetThraedLine(k.threadId, -1, IID_PPV_ARGS(&none)), E_FAIL);
    }
}

TEST(MethodInfoTest, ThreadListIsBuiltOnceByCountingThreads)
{
    const ThreadPtr first = MakeThread(1);
    const CComPtr<IKivLogSysMethodInfo> info = MakeMethodInfo(u"X");
    ASSERT_EQ(AddCall(info, MakeCall(1, first)), S_OK);

    CComPtr<IKivLogSysThread> thread;
    EXPECT_EQ(info->GetRefThread(0, IID_PPV_ARGS(&thread)), E_FAIL);
    EXPECT_EQ(thread.Get(), nullptr);

    // Counting one thread's calls builds the list too.
    LONG count = 0;
    ASSERT_EQ(info->GetThreadLineCount(1, &count), S_OK);
    ASSERT_EQ(info->GetRefThread(0, IID_PPV_ARGS(&thread)), S_OK);
    EXPECT_EQ(thread.Get(), first.Get());

    // A call added later does not change a list already built.
    ASSERT_EQ(AddCall(info, MakeCall(2, MakeThread(2))), S_OK);
    ASSERT_EQ(info->GetRefThreadCount(&count), S_OK);
    EXPECT_EQ(count, 1);
}

TEST(MethodInfoTest, NameIsAnOwnedCopy)
{
    std::u16string source = u" CFoo::Bar()";
    const CComPtr<IKivLogSysMethodInfo> info = MakeMethodInfo(source.c_str());
    source[1] = u'X';
    EXPECT_EQ(NameOf(info), " CFoo::Bar()");

    CComPtr<IKivLogSysMethodInfoEdit> edit;
    ASSERT_EQ(info.QueryInterface(&edit), S_OK);
    ASSERT_EQ(edit->SetName(nullptr), S_OK);
    BSTR name = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(info->GetName(&name), S_OK);
    EXPECT_EQ(name, nullptr);
    ASSERT_EQ(edit->SetName(CComBSTR(u"Y")), S_OK);
    EXPECT_EQ(NameOf(info), "Y");
    // The whole string is copied, NUL characters and what follows them included.
    ASSERT_EQ(edit->SetName(CComBSTR(u"Y\0Z"sv)), S_OK);
    EXPECT_EQ(NameOf(info), "Y\0Z"s);
}

TEST(MethodInfoTest, ANameFromAnEntryTextReadsAsItsUtf16UntilSetNameReplacesIt)
{
    // Code page 932: 表 is 0x95 0x5C; the NUL byte and what follows belong to the name.
    CComPtr<IKivLogSysMethodInfo> info;
    ASSERT_EQ(CKivLogSysFactory::CreateLogSysMethodInfoOfText(&info, " \x95\x5C::F()\0x"sv), S_OK);
    EXPECT_EQ(NameOf(info), " 表::F()\0x"s);
    CComPtr<IKivLogSysMethodInfoEdit> edit;
    ASSERT_EQ(info.QueryInterface(&edit), S_OK);
    ASSERT_EQ(edit->SetName(CComBSTR(u"Y")), S_OK);
    EXPECT_EQ(NameOf(info), "Y");
    ASSERT_EQ(edit->SetName(nullptr), S_OK);
    BSTR name = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(info->GetName(&name), S_OK);
    EXPECT_EQ(name, nullptr);
}

TEST(MethodInfoTest, ArgumentRules)
{
    const CComPtr<IKivLogSysMethodInfo> info = MakeMethodInfo(u"X");
    const ThreadPtr thread = MakeThread(3);
    ASSERT_EQ(AddCall(info, MakeCall(1, thread)), S_OK);
    CComPtr<IKivLogSysMethodInfoEdit> edit;
    ASSERT_EQ(info.QueryInterface(&edit), S_OK);
    CComPtr<IKivLogSysBlock> block;

    EXPECT_EQ(info->GetName(nullptr), E_POINTER);
    EXPECT_EQ(info->GetLineCount(nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetLineInfo(-1, IID_PPV_ARGS(&block)), E_INVALIDARG);
    EXPECT_EQ(info->GetLineInfo(1, IID_PPV_ARGS(&block)), E_INVALIDARG);
    EXPECT_EQ(info->GetLineInfo(0, IKivLogSysBlock::Iid, nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetRefThreadCount(nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetThreadLineCount(3, nullptr), E_INVALIDARG);
    EXPECT_EQ(info->GetThraedLine(3, 0, IKivLogSysBlock::Iid, nullptr), E_INVALIDARG);
    EXPECT_EQ(edit->AddBlock(nullptr), E_INVALIDARG);

    // An interface the call does not have: the call's own answer.
    CComPtr<IKivLogSysThread> notACall;
    EXPECT_EQ(info->GetLineInfo(0, IID_PPV_ARGS(&notACall)), E_NOINTERFACE);
    EXPECT_EQ(notACall.Get(), nullptr);
}

TEST(MethodInfoTest, ManyCallsInLineOrderKeepThatOrder)
{
    constexpr LONG Calls = 100000;
    const ThreadPtr thread = MakeThread(1);
    const CComPtr<IKivLogSysMethodInfo> info = MakeMethodInfo(u" CFoo::Bar()");
    CComPtr<IKivLogSysMethodInfoEdit> edit;
    ASSERT_EQ(info.QueryInterface(&edit), S_OK);
    std::vector<CallPtr> calls;
    calls.reserve(Calls);
    for (LONG i = 0; i < Calls; ++i) {
        calls.push_back(MakeCall(i / 2, thread)); // pairs of equal line numbers
        ASSERT_EQ(edit->AddBlock(calls.back()), S_OK);
    }
    std::vector<IKivLogSysBlock*> expected(calls.begin(), calls.end());
    EXPECT_EQ(CallsOf(info), expected);
}

TEST(MethodSetTest, OneMethodPerExactEntryText)
{
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    const std::u16string names[] = {u" CFoo::Bar()", u"CFoo::Bar()", u" CFoo::Bar", u" CFoo::Bar() ", u""};
    std::vector<CComPtr<IKivLogSysMethodInfo>> infos;
    for (const std::u16string& name : names) {
        infos.push_back(MethodOf(set, name));
        EXPECT_EQ(NameOf(infos.back()), Utf8(name));
    }
    for (std::size_t i = 0; i < infos.size(); ++i) {
        SCOPED_TRACE(Utf8(names[i]));
        EXPECT_EQ(MethodOf(set, names[i]).Get(), infos[i].Get());
        for (std::size_t j = 0; j < i; ++j) {
            EXPECT_NE(infos[i].Get(), infos[j].Get());
        }
    }
    EXPECT_EQ(NamesOf(set).size(), std::size(names));
}

TEST(MethodSetTest, NamesComeInUnsignedByteOrder)
{
    // Code page 932: 漢 is 0x8A 0xBF, 表 is 0x95 0x5C, the half-width ｱ is the one byte 0xB1.
    const std::u16string arrival[] = {u"表示::X", u"a",  u" CFoo::A()", u"ｱ",          u"Z",
                                      u"~",       u"漢", u"ZZ",         u" CBar::B()"};
    const std::vector<std::string> expected = {" CBar::B()", " CFoo::A()", "Z", "ZZ", "a", "~", "漢", "表示::X", "ｱ"};
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    for (const std::u16string& name : arrival) {
        MethodOf(set, name);
    }
    EXPECT_EQ(NamesOf(set), expected);
}

TEST(MethodSetTest, ManyNamesComeInUnsignedByteOrderToo)
{
    // Enough names that the list is sorted and converted in two halves side by side: short random
    // names over a few letters (many are prefixes of others), some led or ended by a character of
    // one or two bytes from 0x80.
    std::mt19937 random(7);
    const std::u16string extras[] = {u"", u"ｱ", u"漢"};
    std::map<std::string, std::string> expected; // code page 932 bytes -> the name in UTF-8
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    while (expected.size() < 40000) {
        std::u16string name = extras[random() % 3];
        for (std::size_t length = random() % 12; length > 0; --length) {
            name += static_cast<char16_t>(u'a' + random() % 3);
        }
        name += extras[random() % 3];
        MethodOf(set, name);
        expected.emplace(Kiv::Platform::Utf16ToAnsi(name), Utf8(name));
    }
    // std::map orders strings by char: compare them as unsigned bytes instead.
    std::vector<std::pair<std::string, std::string>> ordered(expected.begin(), expected.end());
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        return std::lexicographical_compare(a.first.begin(), a.first.end(), b.first.begin(), b.first.end(),
                                            [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
    });
    std::vector<std::string> names;
    for (const auto& [bytes, utf8] : ordered) {
        names.push_back(utf8);
    }
    EXPECT_EQ(NamesOf(set), names);
}

TEST(MethodSetTest, ArgumentAndInterfaceRules)
{
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();

    LONG count = -1;
    BSTR* names = reinterpret_cast<BSTR*>(0x1);
    EXPECT_EQ(set->GetMethodNames(&count, &names), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
    EXPECT_EQ(set->GetMethodNames(nullptr, &names), E_INVALIDARG);
    EXPECT_EQ(set->GetMethodNames(&count, nullptr), E_INVALIDARG);
    EXPECT_EQ(set->GetNameSpaceRoot(nullptr), E_INVALIDARG);

    CComPtr<IKivLogSysMethodInfo> info;
    EXPECT_EQ(set->GetMethodInfo(nullptr, IID_PPV_ARGS(&info)), E_INVALIDARG);
    EXPECT_EQ(info.Get(), nullptr);

    // The lookup succeeds even when the method does not have the interface asked for; the
    // method is made all the same.
    CComPtr<IKivLogSysThread> notAMethod;
    EXPECT_EQ(set->GetMethodInfo(CComBSTR(u"X"), IID_PPV_ARGS(&notAMethod)), S_OK);
    EXPECT_EQ(notAMethod.Get(), nullptr);
    EXPECT_EQ(NamesOf(set), std::vector<std::string>{"X"});
}

TEST(MethodSetTest, JapaneseNamesComeBackUnchanged)
{
    const std::u16string name = u" C表示::ソート(ｱｲｳ)";
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    const CComPtr<IKivLogSysMethodInfo> info = MethodOf(set, name);
    EXPECT_EQ(NameOf(info), Utf8(name));
    EXPECT_EQ(NamesOf(set), std::vector<std::string>{Utf8(name)});
}

TEST(NameSpaceTest, TreeOverMethodNames)
{
    struct Case {
        std::vector<std::u16string> names;
        std::string tree;
    };
    const Case cases[] = {
        {{u" CFoo::A()", u" CFoo::B()"}, "{' CFoo'{'A()'=[ CFoo::A()],'B()'=[ CFoo::B()]}}"},
        {{u"Plain()"}, "{'Plain()'=[Plain()]}"},
        {{u"::X"}, "{''{'X'=[::X]}}"},
        {{u"A::"}, "{'A'{''=[A::]}}"},
        {{u"A:::B"}, "{'A'{':B'=[A:::B]}}"},
        {{u"A::::B"}, "{'A'{''{'B'=[A::::B]}}}"},
        {{u"A:B::C"}, "{'A:B'{'C'=[A:B::C]}}"},
        // A method's node can hold further parts below it.
        {{u"A::B::C", u"A::B", u"A::D"}, "{'A'{'B'=[A::B]{'C'=[A::B::C]},'D'=[A::D]}}"},
        // Children stay in creation order.
        {{u" CFoo::B()", u" CBar::X()", u" CFoo::A()"},
         "{' CFoo'{'B()'=[ CFoo::B()],'A()'=[ CFoo::A()]},' CBar'{'X()'=[ CBar::X()]}}"},
        // The leading blank and the parentheses are part of the name.
        {{u" CFoo::A()", u"CFoo::A()", u" CFoo::A"},
         "{' CFoo'{'A()'=[ CFoo::A()],'A'=[ CFoo::A]},'CFoo'{'A()'=[CFoo::A()]}}"},
        // Double-byte characters whose second byte is 0x5C (ソ, 表), also right before and after
        // a separator, and full-width colons, which are no separator.
        {{u"表示::ソート()", u"表示::一覧()"}, "{'表示'{'ソート()'=[表示::ソート()],'一覧()'=[表示::一覧()]}}"},
        {{u"Ａ：：Ｂ"}, "{'Ａ：：Ｂ'=[Ａ：：Ｂ]}"},
        {{u"ソ::表"}, "{'ソ'{'表'=[ソ::表]}}"},
    };
    for (const Case& c : cases) {
        std::string label;
        for (const auto& name : c.names) {
            label += "[" + Utf8(name) + "]";
        }
        SCOPED_TRACE(label);
        const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
        for (const auto& name : c.names) {
            MethodOf(set, name);
        }
        EXPECT_EQ(Dump(RootOf(set)), c.tree);
    }
}

TEST(NameSpaceTest, TreeNodesHoldTheSetsMethods)
{
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    const CComPtr<IKivLogSysMethodInfo> a = MethodOf(set, u" CFoo::A()");
    const CComPtr<IKivLogSysMethodInfo> b = MethodOf(set, u" CFoo::B()");
    const CComPtr<IKivLogSysNameSpace> foo = ChildOf(RootOf(set), 0);
    for (const auto& [index, expected] : {std::pair{0, a}, std::pair{1, b}}) {
        CComPtr<IKivLogSysMethodInfo> method;
        ASSERT_EQ(ChildOf(foo, index)->GetMethodInfo(&method), S_OK);
        EXPECT_EQ(method.Get(), expected.Get());
    }
}

TEST(NameSpaceTest, AddMethodInfoByLevel)
{
    const CComPtr<IKivLogSysMethodInfo> info = MakeMethodInfo(u"A::B");
    const CComPtr<IKivLogSysMethodInfo> again = MakeMethodInfo(u"A::B");
    struct Case {
        LONG level;
        HRESULT status;
        std::string tree; // of a fresh node after the call
    };
    const Case cases[] = {
        {-2, E_INVALIDARG, ""},
        {-1, S_OK, "{'A'{'B'=[A::B]}}"},
        {0, S_OK, "'A'{'B'=[A::B]}"},
        {1, S_OK, "'B'=[A::B]"},
        {2, E_INVALIDARG, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        CComPtr<IKivLogSysNameSpace> node;
        ASSERT_EQ(CKivLogSysFactory::CreateLogSysNameSpace(&node), S_OK);
        CComPtr<IKivLogSysNameSpaceEdit> edit;
        ASSERT_EQ(node.QueryInterface(&edit), S_OK);
        EXPECT_EQ(edit->AddMethodInfo(info, c.level), c.status);
        EXPECT_EQ(Dump(node), c.tree);
    }

    // The last part's node takes the newest method; null is refused.
    CComPtr<IKivLogSysNameSpace> node;
    ASSERT_EQ(CKivLogSysFactory::CreateLogSysNameSpace(&node), S_OK);
    CComPtr<IKivLogSysNameSpaceEdit> edit;
    ASSERT_EQ(node.QueryInterface(&edit), S_OK);
    ASSERT_EQ(edit->AddMethodInfo(info, 1), S_OK);
    ASSERT_EQ(edit->AddMethodInfo(again, 1), S_OK);
    CComPtr<IKivLogSysMethodInfo> method;
    ASSERT_EQ(node->GetMethodInfo(&method), S_OK);
    EXPECT_EQ(method.Get(), again.Get());
    EXPECT_EQ(edit->AddMethodInfo(nullptr, -1), E_INVALIDARG);
}

TEST(NameSpaceTest, ANodeRenamedByLevelIsStillFoundByTheNameItWasListedUnder)
{
    // Renaming a listed node shows the new name; the index of its parent still knows the old one,
    // and filing a method through that name shows it again.
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    MethodOf(set, u"A::B");
    const CComPtr<IKivLogSysNameSpace> root = RootOf(set);
    CComPtr<IKivLogSysNameSpaceEdit> a;
    ASSERT_EQ(ChildOf(root, 0).QueryInterface(&a), S_OK);
    ASSERT_EQ(a->AddMethodInfo(MakeMethodInfo(u"X::C"), 0), S_OK);
    EXPECT_EQ(Dump(root), "{'X'{'B'=[A::B],'C'=[X::C]}}");
    MethodOf(set, u"A::D");
    EXPECT_EQ(Dump(root), "{'A'{'B'=[A::B],'C'=[X::C],'D'=[A::D]}}");
    MethodOf(set, u"X::E");
    EXPECT_EQ(Dump(root), "{'A'{'B'=[A::B],'C'=[X::C],'D'=[A::D]},'X'{'E'=[X::E]}}");
}

TEST(NameSpaceTest, NodeRules)
{
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    MethodOf(set, u"A::B");
    const CComPtr<IKivLogSysNameSpace> root = RootOf(set);
    const CComPtr<IKivLogSysNameSpace> a = ChildOf(root, 0);

    // The root has no name and no method; its parent was never set.
    BSTR name = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(root->GetName(&name), S_OK);
    EXPECT_EQ(name, nullptr);
    CComPtr<IKivLogSysMethodInfo> method;
    EXPECT_EQ(root->GetMethodInfo(&method), E_FAIL);
    EXPECT_EQ(method.Get(), nullptr);
    EXPECT_EQ(root->GetMethodInfo(nullptr), E_INVALIDARG);
    EXPECT_EQ(root->GetName(nullptr), E_POINTER);
    CComPtr<Kiv::IKivListItem> parent;
    EXPECT_EQ(a->GetParent(IID_PPV_ARGS(&parent)), E_FAIL);

    LONG count = -1;
    EXPECT_EQ(root->GetChildCount(nullptr), E_INVALIDARG);
    ASSERT_EQ(root->GetChildCount(&count), S_OK);
    ASSERT_EQ(count, 1);
    CComPtr<IKivLogSysNameSpace> child;
    EXPECT_EQ(root->GetChildItem(count, IID_PPV_ARGS(&child)), E_INVALIDARG);
    EXPECT_EQ(root->GetChildItem(-1, IID_PPV_ARGS(&child)), E_INVALIDARG);
    EXPECT_EQ(root->GetChildItem(0, IKivLogSysNameSpace::Iid, nullptr), E_INVALIDARG);
    EXPECT_EQ(child.Get(), nullptr);
    // The leaf B has no children: none to count, none to give.
    const CComPtr<IKivLogSysNameSpace> b = ChildOf(a, 0);
    ASSERT_EQ(b->GetChildCount(&count), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(b->GetChildItem(0, IID_PPV_ARGS(&child)), E_INVALIDARG);
    EXPECT_EQ(child.Get(), nullptr);

    // A comparison reports 1; the same node through another of its interfaces is equal.
    CComPtr<IKivLogSysNameSpaceEdit> aEdit;
    ASSERT_EQ(a.QueryInterface(&aEdit), S_OK);
    struct Case {
        IUnknown* other;
        BOOL equal;
    };
    const Case cases[] = {{a, TRUE}, {aEdit, TRUE}, {root, FALSE}, {ChildOf(a, 0), FALSE}};
    for (const Case& c : cases) {
        BOOL equal = -1;
        EXPECT_EQ(a->IsEqual(c.other, &equal), 1);
        EXPECT_EQ(equal, c.equal);
    }
    BOOL equal = -1;
    EXPECT_EQ(a->IsEqual(nullptr, &equal), E_INVALIDARG);
    EXPECT_EQ(a->IsEqual(root, nullptr), E_INVALIDARG);

    // A parent set from outside is asked for the interface.
    CComPtr<IKivLogSysBlock> folderBlock;
    ASSERT_EQ(CKivLogSysFactory::CreateLogSysBlock(&folderBlock), S_OK);
    CComPtr<Kiv::IKivListItemFolder> folder;
    ASSERT_EQ(folderBlock.QueryInterface(&folder), S_OK);
    CComPtr<IKivListItemEdit> hang;
    ASSERT_EQ(a.QueryInterface(&hang), S_OK);
    ASSERT_EQ(hang->SetParent(folder), S_OK);
    CComPtr<Kiv::IKivListItemFolder> found;
    ASSERT_EQ(a->GetParent(IID_PPV_ARGS(&found)), S_OK);
    EXPECT_EQ(found.Get(), folder.Get());
}

// One line of a trace as the loader hands it to its thread.
struct TraceLine {
    DWORD threadId;
    WORD depth;
    WORD kind;
    std::string_view text;
};

// The thread objects of the lines, each filled with its lines in order (line numbers from 1).
std::map<DWORD, CComPtr<IKivLogSysThreadEdit>> MakeThreads(std::span<const TraceLine> lines)
{
    std::map<DWORD, CComPtr<IKivLogSysThreadEdit>> threads;
    LONG lineNumber = 0;
    for (const TraceLine& line : lines) {
        CComPtr<IKivLogSysThreadEdit>& thread = threads[line.threadId];
        if (!thread) {
            CComPtr<IKivLogSysThread> created;
            EXPECT_EQ(CKivLogSysFactory::CreateLogSysThread(&created), S_OK);
            EXPECT_EQ(created.QueryInterface(&thread), S_OK);
            thread->SetThreadId(line.threadId);
        }
        KivLogSysLineInfo info{};
        info.cbSize = sizeof info;
        info.threadId = line.threadId;
        info.lineNumber = ++lineNumber;
        info.text = line.text.data();
        info.textLength = static_cast<LONG>(line.text.size());
        info.depth = line.depth;
        info.kind = line.kind;
        EXPECT_EQ(thread->AddLine(&info), S_OK);
    }
    return threads;
}

TEST(MethodIndexEndToEndTest, ThreadsFileTheirCallsIntoOneSet)
{
    // Thread 0x10 calls Bar twice; thread 0x20 calls it inside Run, between them in the file.
    const TraceLine lines[] = {
        {0x10, 0, KivLogSysLineKind::Enter, " CFoo::Bar()"},  {0x20, 0, KivLogSysLineKind::Enter, " CFoo::Run()"},
        {0x10, 0, KivLogSysLineKind::Return, ""},             {0x20, 1, KivLogSysLineKind::Enter, " CFoo::Bar()"},
        {0x20, 1, KivLogSysLineKind::Return, ""},             {0x20, 0, KivLogSysLineKind::Return, ""},
        {0x10, 0, KivLogSysLineKind::Enter, " CFoo::Bar()"},
    };
    std::map<DWORD, CComPtr<IKivLogSysThreadEdit>> threads = MakeThreads(lines);
    // The later thread first, so that Bar's calls arrive out of line order.
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    ASSERT_EQ(threads[0x20]->BuildMethodSet(set), S_OK);
    ASSERT_EQ(threads[0x10]->BuildMethodSet(set), S_OK);

    EXPECT_EQ(NamesOf(set), (std::vector<std::string>{" CFoo::Bar()", " CFoo::Run()"}));
    EXPECT_EQ(Dump(RootOf(set)), "{' CFoo'{'Run()'=[ CFoo::Run()],'Bar()'=[ CFoo::Bar()]}}");

    const CComPtr<IKivLogSysMethodInfo> bar = MethodOf(set, u" CFoo::Bar()");
    std::vector<LONG> callLines;
    for (IKivLogSysBlock* call : CallsOf(bar)) {
        const KivLogSysLineInfo* entry = nullptr;
        ASSERT_EQ(call->GetLineInfo(&entry), S_OK);
        callLines.push_back(entry->lineNumber);
    }
    EXPECT_EQ(callLines, (std::vector<LONG>{1, 4, 7}));

    LONG threadCount = 0;
    ASSERT_EQ(bar->GetRefThreadCount(&threadCount), S_OK);
    ASSERT_EQ(threadCount, 2);
    for (const auto& [index, threadId] : {std::pair{0, DWORD{0x10}}, std::pair{1, DWORD{0x20}}}) {
        CComPtr<IKivLogSysThreadEdit> thread;
        ASSERT_EQ(bar->GetRefThread(index, IID_PPV_ARGS(&thread)), S_OK);
        EXPECT_EQ(thread.Get(), threads[threadId].Get());
    }
    for (const auto& [threadId, calls] : {std::pair{DWORD{0x10}, 2}, std::pair{DWORD{0x20}, 1}}) {
        LONG count = 0;
        ASSERT_EQ(bar->GetThreadLineCount(threadId, &count), S_OK);
        EXPECT_EQ(count, calls) << threadId;
    }
}

// A thread object of another kind under the root, which cannot file its calls the first time it
// is asked (out of memory) and can the second time.
class CThreadFilingOnce : public KivTest::CFakeThread, public Kiv::IKivListItem {
public:
    HRESULT BuildMethodSet(IKivLogSysMethodSet*) override { return m_failures-- > 0 ? E_OUTOFMEMORY : S_OK; }
    HRESULT GetChildCount(LONG* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT GetChildItem(LONG, REFIID, void**) override { return E_INVALIDARG; }
    HRESULT GetParent(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT IsEqual(IUnknown*, BOOL*) override { return E_NOTIMPL; }

    HRESULT FindInterface(REFIID riid, void** ppv) override
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysThread*>(this)},
                                        {IKivLogSysThread::Iid, static_cast<IKivLogSysThread*>(this)},
                                        {IKivLogSysThreadEdit::Iid, static_cast<IKivLogSysThreadEdit*>(this)},
                                        {Kiv::IKivListItem::Iid, static_cast<Kiv::IKivListItem*>(this)}},
                                       riid, ppv);
    }

    int m_failures = 1;
};

TEST(MethodIndexEndToEndTest, ARootKeepsOnlyAWholeMethodSet)
{
    CComPtr<IKivLogSysRoot> root;
    ASSERT_EQ(CKivLogSysFactory::CreateLogSysRoot(&root), S_OK);
    CComPtr<IKivLogSysThreadEdit> engineThread;
    ASSERT_EQ(root->GetLogThread(0x10, IID_PPV_ARGS(&engineThread)), S_OK);
    KivLogSysLineInfo entry{};
    entry.cbSize = sizeof entry;
    entry.threadId = 0x10;
    entry.lineNumber = 1;
    entry.text = " CFoo::Bar()";
    entry.textLength = 12;
    entry.kind = KivLogSysLineKind::Enter;
    ASSERT_EQ(engineThread->AddLine(&entry), S_OK);
    const auto other = KivTest::MakeDouble<CThreadFilingOnce>();
    other->m_threadId = 0x20;
    IUnknown* const items[] = {static_cast<IKivLogSysThread*>(other.Get())};
    CComPtr<Kiv::IKivListItemFolder> folder;
    ASSERT_EQ(root.QueryInterface(&folder), S_OK);
    ASSERT_EQ(folder->InsertChildItem(1, 1, items), S_OK);

    // The first build misses the other thread's calls: it fails and nothing is kept.
    CComPtr<IKivLogSysMethodSet> set;
    EXPECT_EQ(root->GetMethodSet(IID_PPV_ARGS(&set)), E_OUTOFMEMORY);
    EXPECT_FALSE(set);
    // The next request builds the set anew, whole.
    ASSERT_EQ(root->GetMethodSet(IID_PPV_ARGS(&set)), S_OK);
    EXPECT_EQ(NamesOf(set), (std::vector<std::string>{" CFoo::Bar()"}));
}

// Files the calls of a tree into the set one by one through the interfaces, depth first in
// child order: the plain reference for the index a root builds.
void FileCallsOneByOne(Kiv::IKivListItem* folder, IKivLogSysMethodSet* set)
{
    LONG count = 0;
    ASSERT_EQ(folder->GetChildCount(&count), S_OK);
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysBlock> block;
        if (FAILED(folder->GetChildItem(i, IID_PPV_ARGS(&block))) || !block) {
            continue; // a plain line
        }
        const KivLogSysLineInfo* entry = nullptr;
        ASSERT_EQ(block->GetLineInfo(&entry), S_OK);
        const std::u16string name =
            Kiv::Platform::AnsiToUtf16({entry->text, static_cast<std::size_t>(entry->textLength)});
        CComPtr<IKivLogSysMethodInfoEdit> method;
        ASSERT_EQ(set->GetMethodInfo(CComBSTR(name), IID_PPV_ARGS(&method)), S_OK);
        ASSERT_EQ(method->AddBlock(block), S_OK);
        FileCallsOneByOne(block, set);
    }
}

// A new set with the calls of every thread under the root filed one by one, thread after thread.
CComPtr<IKivLogSysMethodSet> SetOfCallsFiledOneByOne(IKivLogSysRoot* root)
{
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    CComPtr<Kiv::IKivListItem> rootFolder;
    EXPECT_EQ(root->QueryInterface(IID_PPV_ARGS(&rootFolder)), S_OK);
    LONG threadCount = 0;
    EXPECT_EQ(rootFolder->GetChildCount(&threadCount), S_OK);
    for (LONG i = 0; i < threadCount; ++i) {
        CComPtr<Kiv::IKivListItem> thread;
        EXPECT_EQ(rootFolder->GetChildItem(i, IID_PPV_ARGS(&thread)), S_OK);
        FileCallsOneByOne(thread, set);
    }
    return set;
}

TEST(MethodIndexEndToEndTest, ARootsSetAgreesWithItsCallsFiledOneByOne)
{
    // Random traces of a few threads and methods: calls nest, return, are left open and come to
    // each method out of line order from several threads.
    std::mt19937 random(13);
    // ASCII names, a Japanese one (code page 932 bytes of 表示), and two texts whose undefined
    // bytes 0x80 and 0xA0 both read as the same UTF-16 name: the set knows them as one method.
    constexpr std::string_view Names[] = {" A::F()", " A::G()", " B::F()", " C()", " \x95\x5C\x8E\xA6::F()",
                                          " \x80::x()", " \xA0::x()"};
    constexpr DWORD Threads = 4;
    for (int round = 0; round < 20; ++round) {
        CComPtr<IKivLogSysRoot> root;
        ASSERT_EQ(CKivLogSysFactory::CreateLogSysRoot(&root), S_OK);
        std::map<DWORD, WORD> open; // the open calls of each thread
        for (LONG lineNumber = 1; lineNumber <= 300; ++lineNumber) {
            const DWORD threadId = 1 + static_cast<DWORD>(random() % Threads);
            CComPtr<IKivLogSysThreadEdit> thread;
            ASSERT_EQ(root->GetLogThread(threadId, IID_PPV_ARGS(&thread)), S_OK);
            WORD& depth = open[threadId];
            KivLogSysLineInfo info{};
            info.cbSize = sizeof info;
            info.threadId = threadId;
            info.lineNumber = lineNumber;
            info.text = "";
            switch (random() % 3) {
            case 0:
                info.kind = KivLogSysLineKind::Enter;
                info.text = Names[random() % std::size(Names)].data();
                info.depth = static_cast<WORD>(random() % (depth + 1u));
                depth = static_cast<WORD>(info.depth + 1);
                break;
            case 1:
                info.kind = KivLogSysLineKind::Return;
                depth = depth > 0 ? static_cast<WORD>(depth - 1) : WORD{0};
                info.depth = depth;
                break;
            default:
                info.kind = KivLogSysLineKind::Text;
                info.text = "text";
                info.depth = static_cast<WORD>(random() % (depth + 2u)); // now and then too deep
                break;
            }
            info.textLength = static_cast<LONG>(std::strlen(info.text));
            thread->AddLine(&info); // a line deeper than the open calls is dropped
        }

        CComPtr<IKivLogSysMethodSet> built;
        ASSERT_EQ(root->GetMethodSet(IID_PPV_ARGS(&built)), S_OK);
        const CComPtr<IKivLogSysMethodSet> oneByOne = SetOfCallsFiledOneByOne(root);

        const std::vector<std::string> names = NamesOf(built);
        ASSERT_EQ(names, NamesOf(oneByOne)) << round;
        for (const std::string& name : names) {
            const std::u16string wide = Kiv::Platform::Utf8ToUtf16(name);
            const CComPtr<IKivLogSysMethodInfo> method = MethodOf(built, wide);
            const CComPtr<IKivLogSysMethodInfo> expected = MethodOf(oneByOne, wide);
            EXPECT_EQ(CallsOf(method), CallsOf(expected)) << round << name;
            LONG threads = -1;
            LONG expectedThreads = -2;
            ASSERT_EQ(method->GetRefThreadCount(&threads), S_OK);
            ASSERT_EQ(expected->GetRefThreadCount(&expectedThreads), S_OK);
            EXPECT_EQ(threads, expectedThreads) << round << name;
            for (DWORD threadId = 1; threadId <= Threads; ++threadId) {
                LONG calls = -1;
                LONG expectedCalls = -2;
                ASSERT_EQ(method->GetThreadLineCount(threadId, &calls), S_OK);
                ASSERT_EQ(expected->GetThreadLineCount(threadId, &expectedCalls), S_OK);
                EXPECT_EQ(calls, expectedCalls) << round << name << threadId;
            }
        }
    }
}

// A root of three threads making calls, each of one of the given number of methods (the calls
// go round them in a stride, so each thread calls methods of its own and of the others), spread
// over namespaces so that the tree's order of children follows the order the methods are filed
// in: with more methods than the set hands over at a time while it files its tree beside the
// lookups.
CComPtr<IKivLogSysRoot> MakeRootCallingManyMethods(int methods, LONG calls)
{
    // The model keeps pointing at the texts of its lines, as at a loaded file's.
    static std::map<int, std::vector<std::string>> textsByCount;
    std::vector<std::string>& texts = textsByCount[methods];
    for (int method = static_cast<int>(texts.size()); method < methods; ++method) {
        texts.push_back(" N" + std::to_string(method * 7 % 31) + "::C" + std::to_string(method % 5) + "::M" +
                        std::to_string(method) + "()");
    }
    CComPtr<IKivLogSysRoot> root;
    EXPECT_EQ(CKivLogSysFactory::CreateLogSysRoot(&root), S_OK);
    for (LONG lineNumber = 1; lineNumber <= calls; ++lineNumber) {
        const DWORD threadId = 1 + static_cast<DWORD>(lineNumber % 3);
        CComPtr<IKivLogSysThreadEdit> thread;
        EXPECT_EQ(root->GetLogThread(threadId, IID_PPV_ARGS(&thread)), S_OK);
        const std::string& text = texts[static_cast<std::size_t>(lineNumber * 11 % methods)];
        KivLogSysLineInfo info{};
        info.cbSize = sizeof info;
        info.threadId = threadId;
        info.lineNumber = lineNumber;
        info.kind = KivLogSysLineKind::Enter;
        info.text = text.c_str();
        info.textLength = static_cast<LONG>(text.size());
        thread->AddLine(&info);
    }
    return root;
}

TEST(MethodIndexEndToEndTest, ARootsLargeSetAndTreeAgreeWithItsCallsFiledOneByOne)
{
    const CComPtr<IKivLogSysRoot> root = MakeRootCallingManyMethods(1500, 3000);
    CComPtr<IKivLogSysMethodSet> built;
    ASSERT_EQ(root->GetMethodSet(IID_PPV_ARGS(&built)), S_OK);
    const CComPtr<IKivLogSysMethodSet> oneByOne = SetOfCallsFiledOneByOne(root);
    EXPECT_EQ(NamesOf(built).size(), 1500u);
    EXPECT_EQ(NamesOf(built), NamesOf(oneByOne));
    EXPECT_EQ(Dump(RootOf(built)), Dump(RootOf(oneByOne)));
}

TEST(MethodIndexEndToEndTest, ARootsSetThatRunsOutOfMemoryIsNotKeptAndIsBuiltWhenAskedAgain)
{
    // Every allocation of the requesting thread fails from the allowed-th on (the second thread
    // that files the tree is not affected, nor is the model's own memory), each count in turn,
    // including the one where no second thread can be had; a failed request reports it, and the
    // next one builds the whole set. Each method is called once, so that filing the calls needs
    // no allocation per method.
    constexpr int Methods = 600;
    CComPtr<IKivLogSysMethodSet> reference;
    ASSERT_EQ(MakeRootCallingManyMethods(Methods, Methods)->GetMethodSet(IID_PPV_ARGS(&reference)), S_OK);
    const std::vector<std::string> names = NamesOf(reference);
    const std::string tree = Dump(RootOf(reference));
    long failed = 1;
    for (long allowed = 0; failed != 0; ++allowed) {
        SCOPED_TRACE(allowed);
        const CComPtr<IKivLogSysRoot> root = MakeRootCallingManyMethods(Methods, Methods);
        CComPtr<IKivLogSysMethodSet> set;
        HRESULT hr = E_FAIL;
        {
            const KivTest::CFailingAllocations failing(allowed, failed);
            hr = root->GetMethodSet(IID_PPV_ARGS(&set));
        }
        if (failed == 0) {
            ASSERT_EQ(hr, S_OK);
        } else if (hr != S_OK) {
            // A set that could not be made whole is not kept, nor handed out.
            ASSERT_EQ(hr, E_OUTOFMEMORY);
            EXPECT_EQ(set.Get(), nullptr);
            ASSERT_EQ(root->GetMethodSet(IID_PPV_ARGS(&set)), S_OK);
        }
        EXPECT_EQ(NamesOf(set), names);
        EXPECT_EQ(Dump(RootOf(set)), tree);
    }
}

TEST(MethodIndexEndToEndTest, EntryTextsWithNulBytesAreWholeNames)
{
    // A NUL byte in a trace text is a byte like any other: the texts differ after it.
    const TraceLine lines[] = {
        {0x10, 0, KivLogSysLineKind::Enter, " A\0x()"sv},
        {0x10, 0, KivLogSysLineKind::Return, ""},
        {0x10, 0, KivLogSysLineKind::Enter, " A\0y()"sv},
        {0x10, 0, KivLogSysLineKind::Return, ""},
        {0x10, 0, KivLogSysLineKind::Enter, " A\0x()"sv},
    };
    std::map<DWORD, CComPtr<IKivLogSysThreadEdit>> threads = MakeThreads(lines);
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    ASSERT_EQ(threads[0x10]->BuildMethodSet(set), S_OK);

    EXPECT_EQ(NamesOf(set), (std::vector<std::string>{" A\0x()"s, " A\0y()"s}));
    for (const auto& [name, calls] : {std::pair{u" A\0x()"sv, 2}, std::pair{u" A\0y()"sv, 1}}) {
        LONG count = 0;
        ASSERT_EQ(MethodOf(set, name)->GetLineCount(&count), S_OK);
        EXPECT_EQ(count, calls) << Utf8(name);
    }
}

TEST(MethodSetTest, NamesWithNulCharactersAreKeptWhole)
{
    const std::u16string_view names[] = {u" A\0x()"sv, u" A\0y()"sv, u" A"sv, u" A\0::x()"sv};
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    std::map<std::string, IKivLogSysMethodInfo*> infos;
    for (std::u16string_view name : names) {
        const CComPtr<IKivLogSysMethodInfo> info = MethodOf(set, name);
        EXPECT_EQ(NameOf(info), Utf8(name));
        infos[Utf8(name)] = info.Get();
    }
    EXPECT_EQ(infos.size(), std::size(names));
    // In byte order, a prefix first; ':' (0x3A) before 'x' (0x78).
    const std::vector<std::string> ordered = {" A"s, " A\0::x()"s, " A\0x()"s, " A\0y()"s};
    EXPECT_EQ(NamesOf(set), ordered);

    // Each name the set lists finds its own method again, and asking creates nothing.
    LONG count = 0;
    BSTR* listed = nullptr;
    ASSERT_EQ(set->GetMethodNames(&count, &listed), S_OK);
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysMethodInfo> info;
        EXPECT_EQ(set->GetMethodInfo(listed[i], IID_PPV_ARGS(&info)), S_OK);
        EXPECT_EQ(info.Get(), infos[Utf8({listed[i], SysStringLen(listed[i])})]) << i;
        SysFreeString(listed[i]);
    }
    CoTaskMemFree(listed);
    EXPECT_EQ(NamesOf(set), ordered);

    // The namespace tree cuts at "::" only and keeps the NUL in the parts.
    EXPECT_EQ(Dump(RootOf(set)),
              "{' A\0x()'=[ A\0x()],' A\0y()'=[ A\0y()],' A'=[ A],' A\0'{'x()'=[ A\0::x()]}}"s);
}

TEST(MethodIndexInterfaceTest, EachPartAnswersItsInterfaces)
{
    // Every identifier of an object must lead to the part that implements it, and IUnknown to
    // one identity, or comparisons by identity break.
    const CComPtr<IKivLogSysMethodInfo> info = MakeMethodInfo(u"X");
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    const CComPtr<IKivLogSysNameSpace> node = RootOf(set);

    auto ask = [](IUnknown* object, REFIID iid) {
        void* part = nullptr;
        const HRESULT hr = object->QueryInterface(iid, &part);
        CComPtr<IUnknown> taken;
        taken.Attach(static_cast<IUnknown*>(part)); // drops the reference the answer took
        return hr == S_OK ? part : nullptr;
    };
    EXPECT_EQ(ask(info, IUnknown::Iid), static_cast<void*>(info.Get()));
    EXPECT_EQ(ask(info, IKivLogSysMethodInfo::Iid), static_cast<void*>(info.Get()));
    EXPECT_NE(ask(info, IKivLogSysMethodInfoEdit::Iid), nullptr);
    EXPECT_NE(ask(info, IKivLogSysMethodInfoEdit::Iid), static_cast<void*>(info.Get()));
    EXPECT_EQ(ask(info, IKivLogSysMethodSet::Iid), nullptr);

    EXPECT_EQ(ask(set, IUnknown::Iid), static_cast<void*>(set.Get()));
    EXPECT_EQ(ask(set, IKivLogSysMethodInfo::Iid), nullptr);

    void* identity = ask(node, IUnknown::Iid);
    EXPECT_EQ(ask(node, IKivListItemEdit::Iid), identity);
    EXPECT_EQ(ask(node, Kiv::IKivListItem::Iid), static_cast<void*>(node.Get()));
    EXPECT_EQ(ask(node, IKivLogSysNameSpace::Iid), static_cast<void*>(node.Get()));
    void* edit = ask(node, IKivLogSysNameSpaceEdit::Iid);
    EXPECT_NE(edit, nullptr);
    EXPECT_NE(edit, identity);
    EXPECT_NE(identity, static_cast<void*>(node.Get()));
    EXPECT_EQ(ask(node, IKivLogSysMethodSet::Iid), nullptr);
}

TEST(NameSpaceTest, ManyMethodsInOneNamespaceKeepCreationOrder)
{
    constexpr int Methods = 20000;
    const CComPtr<IKivLogSysMethodSet> set = MakeMethodSet();
    for (int i = 0; i < Methods; ++i) {
        const std::string name = " CBig::M" + std::to_string(i) + "()";
        MethodOf(set, std::u16string(name.begin(), name.end()));
    }
    const CComPtr<IKivLogSysNameSpace> big = ChildOf(RootOf(set), 0);
    LONG count = 0;
    ASSERT_EQ(big->GetChildCount(&count), S_OK);
    ASSERT_EQ(count, Methods);
    for (int i : {0, 1, Methods / 2, Methods - 1}) {
        CComBSTR name;
        ASSERT_EQ(ChildOf(big, i)->GetName(&name), S_OK);
        EXPECT_EQ(Utf8(name.View()), "M" + std::to_string(i) + "()");
    }
}

} // namespace
