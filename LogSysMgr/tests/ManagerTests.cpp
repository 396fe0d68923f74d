// The engine through its export, as its callers use it: loading in the background and at once,
// the progress protocol, stopping, replacing and clearing the model, and the manager's lifetime.
#include "KivLogSysMgr/KivLogSysMgr.h"

#include "KivObject/ComPtr.h"
#include "KivObject/KivObject.h"
#include "KivObject/MakeObject.h"

#include "KivTestSupport/LoadWaitSink.h"
#include "KivTestSupport/TempDir.h"

#include "KivPlatform/TaskMem.h"

#include "ModelQueries.h"
#include "TestGate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

using Kiv::CComPtr;
using KivTest::RootThreadIds;
using KivTest::ThreadIds;
using KivTest::CGate;
using KivTest::TempDir;
using KivTest::ToUtf16Path;

namespace {

using Report = std::pair<LONG, LONG>;
// The reports that mark a load's start, its whole file read, and its end.
constexpr Report StartReport{KivLogSysLoadProgress::Start, 0};
constexpr Report WholeFileReport{KivLogSysLoadProgress::Progress, 100};
constexpr Report EndReport{KivLogSysLoadProgress::Finished, 0};

using Sink = Kiv::CKivObject<KivTest::CLoadWaitSink>;

CComPtr<Sink> MakeSink()
{
    return Kiv::MakeObject<Sink>();
}

CComPtr<IKivLogSysMgr> MakeManager()
{
    CComPtr<IKivLogSysMgr> manager;
    EXPECT_EQ(CKivLogSysMgr::CreateLogSysMgr(&manager), S_OK);
    return manager;
}

// A trace whose threads appear in the order given, one line each in turn.
std::string Trace(const std::vector<DWORD>& threads, int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i) {
        char header[64];
        std::snprintf(header, sizeof header, "[%08X][2026/12/09(10:00:00.000)]", threads[i % threads.size()]);
        text += std::string(header) + " line " + std::to_string(i) + "\r\n";
    }
    return text;
}

TEST(ManagerTest, ExportRefusesANullOutPointer)
{
    EXPECT_EQ(CKivLogSysMgr::CreateLogSysMgr(nullptr), E_INVALIDARG);
}

TEST(ManagerTest, NewManagerHasOneEmptyRootAndNothingToStopOrWaitFor)
{
    const auto manager = MakeManager();
    CComPtr<IKivLogSysRoot> first;
    CComPtr<IKivLogSysRoot> second;
    ASSERT_EQ(manager->GetRootObject(&first), S_OK);
    ASSERT_EQ(manager->GetRootObject(&second), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_TRUE(ThreadIds(first).empty());
    EXPECT_EQ(manager->StopLoadLog(), S_OK);
    EXPECT_EQ(manager->WaitWorkThreads(), S_OK);
    EXPECT_EQ(manager->GetRootObject(nullptr), E_INVALIDARG);
}

TEST(ManagerTest, BackgroundLoadReportsInOrderAndHandsOverTheModelAtTheEnd)
{
    TempDir dir;
    const auto path = ToUtf16Path(dir.WriteFile("three.log", Trace({0x30, 0x10, 0x20}, 3000)));
    const auto manager = MakeManager();
    const auto sink = MakeSink();
    std::vector<DWORD> threadsAtEnd;
    sink->m_onReport = [&](LONG kind, LONG) {
        if (kind == KivLogSysLoadProgress::Finished) {
            threadsAtEnd = RootThreadIds(manager); // the new model is there already
        }
    };
    ASSERT_EQ(manager->SetLoadProgress(sink), S_OK);
    ASSERT_EQ(manager->LoadLogFile(path.c_str(), 1), S_OK);
    ASSERT_TRUE(sink->WaitForEnds(1));
    ASSERT_EQ(manager->WaitWorkThreads(), S_OK);

    const auto reports = sink->Reports();
    ASSERT_GE(reports.size(), 4u);
    EXPECT_EQ(reports.front(), StartReport);
    EXPECT_EQ(reports[reports.size() - 2], WholeFileReport);
    EXPECT_EQ(reports.back(), EndReport);
    for (std::size_t i = 2; i + 2 < reports.size(); ++i) {
        EXPECT_EQ(reports[i].first, KivLogSysLoadProgress::Progress);
        EXPECT_GT(reports[i].second, reports[i - 1].second);
    }
    const std::vector<DWORD> firstLineOrder = {0x30, 0x10, 0x20};
    EXPECT_EQ(threadsAtEnd, firstLineOrder);
    EXPECT_EQ(RootThreadIds(manager), firstLineOrder);
}

TEST(ManagerTest, LoadAtOnceReplacesTheModelAndAFailedOpenLeavesIt)
{
    TempDir dir;
    const auto manager = MakeManager();
    const auto first = ToUtf16Path(dir.WriteFile("first.log", Trace({1, 2}, 10)));
    ASSERT_EQ(manager->LoadLogFile(first.c_str(), 0), S_OK);
    EXPECT_EQ(RootThreadIds(manager), (std::vector<DWORD>{1, 2}));

    CComPtr<IKivLogSysRoot> before;
    manager->GetRootObject(&before);
    const auto noTrace = ToUtf16Path(dir.WriteFile("plain.log", "no trace here\n"));
    for (const std::u16string& bad : {ToUtf16Path(dir.Path() / "missing.log"), noTrace, ToUtf16Path(dir.Path())}) {
        EXPECT_EQ(manager->LoadLogFile(bad.c_str(), 1), E_FAIL);
        EXPECT_EQ(manager->LoadLogFile(bad.c_str(), 0), E_FAIL);
    }
    CComPtr<IKivLogSysRoot> after;
    manager->GetRootObject(&after);
    EXPECT_EQ(after.Get(), before.Get());

    const auto second = ToUtf16Path(dir.WriteFile("second.log", Trace({7}, 5)));
    ASSERT_EQ(manager->LoadLogFile(second.c_str(), 0), S_OK);
    EXPECT_EQ(RootThreadIds(manager), (std::vector<DWORD>{7}));
    // The lines of the first model stay readable: its file is still open.
    CComPtr<Kiv::IKivListItem> firstRoot;
    before.QueryInterface(&firstRoot);
    CComPtr<IKivLogSysThread> thread;
    ASSERT_EQ(firstRoot->GetChildItem(0, IID_PPV_ARGS(&thread)), S_OK);
    CComPtr<Kiv::IKivListAccess> lines;
    thread.QueryInterface(&lines);
    CComPtr<IKivLogSysLine> line;
    ASSERT_EQ(lines->GetListItem(0, IID_PPV_ARGS(&line)), S_OK);
    const KivLogSysLineInfo* info = nullptr;
    line->GetLineInfo(&info);
    EXPECT_EQ(std::string(info->text, static_cast<std::size_t>(info->textLength)), " line 0");
}

TEST(ManagerTest, StopEndsTheLoadWithAnEmptyModel)
{
    TempDir dir;
    const auto path = ToUtf16Path(dir.WriteFile("big.log", Trace({1, 2, 3}, 200000)));
    const auto manager = MakeManager();
    const auto sink = MakeSink();
    sink->m_onReport = [&](LONG kind, LONG value) {
        if (kind == KivLogSysLoadProgress::Progress && value == 5) {
            manager->StopLoadLog();
        }
    };
    manager->SetLoadProgress(sink);
    ASSERT_EQ(manager->LoadLogFile(path.c_str(), 1), S_OK);
    ASSERT_TRUE(sink->WaitForEnds(1));
    manager->WaitWorkThreads();
    const auto reports = sink->Reports();
    EXPECT_EQ(reports.back(), EndReport);
    EXPECT_EQ(std::count(reports.begin(), reports.end(), WholeFileReport), 0);
    EXPECT_TRUE(RootThreadIds(manager).empty());
}

TEST(ManagerTest, ClearingDropsTheModelAndMethodSetsAreBuiltOnce)
{
    TempDir dir;
    const auto path = ToUtf16Path(
        dir.WriteFile("calls.log", "[00000001][2026/12/09(10:00:00.000)]\x84\xA1 CFoo::A()\r\n"
                                   "[00000001][2026/12/09(10:00:00.001)]\x84\xA4 CFoo::A()\r\n"));
    const auto manager = MakeManager();
    ASSERT_EQ(manager->LoadLogFile(path.c_str(), 0), S_OK);
    CComPtr<IKivLogSysRoot> root;
    manager->GetRootObject(&root);
    CComPtr<IKivLogSysMethodSet> first;
    CComPtr<IKivLogSysMethodSet> again;
    ASSERT_EQ(root->GetMethodSet(IID_PPV_ARGS(&first)), S_OK);
    ASSERT_EQ(root->GetMethodSet(IID_PPV_ARGS(&again)), S_OK);
    EXPECT_EQ(first.Get(), again.Get());
    LONG count = 0;
    BSTR* names = nullptr;
    ASSERT_EQ(first->GetMethodNames(&count, &names), S_OK);
    EXPECT_EQ(count, 1);
    for (LONG i = 0; i < count; ++i) {
        SysFreeString(names[i]);
    }
    CoTaskMemFree(names);

    CComPtr<IKivLogSysRootEdit> edit;
    root.QueryInterface(&edit);
    ASSERT_EQ(edit->RemoveAllItems(), S_OK);
    CComPtr<IKivLogSysMethodSet> rebuilt;
    ASSERT_EQ(root->GetMethodSet(IID_PPV_ARGS(&rebuilt)), S_OK);
    EXPECT_NE(rebuilt.Get(), first.Get());
    ASSERT_EQ(rebuilt->GetMethodNames(&count, &names), S_OK);
    EXPECT_EQ(count, 0);

    ASSERT_EQ(manager->ClearLogInfo(), S_OK);
    CComPtr<IKivLogSysRoot> fresh;
    ASSERT_EQ(manager->GetRootObject(&fresh), S_OK);
    EXPECT_NE(fresh.Get(), root.Get());
    EXPECT_TRUE(ThreadIds(fresh).empty());
}

TEST(ManagerTest, SecondBackgroundLoadWhileTheFirstRunsEndsWithTheSecondModel)
{
    TempDir dir;
    const auto big = ToUtf16Path(dir.WriteFile("big.log", Trace({1, 2}, 200000)));
    const auto small = ToUtf16Path(dir.WriteFile("small.log", Trace({9}, 10)));
    const auto manager = MakeManager();
    const auto sink = MakeSink();
    manager->SetLoadProgress(sink);
    ASSERT_EQ(manager->LoadLogFile(big.c_str(), 1), S_OK);
    // Waits for the first load inside the call; its last report needs the manager's lock.
    ASSERT_EQ(manager->LoadLogFile(small.c_str(), 1), S_OK);
    ASSERT_TRUE(sink->WaitForEnds(2));
    ASSERT_EQ(manager->WaitWorkThreads(), S_OK);
    EXPECT_EQ(RootThreadIds(manager), (std::vector<DWORD>{9}));
}

TEST(ManagerTest, ReleasingTheManagerDuringALoadLetsTheLoadFinishAndFreesEverything)
{
    TempDir dir;
    const auto path = ToUtf16Path(dir.WriteFile("big.log", Trace({1, 2}, 200000)));
    const auto sink = MakeSink();
    {
        auto manager = MakeManager();
        manager->SetLoadProgress(sink);
        ASSERT_EQ(manager->LoadLogFile(path.c_str(), 1), S_OK);
    } // the caller's last reference goes while the load runs
    ASSERT_TRUE(sink->WaitForEnds(1));
    // The manager lets go of the sink when it is destroyed, after the load.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        sink->AddRef();
        if (sink->Release() == 1) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    sink->AddRef();
    EXPECT_EQ(sink->Release(), 1u) << "the manager was never destroyed";
    EXPECT_EQ(sink->Reports()[sink->Reports().size() - 2], WholeFileReport);
}

TEST(ManagerTest, LoadingAndWaitingFromInsideALoadAreRefused)
{
    // A sink is called on the load's own thread, which cannot wait for itself, nor be replaced
    // while it runs: starting a load or waiting for the worker from there is refused, at any
    // report, and the load goes on to its end.
    TempDir dir;
    const auto path = ToUtf16Path(dir.WriteFile("three.log", Trace({0x30, 0x10, 0x20}, 300)));
    const auto other = ToUtf16Path(dir.WriteFile("other.log", Trace({9}, 5)));
    struct Case {
        const char* what;
        std::function<HRESULT(IKivLogSysMgr*)> call;
    };
    const Case calls[] = {
        {"WaitWorkThreads", [](IKivLogSysMgr* manager) { return manager->WaitWorkThreads(); }},
        {"LoadLogFile in the background", [&](IKivLogSysMgr* manager) { return manager->LoadLogFile(other.c_str(), 1); }},
        {"LoadLogFile at once", [&](IKivLogSysMgr* manager) { return manager->LoadLogFile(other.c_str(), 0); }},
    };
    for (const LONG background : {1, 0}) {
        for (const LONG atKind : {KivLogSysLoadProgress::Start, KivLogSysLoadProgress::Progress,
                                  KivLogSysLoadProgress::Finished}) {
            for (const Case& c : calls) {
                SCOPED_TRACE(std::string(c.what) + (background != 0 ? ", background load" : ", load at once") +
                             ", report kind " + std::to_string(atKind));
                const auto manager = MakeManager();
                const auto sink = MakeSink();
                std::vector<HRESULT> results;
                sink->m_onReport = [&](LONG kind, LONG) {
                    if (kind == atKind && results.empty()) {
                        results.push_back(c.call(manager));
                    }
                };
                manager->SetLoadProgress(sink);
                ASSERT_EQ(manager->LoadLogFile(path.c_str(), background), S_OK);
                ASSERT_TRUE(sink->WaitForEnds(1));
                ASSERT_EQ(manager->WaitWorkThreads(), S_OK);
                EXPECT_EQ(results, std::vector<HRESULT>{E_ILLEGAL_METHOD_CALL});
                EXPECT_EQ(sink->Reports().back(), EndReport);
                EXPECT_EQ(RootThreadIds(manager), (std::vector<DWORD>{0x30, 0x10, 0x20}));
            }
        }
    }
}

TEST(ManagerTest, SeveralThreadsMayWaitForOneLoad)
{
    TempDir dir;
    const auto path = ToUtf16Path(dir.WriteFile("two.log", Trace({1, 2}, 3000)));
    auto manager = MakeManager();
    const auto sink = MakeSink();
    CGate held;
    CGate goOn;
    sink->m_onReport = [&](LONG kind, LONG) {
        if (kind == KivLogSysLoadProgress::Start) {
            held.Open();
            goOn.Wait();
        }
    };
    manager->SetLoadProgress(sink);
    ASSERT_EQ(manager->LoadLogFile(path.c_str(), 1), S_OK);
    ASSERT_TRUE(held.Wait());

    constexpr int Waiters = 3;
    std::atomic<int> calling{0};
    std::atomic<int> returned{0};
    CGate allReturned;
    std::vector<HRESULT> results(Waiters, E_UNEXPECTED);
    std::vector<std::thread> waiters;
    for (int i = 0; i < Waiters; ++i) {
        waiters.emplace_back([&, i] {
            ++calling;
            results[static_cast<std::size_t>(i)] = manager->WaitWorkThreads();
            if (++returned == Waiters) {
                allReturned.Open();
            }
        });
    }
    while (calling < Waiters) {
        std::this_thread::yield();
    }
    // Gives the waiters time to reach their wait for the worker, so that they wait together;
    // the outcome does not depend on it.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    goOn.Open();
    if (!allReturned.Wait()) {
        // Waiters stuck in the manager keep it and themselves: nothing may be freed under them.
        for (std::thread& waiter : waiters) {
            waiter.detach();
        }
        manager.Detach();
        FAIL() << "a waiter never returned";
    }
    for (std::thread& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(results, std::vector<HRESULT>(Waiters, S_OK));
    EXPECT_EQ(sink->Reports().back(), EndReport);
    EXPECT_EQ(RootThreadIds(manager), (std::vector<DWORD>{1, 2}));
}

// A trace of calls nested two deep on four threads, line by line in turn, so that every method
// is called by several threads and its calls reach the index out of line order.
std::string NestedCallsTrace(int callsPerThread)
{
    constexpr DWORD Threads = 4;
    constexpr const char* Indent = "\x84\xA0";
    constexpr const char* Entry = "\x84\xA1";
    constexpr const char* Exit = "\x84\xA4";
    std::string text;
    for (int call = 0; call < callsPerThread; ++call) {
        const std::string outer = " CFoo::Outer" + std::to_string(call % 7) + "()";
        const std::string inner = " CBar::Inner" + std::to_string(call % 5) + "()";
        const std::string steps[] = {std::string(Entry) + outer, std::string(Indent) + Entry + inner,
                                     std::string(Indent) + Indent + " message", std::string(Indent) + Exit + inner,
                                     std::string(Exit) + outer};
        for (const std::string& step : steps) {
            for (DWORD thread = 1; thread <= Threads; ++thread) {
                char header[64];
                std::snprintf(header, sizeof header, "[%08X][2026/12/09(10:00:00.000)]", thread);
                text += header + step + "\r\n";
            }
        }
    }
    return text;
}

void DescribeTree(Kiv::IKivListItem* folder, std::string& out)
{
    LONG count = 0;
    folder->GetChildCount(&count);
    for (LONG i = 0; i < count; ++i) {
        CComPtr<Kiv::IKivListItem> child;
        folder->GetChildItem(i, IID_PPV_ARGS(&child));
        CComPtr<IKivLogSysLine> line;
        child.QueryInterface(&line);
        const KivLogSysLineInfo* info = nullptr;
        line->GetLineInfo(&info);
        out += std::to_string(info->lineNumber) + "(";
        DescribeTree(child, out);
        out += ")";
    }
}

// Everything a reader can ask of a loaded model but the threads' flat lists, as text.
std::string DescribeModel(IKivLogSysRoot* root)
{
    std::string out;
    const std::vector<DWORD> threadIds = ThreadIds(root);
    for (DWORD id : threadIds) {
        CComPtr<IKivLogSysThread> thread;
        CComPtr<Kiv::IKivListItem> rootItem;
        root->QueryInterface(IID_PPV_ARGS(&rootItem));
        LONG count = 0;
        rootItem->GetChildCount(&count);
        for (LONG i = 0; i < count && !thread; ++i) {
            CComPtr<IKivLogSysThread> candidate;
            rootItem->GetChildItem(i, IID_PPV_ARGS(&candidate));
            DWORD candidateId = 0;
            candidate->GetThreadId(&candidateId);
            if (candidateId == id) {
                thread = candidate;
            }
        }
        out += "thread " + std::to_string(id) + ": ";
        CComPtr<Kiv::IKivListItem> folder;
        thread.QueryInterface(&folder);
        DescribeTree(folder, out);
        out += "\n";
    }
    CComPtr<IKivLogSysMethodSet> set;
    if (FAILED(root->GetMethodSet(IID_PPV_ARGS(&set)))) {
        return out + "no method set";
    }
    LONG nameCount = 0;
    BSTR* names = nullptr;
    set->GetMethodNames(&nameCount, &names);
    for (LONG n = 0; n < nameCount; ++n) {
        CComPtr<IKivLogSysMethodInfo> info;
        set->GetMethodInfo(names[n], IID_PPV_ARGS(&info));
        out += "method " + std::to_string(n) + ":";
        LONG calls = 0;
        info->GetLineCount(&calls);
        for (LONG c = 0; c < calls; ++c) {
            CComPtr<IKivLogSysBlock> call;
            info->GetLineInfo(c, IID_PPV_ARGS(&call));
            const KivLogSysLineInfo* entry = nullptr;
            call->GetLineInfo(&entry);
            out += " " + std::to_string(entry->lineNumber);
        }
        LONG threads = 0;
        info->GetRefThreadCount(&threads);
        out += " threads";
        for (LONG t = 0; t < threads; ++t) {
            CComPtr<IKivLogSysThread> thread;
            info->GetRefThread(t, IID_PPV_ARGS(&thread));
            DWORD id = 0;
            thread->GetThreadId(&id);
            out += " " + std::to_string(id);
        }
        for (DWORD id : threadIds) {
            LONG ofThread = 0;
            info->GetThreadLineCount(id, &ofThread);
            out += " [" + std::to_string(id) + ":";
            for (LONG c = 0; c < ofThread; ++c) {
                CComPtr<IKivLogSysLine> call;
                info->GetThraedLine(id, c, IID_PPV_ARGS(&call));
                const KivLogSysLineInfo* entry = nullptr;
                call->GetLineInfo(&entry);
                out += " " + std::to_string(entry->lineNumber);
            }
            out += "]";
        }
        out += "\n";
        SysFreeString(names[n]);
    }
    CoTaskMemFree(names);
    CComPtr<IKivLogSysNameSpace> nameSpaces;
    set->GetNameSpaceRoot(&nameSpaces);
    CComPtr<Kiv::IKivListItem> nameSpaceItem;
    nameSpaces.QueryInterface(&nameSpaceItem);
    LONG namespaceCount = 0;
    nameSpaceItem->GetChildCount(&namespaceCount);
    out += "namespaces " + std::to_string(namespaceCount);
    return out;
}

TEST(ManagerTest, SeveralThreadsReadOneLoadedModelAtOnce)
{
    TempDir dir;
    const auto path = ToUtf16Path(dir.WriteFile("nested.log", NestedCallsTrace(2000)));
    // What one reader alone sees, from a model of its own.
    const auto alone = MakeManager();
    ASSERT_EQ(alone->LoadLogFile(path.c_str(), 0), S_OK);
    CComPtr<IKivLogSysRoot> aloneRoot;
    ASSERT_EQ(alone->GetRootObject(&aloneRoot), S_OK);
    const std::string expected = DescribeModel(aloneRoot);
    ASSERT_NE(expected.find("namespaces 2"), std::string::npos) << expected.substr(0, 200);

    // Several readers at once on one model, from its first request of the method index on.
    constexpr int Readers = 4;
    const auto shared = MakeManager();
    ASSERT_EQ(shared->LoadLogFile(path.c_str(), 0), S_OK);
    CComPtr<IKivLogSysRoot> root;
    ASSERT_EQ(shared->GetRootObject(&root), S_OK);
    std::atomic<int> ready{0};
    CGate go;
    std::vector<std::string> seen(Readers);
    std::vector<CComPtr<IKivLogSysMethodSet>> sets(Readers);
    std::vector<std::thread> readers;
    for (int i = 0; i < Readers; ++i) {
        readers.emplace_back([&, i] {
            ++ready;
            go.Wait();
            const auto reader = static_cast<std::size_t>(i);
            root->GetMethodSet(IID_PPV_ARGS(&sets[reader]));
            seen[reader] = DescribeModel(root);
        });
    }
    while (ready < Readers) {
        std::this_thread::yield();
    }
    go.Open();
    for (std::thread& reader : readers) {
        reader.join();
    }
    for (int i = 0; i < Readers; ++i) {
        const auto reader = static_cast<std::size_t>(i);
        EXPECT_TRUE(seen[reader] == expected) << "reader " << i;
        EXPECT_EQ(sets[reader].Get(), sets[0].Get()) << "the method index is built once, reader " << i;
    }
}

} // namespace
