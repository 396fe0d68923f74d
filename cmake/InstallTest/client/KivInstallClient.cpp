// A small program built against the installed Kiv package, as a user builds one: it traces a
// few calls with Kiv::Log (settings file given on the command line), then loads the trace it
// wrote with the engine (libKivLogSysMgr) and checks the model: one thread with every traced
// line, the two traced methods, and the number of calls of each. Exit status 0 when everything is as expected.
// Single-threaded.
#include "KivLog/TraceScope.h"
#include "KivLogSysMgr/KivLogSysMgr.h"
#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"
#include "KivPlatform/ModulePath.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using Kiv::CComBSTR;
using Kiv::CComPtr;

namespace {

std::unique_ptr<Kiv::Log::CModuleLog> g_log;

constexpr LONG Level = 1;
constexpr int InnerCalls = 3;
// Outer's entry and exit, and per call of Inner its entry, its message and its exit.
constexpr int TraceLines = 2 + 3 * InnerCalls;

HRESULT Inner(int i)
{
    HRESULT hr = E_FAIL;
    KIV_TRACE_SCOPE(*g_log, u"Client", Level, u"Client::Inner", &hr);
    KIV_TRACE(*g_log, u"Client", Level, u"i = %d", i);
    hr = S_OK;
    return hr;
}

void Outer()
{
    KIV_TRACE_SCOPE(*g_log, u"Client", Level, u"Client::Outer");
    for (int i = 0; i < InnerCalls; ++i) {
        Inner(i);
    }
}

// Calls recorded for one method of the model (named as the engine names them: the text of the
// entry line after its marker); -1 when the method is not there.
LONG CallCount(IKivLogSysMethodSet* methods, const char16_t* name)
{
    CComBSTR wanted(name);
    CComPtr<IKivLogSysMethodInfo> method;
    LONG count = -1;
    if (SUCCEEDED(methods->GetMethodInfo(wanted, IID_PPV_ARGS(&method))) && method &&
        FAILED(method->GetLineCount(&count))) {
        count = -1;
    }
    return count;
}

bool Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "KivInstallClient: %s\n", what);
    }
    return condition;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: KivInstallClient SETTINGS TRACE-FOLDER\n", stderr);
        return 2;
    }
    const std::filesystem::path folder = argv[2];
    g_log = Kiv::Log::StartModuleLog(u"KivInstallClient", Kiv::Platform::FromSystemPath(argv[1]),
                                     Kiv::Platform::FromSystemPath((folder / "errors.log").native()));
    if (!Check(g_log->IsEnabled(), "the settings enable no tracing")) {
        return 1;
    }
    Outer();

    std::vector<std::filesystem::path> traces;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".log" && entry.path().filename() != "errors.log") {
            traces.push_back(entry.path());
        }
    }
    if (!Check(traces.size() == 1, "expected exactly one trace file")) {
        return 1;
    }

    CComPtr<IKivLogSysMgr> manager;
    CComPtr<IKivLogSysRoot> root;
    CComPtr<IKivLogSysMethodSet> methods;
    if (!Check(SUCCEEDED(CKivLogSysMgr::CreateLogSysMgr(&manager)), "the engine could not be created") ||
        !Check(SUCCEEDED(manager->LoadLogFile(Kiv::Platform::FromSystemPath(traces[0].native()).c_str(), 0)),
               "the trace could not be loaded") ||
        !Check(SUCCEEDED(manager->GetRootObject(&root)) && root, "no model") ||
        !Check(SUCCEEDED(root->GetMethodSet(IID_PPV_ARGS(&methods))) && methods, "no method set")) {
        return 1;
    }
    CComPtr<Kiv::IKivListItem> threads;
    LONG threadCount = 0;
    LONG lineCount = 0;
    if (SUCCEEDED(root->QueryInterface(IID_PPV_ARGS(&threads))) && SUCCEEDED(threads->GetChildCount(&threadCount)) &&
        threadCount > 0) {
        CComPtr<Kiv::IKivListAccess> lines;
        if (SUCCEEDED(threads->GetChildItem(0, IID_PPV_ARGS(&lines))) && lines) {
            lines->GetListItemCount(&lineCount);
        }
    }
    const LONG outerCalls = CallCount(methods, u" Client::Outer()");
    const LONG innerCalls = CallCount(methods, u" Client::Inner()");
    std::printf("threads %ld, lines %ld, Client::Outer %ld calls, Client::Inner %ld calls\n",
                static_cast<long>(threadCount), static_cast<long>(lineCount), static_cast<long>(outerCalls),
                static_cast<long>(innerCalls));
    // "&", not "&&": every failed check is reported.
    const bool ok = Check(threadCount == 1, "expected one thread") &
                    Check(lineCount == TraceLines, "expected every traced line in the thread") &
                    Check(outerCalls == 1, "expected one call of Client::Outer") &
                    Check(innerCalls == InnerCalls, "expected three calls of Client::Inner");
    return ok ? 0 : 1;
}
