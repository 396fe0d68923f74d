// Tests of thread identity, of the critical section and of starting a thread without exceptions.
#include "KivPlatform/Threading.h"

#include "KivTestSupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using Kiv::Platform::CriticalSection;
using Kiv::Platform::StartThread;

TEST(ThreadingTest, ThreadIdsAreStablePerThreadAndDistinctAcrossThreads)
{
    const DWORD mainId = GetCurrentThreadId();
    EXPECT_NE(mainId, 0u);
    EXPECT_EQ(GetCurrentThreadId(), mainId);

    // Both threads are alive at once, so the kernel cannot have reused one id for the other.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto idOf = [released] {
        const DWORD first = GetCurrentThreadId();
        released.wait();
        return GetCurrentThreadId() == first ? first : 0u;
    };
    std::future<DWORD> a = std::async(std::launch::async, idOf);
    std::future<DWORD> b = std::async(std::launch::async, idOf);
    release.set_value();
    const DWORD idA = a.get();
    const DWORD idB = b.get();
    EXPECT_NE(idA, 0u);
    EXPECT_NE(idB, 0u);
    EXPECT_NE(idA, idB);
    EXPECT_NE(idA, mainId);
    EXPECT_NE(idB, mainId);
}

TEST(ThreadingTest, CriticalSectionIsReentrantForItsOwner)
{
    CriticalSection section;
    section.Enter();
    EXPECT_TRUE(section.TryEnter());
    {
        const std::lock_guard<CriticalSection> again(section);
    }
    section.Leave();
    section.Leave();
    // Fully released: another thread can take it now.
    EXPECT_TRUE(std::async(std::launch::async, [&section] {
                    const bool entered = section.TryEnter();
                    if (entered) {
                        section.Leave();
                    }
                    return entered;
                }).get());
}

TEST(ThreadingTest, CriticalSectionExcludesOtherThreads)
{
    CriticalSection section;
    std::mutex stateMutex;
    std::condition_variable changed;
    bool ownerHolds = false;
    bool ownerMayLeave = false;

    std::thread owner([&] {
        const std::lock_guard<CriticalSection> held(section);
        std::unique_lock<std::mutex> state(stateMutex);
        ownerHolds = true;
        changed.notify_all();
        changed.wait(state, [&] { return ownerMayLeave; });
    });

    {
        std::unique_lock<std::mutex> state(stateMutex);
        changed.wait(state, [&] { return ownerHolds; });
    }
    EXPECT_FALSE(section.TryEnter());
    {
        const std::lock_guard<std::mutex> state(stateMutex);
        ownerMayLeave = true;
    }
    changed.notify_all();
    // Blocks until the owner has left, then succeeds.
    section.Enter();
    section.Leave();
    owner.join();
}

TEST(ThreadingTest, StartThreadRunsTheBodyOnANewThread)
{
    std::thread thread;
    DWORD bodyThreadId = 0;
    ASSERT_EQ(StartThread(thread, [&bodyThreadId] { bodyThreadId = GetCurrentThreadId(); }), S_OK);
    ASSERT_TRUE(thread.joinable());
    thread.join();
    EXPECT_NE(bodyThreadId, 0u);
    EXPECT_NE(bodyThreadId, GetCurrentThreadId());
}

TEST(ThreadingTest, StartThreadSaysSoWhenNoThreadCanBeHad)
{
    // A child process that may not have another thread (root is not held to the limit, so the
    // child gives root up first) reports what StartThread did.
    const int exitStatus = KivTest::RunInChild([] {
        constexpr uid_t nobody = 65534;
        const rlimit noThreads{0, 0};
        if ((::geteuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) ||
            ::setrlimit(RLIMIT_NPROC, &noThreads) != 0) {
            return 2;
        }
        std::thread thread;
        bool ran = false;
        const bool started = SUCCEEDED(StartThread(thread, [&ran] { ran = true; }));
        if (thread.joinable()) {
            thread.join();
        }
        return !started && !ran ? 0 : 1;
    });
    EXPECT_EQ(exitStatus, 0)
        << "1: a thread was started or the body ran; 2: the limit could not be set; -1: the child did not exit";
}

} // namespace
