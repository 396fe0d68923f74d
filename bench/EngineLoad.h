// Loading a trace file through the engine's export, the way its callers do (a background load,
// progress to a sink, then the method index on first use), with what each step cost in time and
// resident memory. Header-only; one load at a time per manager. The sink is called on the
// engine's loading thread, everything else runs on the caller's.
#pragma once

#include "BaselineRead.h"

#include "KivLogSysMgr/KivLogSysMgr.h"

#include "KivObject/ComPtr.h"
#include "KivObject/KivObject.h"
#include "KivObject/MakeObject.h"

#include "KivTestSupport/LoadWaitSink.h"

#include "KivPlatform/Memory.h"
#include "KivPlatform/ModulePath.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace KivBench {

// One file loaded through the export, and what it cost. The model stays alive with the object.
struct EngineLoad {
    Kiv::CComPtr<IKivLogSysMgr> manager;
    Kiv::CComPtr<IKivLogSysRoot> root;
    Kiv::CComPtr<IKivLogSysMethodSet> methodSet;
    double loadSeconds = 0;
    double methodSetSeconds = 0;
    // Processor time of the whole process in the same spans.
    double loadCpuSeconds = 0;
    double methodSetCpuSeconds = 0;
    // Resident memory gained by the load (the file's text included) and by the first method set.
    double loadResidentGrowth = 0;
    double methodSetResidentGrowth = 0;

    // Loads path to its end; false (with a message on standard error) when the engine refuses
    // the file or the load stops early.
    bool Load(const std::string& path)
    {
        const auto sink = Kiv::MakeObject<Kiv::CKivObject<KivTest::CLoadWaitSink>>();
        if (FAILED(CKivLogSysMgr::CreateLogSysMgr(&manager)) || FAILED(manager->SetLoadProgress(sink))) {
            std::fputs("the engine cannot be created\n", stderr);
            return false;
        }
        const std::u16string enginePath = Kiv::Platform::FromSystemPath(path);
        const auto residentBefore = static_cast<double>(Kiv::Platform::ResidentBytes());
        bool completed = false;
        HRESULT started = E_FAIL;
        const Timing timing = TimeWithCpu([&] {
            started = manager->LoadLogFile(enginePath.c_str(), 1);
            if (SUCCEEDED(started)) {
                completed = sink->WaitForEnds(1, std::chrono::hours(1)) && sink->LastLoadReadWholeFile();
                manager->WaitWorkThreads();
            }
        });
        loadSeconds = timing.seconds;
        loadCpuSeconds = timing.cpuSeconds;
        loadResidentGrowth = static_cast<double>(Kiv::Platform::ResidentBytes()) - residentBefore;
        manager->SetLoadProgress(nullptr);
        if (FAILED(started) || !completed || FAILED(manager->GetRootObject(&root))) {
            std::fprintf(stderr, "%s: the engine refused the file or stopped early\n", path.c_str());
            return false;
        }
        return true;
    }

    // The first method set of the loaded model; false when it cannot be built.
    bool BuildMethodSet()
    {
        const auto residentBefore = static_cast<double>(Kiv::Platform::ResidentBytes());
        HRESULT built = E_FAIL;
        const Timing timing = TimeWithCpu([&] { built = root->GetMethodSet(IID_PPV_ARGS(&methodSet)); });
        methodSetSeconds = timing.seconds;
        methodSetCpuSeconds = timing.cpuSeconds;
        methodSetResidentGrowth = static_cast<double>(Kiv::Platform::ResidentBytes()) - residentBefore;
        if (FAILED(built)) {
            std::fputs("the method set cannot be built\n", stderr);
            return false;
        }
        return true;
    }
};

} // namespace KivBench
