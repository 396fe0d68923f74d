// CKivNTServiceDispatcher: runs the registered services, each on its own thread, and hands the
// controls that signals bring to their handlers on the dispatching thread.
#include "CKivNTServiceDispatcher.h"

#include "KivServiceUnit.h"

#include "KivObject/InterfaceMap.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/ServiceNotify.h"
#include "KivPlatform/ServiceSignals.h"
#include "KivPlatform/Threading.h"

#include <atomic>
#include <list>
#include <mutex>
#include <thread>

namespace Kiv {

namespace {

// What the services of one Dispatch share: where status goes, and how many have become ready.
// The count and the message it decides are sent under one lock, so the manager hears the
// statuses in the order they were counted and "ready" comes with the last service to run.
struct DispatchShared {
    Platform::ServiceNotifier notifier;
    std::size_t serviceCount = 0;
    std::mutex statusLock;
    std::size_t runningCount = 0;
};

// One service while it runs: its status target, its thread and whether its service main has
// ended.
class CRunningService : public KivServiceStatusTarget {
public:
    CRunningService(const std::u16string& name, IKivNTService* service, DispatchShared& shared)
        : m_name(name), m_service(service), m_shared(shared)
    {
    }
    CRunningService(const CRunningService&) = delete;
    CRunningService& operator=(const CRunningService&) = delete;
    ~CRunningService()
    {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    BOOL SetStatus(const SERVICE_STATUS& status) override
    {
        // The process is ready when every one of its services has come to run once.
        const std::lock_guard lock(m_shared.statusLock);
        bool allRunning = false;
        if (status.dwCurrentState == SERVICE_RUNNING) {
            if (!m_reportedRunning) {
                m_reportedRunning = true;
                ++m_shared.runningCount;
            }
            allRunning = m_shared.runningCount == m_shared.serviceCount;
        }
        const std::string message = NotifyMessageOfStatus(m_name, status, allRunning);
        if (message.empty()) {
            return FALSE;
        }
        return m_shared.notifier.Send(message) ? TRUE : FALSE;
    }

    // The service main: Init, Run when Init succeeded, and Exit in any case. Then the dispatcher
    // is woken to see that this service has ended.
    HRESULT Start(Platform::ServiceSignalChannel& channel)
    {
        return Platform::StartThread(m_thread, [this, &channel] {
            Platform::StatusFromExceptions([this] {
                if (SUCCEEDED(m_service->Init(this))) {
                    m_service->Run();
                }
                m_service->Exit();
            });
            m_ended.store(true);
            channel.Wake();
        });
    }

    bool HasEnded() const { return m_ended.load(); }
    void MarkEnded() { m_ended.store(true); }

    void Control(DWORD control)
    {
        if (!HasEnded()) {
            Platform::StatusFromExceptions([&] { m_service->Handler(control, 0, nullptr); });
        }
    }

private:
    std::u16string m_name;
    IKivNTService* m_service;
    DispatchShared& m_shared;
    std::thread m_thread;
    std::atomic<bool> m_ended{false};
    // Whether this service has been counted as running; guarded by the shared status lock.
    bool m_reportedRunning = false;
};

} // namespace

HRESULT CKivNTServiceDispatcher::Register(LPCWSTR name, IKivNTService* service)
{
    if (name == nullptr || service == nullptr) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&] { m_services.insert_or_assign(std::u16string(name), service); });
}

HRESULT CKivNTServiceDispatcher::Dispatch()
{
    if (m_services.empty()) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    }
    Platform::ServiceSignalChannel channel;
    if (const DWORD error = channel.Open(); error != 0) {
        return HRESULT_FROM_WIN32(static_cast<LONG>(error));
    }
    return Platform::StatusFromExceptions([&] {
        DispatchShared shared;
        shared.serviceCount = m_services.size();
        // Declared after the channel and the shared part, so that the threads are joined before
        // either goes.
        std::list<CRunningService> running;
        for (const auto& [name, service] : m_services) {
            running.emplace_back(name, service, shared);
        }
        HRESULT result = S_OK;
        for (CRunningService& service : running) {
            if (const HRESULT started = service.Start(channel); FAILED(started)) {
                service.MarkEnded();
                result = started;
            }
        }
        for (;;) {
            bool allEnded = true;
            for (const CRunningService& service : running) {
                allEnded = allEnded && service.HasEnded();
            }
            if (allEnded) {
                break;
            }
            const Platform::ServiceEvent event = channel.Wait();
            if (event == Platform::ServiceEvent::Wake) {
                continue;
            }
            const DWORD control =
                event == Platform::ServiceEvent::Stop ? SERVICE_CONTROL_STOP : SERVICE_CONTROL_PARAMCHANGE;
            for (CRunningService& service : running) {
                service.Control(control);
            }
        }
        return result;
    });
}

HRESULT CKivNTServiceDispatcher::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivNTServiceDispatcher::Iid, this}}, riid, ppv);
}

} // namespace Kiv
