// A service program for the service tests: runs one service ("KivTestService") or two
// ("KivTestServiceA", "KivTestServiceB" with the argument "two") through KivCommon's dispatcher and
// writes what happens to standard output, one line per event, for the test to read:
//   run <name>                       Run has started
//   control <code> <name> <thread>   a control arrived; thread is "dispatcher" when it came on
//                                    the thread that called Dispatch, else "other"
//   dispatch <status>                Dispatch has returned with this status (hexadecimal)
// A service's Run returns when its service is asked to stop.
#include "KivCommon/KivNTService.h"

#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::thread::id g_dispatcherThread;
std::mutex g_outputLock;

void Say(const std::string& line)
{
    const std::lock_guard lock(g_outputLock);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

class CTestService : public Kiv::CKivNTService {
public:
    explicit CTestService(std::string name) : m_name(std::move(name)) {}

    HRESULT Run() override
    {
        Kiv::CKivNTService::Run();
        Say("run " + m_name);
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [this] { return m_stopRequested; });
        return S_OK;
    }
    DWORD Handler(DWORD control, DWORD eventType, void* eventData) override
    {
        const bool onDispatcher = std::this_thread::get_id() == g_dispatcherThread;
        Say("control " + std::to_string(control) + " " + m_name + (onDispatcher ? " dispatcher" : " other"));
        return Kiv::CKivNTService::Handler(control, eventType, eventData);
    }
    DWORD FillStatus(Kiv::SERVICE_STATUS* status) override
    {
        status->dwServiceType = Kiv::SERVICE_WIN32_OWN_PROCESS;
        status->dwControlsAccepted = Kiv::SERVICE_ACCEPT_STOP | Kiv::SERVICE_ACCEPT_PARAMCHANGE;
        return 0;
    }
    DWORD OnStop() override
    {
        {
            const std::lock_guard lock(m_lock);
            m_stopRequested = true;
        }
        m_changed.notify_all();
        return 0;
    }

    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {Kiv::IKivNTService::Iid, this}}, riid, ppv);
    }

private:
    std::string m_name;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_stopRequested = false;
};

} // namespace

int main(int argc, char** argv)
{
    g_dispatcherThread = std::this_thread::get_id();
    const bool two = argc > 1 && std::strcmp(argv[1], "two") == 0;
    Kiv::CKivObject<CTestService> single("KivTestService");
    Kiv::CKivObject<CTestService> first("KivTestServiceA");
    Kiv::CKivObject<CTestService> second("KivTestServiceB");
    Kiv::IKivNTServiceDispatcher* dispatcher = Kiv::GetNTServiceUtil()->GetDispatcher();
    if (two) {
        dispatcher->Register(u"KivTestServiceA", &first);
        dispatcher->Register(u"KivTestServiceB", &second);
    } else {
        dispatcher->Register(u"KivTestService", &single);
    }
    const HRESULT hr = dispatcher->Dispatch();
    char text[32];
    std::snprintf(text, sizeof text, "dispatch 0x%08X", static_cast<unsigned>(hr));
    Say(text);
    return SUCCEEDED(hr) ? 0 : 1;
}
