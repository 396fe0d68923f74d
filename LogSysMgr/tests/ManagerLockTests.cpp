// The manager's lock and the slow parts of a load: opening a file (which reads all of it) and
// reading it into a model at once run without the lock, so that the manager's other calls go on
// from other threads meanwhile.
#include "CKivLogSysMgrImp.h"

#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "KivTestSupport/TempDir.h"

#include "ModelQueries.h"
#include "TestGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using Kiv::CComPtr;
using KivTest::RootThreadIds;
using KivTest::CGate;
using KivTest::TempDir;
using KivTest::ToUtf16Path;

namespace {

// Where a load is held while the other calls are made.
enum class HoldAt { Opening, Reading };

// A manager whose opening of one path waits at a gate, as on a slow disk.
class CSlowOpenManager : public CKivLogSysMgrImp {
public:
    std::u16string m_slowPath;
    CGate m_held;
    CGate m_goOn;

protected:
    HRESULT OpenLogFile(LPCWSTR path, std::unique_ptr<CKivLogSysFile>& file) override
    {
        if (m_slowPath == path) {
            m_held.Open();
            m_goOn.Wait();
        }
        return CKivLogSysMgrImp::OpenLogFile(path, file);
    }
};

// A sink that, once armed, holds the next report it gets at the manager's gates.
class CHoldingSink : public IKivLogSysMgr_LoadProgress {
public:
    virtual ~CHoldingSink() = default;

    HRESULT OnKivLogSysMgr_LoadProgress(LONG, LONG) override
    {
        if (m_armed.exchange(false)) {
            m_manager->m_held.Open();
            m_manager->m_goOn.Wait();
        }
        return S_OK;
    }
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {IKivLogSysMgr_LoadProgress::Iid, this}}, riid, ppv);
    }

    CSlowOpenManager* m_manager = nullptr;
    std::atomic<bool> m_armed{false};
};

std::string Trace(DWORD threadId, int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i) {
        char header[64];
        std::snprintf(header, sizeof header, "[%08X][2026/12/09(10:00:00.000)]", threadId);
        text += std::string(header) + " line " + std::to_string(i) + "\r\n";
    }
    return text;
}

TEST(ManagerLockTest, OtherCallsGoOnWhileALoadOpensOrReadsItsFile)
{
    struct Case {
        const char* what;
        HoldAt holdAt;
        LONG background;
    };
    const Case cases[] = {
        {"opening, to load at once", HoldAt::Opening, 0},
        {"opening, to load in the background", HoldAt::Opening, 1},
        {"reading at once", HoldAt::Reading, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::u16string slow = ToUtf16Path(dir.WriteFile("slow.log", Trace(0x51, 20)));
        const std::u16string other = ToUtf16Path(dir.WriteFile("other.log", Trace(0x07, 5)));
        CComPtr<Kiv::CKivObject<CSlowOpenManager>> manager(Kiv::CKivObject<CSlowOpenManager>::CreateObject());
        CComPtr<Kiv::CKivObject<CHoldingSink>> sink(Kiv::CKivObject<CHoldingSink>::CreateObject());
        sink->m_manager = manager;
        if (c.holdAt == HoldAt::Opening) {
            manager->m_slowPath = slow;
        } else {
            sink->m_armed = true; // holds the start of the load
        }
        ASSERT_EQ(manager->SetLoadProgress(sink), S_OK);

        HRESULT slowLoad = E_UNEXPECTED;
        std::thread loader([&] { slowLoad = manager->LoadLogFile(slow.c_str(), c.background); });
        ASSERT_TRUE(manager->m_held.Wait());

        // Every other call of the manager, from another thread, while the load is held.
        CGate returned;
        std::thread caller([&] {
            CComPtr<IKivLogSysRoot> root;
            EXPECT_EQ(manager->GetRootObject(&root), S_OK);
            EXPECT_EQ(manager->StopLoadLog(), S_OK);
            EXPECT_EQ(manager->ClearLogInfo(), S_OK);
            EXPECT_EQ(manager->SetLoadProgress(sink), S_OK);
            EXPECT_EQ(manager->LoadLogFile(other.c_str(), 0), S_OK);
            EXPECT_EQ(RootThreadIds(manager), std::vector<DWORD>{0x07});
            EXPECT_EQ(manager->WaitWorkThreads(), S_OK);
            returned.Open();
        });
        EXPECT_TRUE(returned.Wait()) << "a call waited for the held load";

        manager->m_goOn.Open();
        loader.join();
        caller.join();
        EXPECT_EQ(slowLoad, S_OK);
        EXPECT_EQ(manager->WaitWorkThreads(), S_OK);
        // The held load ended last, so its model is the manager's.
        EXPECT_EQ(RootThreadIds(manager), std::vector<DWORD>{0x51});
    }
}

} // namespace
