#include "CKivLogSysMgrImp.h"

#include "CKivLogSysFactory.h"
#include "EngineLog.h"

#include "KivObject/InterfaceMap.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/Threading.h"

#include <mutex>
#include <utility>

using Kiv::CComPtr;

namespace {

constexpr LPCWSTR Subject = u"CKivLogSysMgrImp";
constexpr LPCWSTR ThreadSubject = u"CLoadLogThread";

// The load that runs on the calling thread, if any: the progress part it reports to, and the
// root it fills, which becomes that manager's model at the load's last report.
struct RunningLoad {
    const IKivLogSysMgr_LoadProgress* reportsTo;
    IKivLogSysRoot* root;
};
thread_local const RunningLoad* t_runningLoad = nullptr;

// Marks the calling thread as running a load while it lives.
class CRunningLoadScope {
public:
    CRunningLoadScope(const IKivLogSysMgr_LoadProgress* reportsTo, IKivLogSysRoot* root) noexcept
        : m_load{reportsTo, root}, m_outer(std::exchange(t_runningLoad, &m_load))
    {
    }
    ~CRunningLoadScope() { t_runningLoad = m_outer; }
    CRunningLoadScope(const CRunningLoadScope&) = delete;
    CRunningLoadScope& operator=(const CRunningLoadScope&) = delete;

private:
    const RunningLoad m_load;
    const RunningLoad* const m_outer;
};

} // namespace

CKivLogSysMgrImp::CLoadLogThread::CLoadLogThread(CKivLogSysFile* file, IKivLogSysRoot* root,
                                                 IKivLogSysMgr_LoadProgress* sink)
    : m_file(file), m_root(root), m_sink(sink)
{
}

CKivLogSysMgrImp::CLoadLogThread::~CLoadLogThread()
{
    WaitEnd();
    // Still joinable only when the thread itself let go of this object last, as it ended.
    Kiv::Platform::StatusFromExceptions([this] {
        if (m_thread.joinable()) {
            m_thread.detach();
        }
    });
}

HRESULT CKivLogSysMgrImp::CLoadLogThread::DoStart()
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::CLoadLogThread::DoStart", hr, E_FAIL);
    // The thread holds this object until its last step, so that it is never freed under it.
    hr = Kiv::Platform::StartThread(m_thread, [self = shared_from_this()] { self->ThreadMain(); });
    if (FAILED(hr)) {
        KIV_ENGINE_TRACE(ThreadSubject, u"Error CreateThread!");
    }
    return hr;
}

void CKivLogSysMgrImp::CLoadLogThread::DoStop()
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::CLoadLogThread::DoStop");
    if (m_file != nullptr) {
        m_file->RequestStop();
    }
}

void CKivLogSysMgrImp::CLoadLogThread::WaitEnd() noexcept
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::CLoadLogThread::WaitEnd");
    Kiv::Platform::StatusFromExceptions([this] {
        // One waiter joins; a later one finds the thread joined. The thread itself comes here
        // only at its very end, when it lets go of the manager last: it does not wait for itself.
        std::lock_guard lock(m_waitLock);
        if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
            m_thread.join();
        }
    });
}

void CKivLogSysMgrImp::CLoadLogThread::ThreadMain() noexcept
{
    Kiv::Platform::StatusFromExceptions([this] {
        if (InitInstance()) {
            Run();
        }
        ExitInstance();
    });
    // The load is over: let go of the model and of the manager, which goes now if that was its
    // last reference. This object stays until the thread has left it.
    m_root.Release();
    CComPtr<IKivLogSysMgr_LoadProgress> manager = std::move(m_sink);
}

bool CKivLogSysMgrImp::CLoadLogThread::InitInstance()
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::CLoadLogThread::InitInstance", ready, false);
    if (m_file == nullptr) {
        KIV_ENGINE_TRACE(ThreadSubject, u"Error m_pFile == NULL.");
        return ready;
    }
    ready = true;
    return ready;
}

int CKivLogSysMgrImp::CLoadLogThread::Run()
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::CLoadLogThread::Run", exitCode, S_OK);
    exitCode = RunLoad(m_file, m_root, m_sink) == CKivLogSysFile::LoadCompleted ? 0 : 1;
    return exitCode;
}

void CKivLogSysMgrImp::CLoadLogThread::ExitInstance()
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::CLoadLogThread::ExitInstance");
}

CKivLogSysMgrImp::~CKivLogSysMgrImp()
{
    // A running load is waited for, not stopped; when its own thread lets go of the manager
    // last, at its end, there is nothing left to wait for.
    if (m_loadThread) {
        m_loadThread->WaitEnd();
    }
    m_loadThread.reset();
    RemoveAllFiles();
    // The model goes before the sink hears of nothing more from this manager.
    m_root.Release();
    m_sink.Release();
}

void CKivLogSysMgrImp::WaitForLoadThread(std::unique_lock<Kiv::Platform::CriticalSection>& lock)
{
    // A worker stays registered while it is waited for, so that a stop request still reaches
    // it; the lock is let go meanwhile, because its last report needs it. Every waiter holds
    // the thread object, so several may wait at once and none frees it under another.
    while (m_loadThread) {
        const std::shared_ptr<CLoadLogThread> thread = m_loadThread;
        lock.unlock();
        thread->WaitEnd();
        lock.lock();
        if (m_loadThread == thread) {
            m_loadThread.reset();
        }
    }
}

HRESULT CKivLogSysMgrImp::RunLoad(CKivLogSysFile* file, IKivLogSysRoot* root, IKivLogSysMgr_LoadProgress* progress)
{
    const CRunningLoadScope running(progress, root);
    return file->LoadLog(root, progress);
}

bool CKivLogSysMgrImp::IsLoadingOnThisThread() const
{
    return t_runningLoad != nullptr &&
           t_runningLoad->reportsTo == static_cast<const IKivLogSysMgr_LoadProgress*>(this);
}

HRESULT CKivLogSysMgrImp::LoadLogFile(LPCWSTR path, LONG background)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::LoadLogFile", hr, E_FAIL);
    if (IsLoadingOnThisThread()) {
        hr = E_ILLEGAL_METHOD_CALL; // a load's own thread would wait for itself
        return hr;
    }
    hr = Kiv::Platform::StatusFromExceptions([&] {
        // Opening reads the whole file; the manager's other calls go on meanwhile.
        std::unique_ptr<CKivLogSysFile> file;
        if (HRESULT status = OpenLogFile(path, file); FAILED(status)) {
            return status; // the model stays as it was
        }
        CComPtr<IKivLogSysRoot> root;
        if (HRESULT status = CKivLogSysFactory::CreateLogSysRoot(&root); FAILED(status)) {
            return status;
        }
        CKivLogSysFile* opened = file.get();
        CComPtr<IKivLogSysMgr_LoadProgress> progress = this;
        std::unique_lock lock(m_lock);
        m_files.push_back(std::move(file));
        WaitForLoadThread(lock);
        if (background != 0) {
            auto thread = std::make_shared<CLoadLogThread>(opened, root, progress);
            const HRESULT status = thread->DoStart();
            if (SUCCEEDED(status)) {
                m_loadThread = std::move(thread);
            }
            return status;
        }
        // Reading into the new model runs without the lock too; the model becomes the manager's
        // at the load's last report, as a background load's does.
        lock.unlock();
        const HRESULT loaded = RunLoad(opened, root, progress);
        return FAILED(loaded) ? loaded : S_OK;
    });
    return hr;
}

HRESULT CKivLogSysMgrImp::OpenLogFile(LPCWSTR path, std::unique_ptr<CKivLogSysFile>& file)
{
    auto opened = std::make_unique<CKivLogSysFile>();
    const HRESULT hr = opened->OpenFile(path);
    if (SUCCEEDED(hr)) {
        file = std::move(opened);
    }
    return hr;
}

HRESULT CKivLogSysMgrImp::StopLoadLog()
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::StopLoadLog", hr, S_OK);
    hr = Kiv::Platform::StatusFromExceptions([this] {
        std::lock_guard lock(m_lock);
        if (m_loadThread) {
            m_loadThread->DoStop();
        }
    });
    return hr;
}

HRESULT CKivLogSysMgrImp::WaitWorkThreads()
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::WaitWorkThreads", hr, S_OK);
    if (IsLoadingOnThisThread()) {
        hr = E_ILLEGAL_METHOD_CALL; // a load's own thread would wait for itself
        return hr;
    }
    hr = Kiv::Platform::StatusFromExceptions([this] {
        std::unique_lock lock(m_lock);
        WaitForLoadThread(lock);
    });
    return hr;
}

HRESULT CKivLogSysMgrImp::SetLoadProgress(IKivLogSysMgr_LoadProgress* sink)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::SetLoadProgress", hr, S_OK);
    hr = Kiv::Platform::StatusFromExceptions([&] {
        std::lock_guard lock(m_lock);
        m_sink = sink;
    });
    return hr;
}

HRESULT CKivLogSysMgrImp::ClearLogInfo()
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::ClearLogInfo", hr, S_OK);
    hr = Kiv::Platform::StatusFromExceptions([this] {
        std::lock_guard lock(m_lock);
        KIV_ENGINE_TRACE(Subject, u"Not Imp");
        m_root.Release();
    });
    return hr;
}

HRESULT CKivLogSysMgrImp::GetRootObject(IKivLogSysRoot** root)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::GetRootObject", hr, E_FAIL);
    hr = Kiv::Platform::StatusFromExceptions([&] {
        std::lock_guard lock(m_lock);
        if (!m_root && FAILED(CKivLogSysFactory::CreateLogSysRoot(&m_root))) {
            return E_FAIL;
        }
        return m_root->QueryInterface(IID_PPV_ARGS(root));
    });
    return hr;
}

HRESULT CKivLogSysMgrImp::OnKivLogSysMgr_LoadProgress(LONG kind, LONG value)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::OnKivLogSysMgr_LoadProgress", hr, S_OK);
    hr = Kiv::Platform::StatusFromExceptions([&] {
        CComPtr<IKivLogSysMgr_LoadProgress> sink;
        {
            std::lock_guard lock(m_lock);
            if (kind == KivLogSysLoadProgress::Finished && IsLoadingOnThisThread()) {
                m_root = t_runningLoad->root; // so the caller finds the new model at once
            }
            sink = m_sink;
        }
        if (sink) {
            sink->OnKivLogSysMgr_LoadProgress(kind, value); // its result is not ours to judge
        }
    });
    return hr;
}

void CKivLogSysMgrImp::RemoveAllFiles() noexcept
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgrImp::RemoveAllFiles");
    Kiv::Platform::StatusFromExceptions([this] {
        std::lock_guard lock(m_lock);
        m_files.clear();
    });
}

HRESULT CKivLogSysMgrImp::FindInterface(REFIID riid, void** ppv)
{
    return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysMgr*>(this)},
                                    {IKivLogSysMgr::Iid, static_cast<IKivLogSysMgr*>(this)},
                                    {IKivLogSysMgr_LoadProgress::Iid, static_cast<IKivLogSysMgr_LoadProgress*>(this)}},
                                   riid, ppv);
}
