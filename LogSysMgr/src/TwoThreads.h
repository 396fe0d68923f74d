// OnTwoThreads: runs two halves of a job side by side, the second on a helper thread when one can
// be had (here, one after the other, when not). The engine's long one-off jobs on large traces
// (collecting every call, listing every method name) split this way over the two processors a
// user's machine has at least. Header-only, no state.
#pragma once

#include "KivPlatform/Threading.h"

#include <cstddef>
#include <thread>

namespace Kiv::LogSysMgr {

// Calls work(0) on this thread and work(1) on a helper and returns when both have returned. work
// must not throw. Without a helper, work(0) runs before work(1), so a second half that waits for
// what the first one hands it still finishes.
template <class Work>
void OnTwoThreads(Work&& work) noexcept
{
    std::thread helper;
    const bool helped = SUCCEEDED(Kiv::Platform::StartThread(helper, [&work] { work(1); }));
    work(0);
    if (helped) {
        helper.join();
    } else {
        work(1);
    }
}

// Calls work(first, last) for the two halves of [0, count), side by side as OnTwoThreads does; a
// count too small to be worth a thread is done here, half after half.
template <class Work>
void OnTwoHalves(std::size_t count, Work&& work) noexcept
{
    constexpr std::size_t WorthAThread = 16 * 1024;
    const std::size_t middle = count / 2;
    if (count < WorthAThread) {
        work(std::size_t{0}, middle);
        work(middle, count);
        return;
    }
    OnTwoThreads([&](std::size_t half) { half == 0 ? work(std::size_t{0}, middle) : work(middle, count); });
}

} // namespace Kiv::LogSysMgr
