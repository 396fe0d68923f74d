#include "CKivLogSysMgrImp.h"

#include "CKivLogSysFactory.h"
#include "EngineLog.h"

#include "KivObject/InterfaceMap.h"

#include <mutex>
#include <system_error>
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
}

HRESULT CKivLogSysMgrImp::CLoadLogThread::DoStart()
{
    HRESULT hr = E_FAIL;
    KIV_ENGINE_SCOPE(ThreadSubject, u"CKivLogSysMgrImp::CLoadLogThread::DoStart", &hr);
    try {
        m_thread = std::thread(&CLoadLogThread::ThreadMain, this);
        hr = S_OK;
    } catch (const std::system_error&) {
        KIV_ENGINE_TRACE(ThreadSubject, u"Error CreateThread!");
    }
    return hr;
}

void CKivLogSysMgrImp::CLoadLogThread::DoStop()
{
    KIV_ENGINE_SCOPE(ThreadSubject, u"CKivLogSysMgrImp::CLoadLogThread::DoStop");
    if (m_file != nullptr) {
        m_file->RequestStop();
    }
}

void CKivLogSysMgrImp::CLoadLogThread::WaitEnd()
{
    KIV_ENGINE_SCOPE(ThreadSubject, u"CKivLogSysMgrImp::CLoadLogThread::WaitEnd");
    if (!m_thread.joinable()) {
        return;
    }
    // The thread itself ends up here when its last reference let go of the manager: it cannot
    // wait for itself, and it is already past its last use of this object.
    if (m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach();
    } else {
        m_thread.join();
    }
}

void CKivLogSysMgrImp::CLoadLogThread::ThreadMain()
{
    if (InitInstance()) {
        Run();
    }
    ExitInstance();
    // The load is over: let go of the manager. If that was its last reference, the manager goes
    // now, with this object; nothing after this line touches either.
    CComPtr<IKivLogSysMgr_LoadProgress> manager = std::move(m_sink);
}

bool CKivLogSysMgrImp::CLoadLogThread::InitInstance()
{
    bool ready = false;
    KIV_ENGINE_SCOPE(ThreadSubject, u"CKivLogSysMgrImp::CLoadLogThread::InitInstance", &ready);
    if (m_file == nullptr) {
        KIV_ENGINE_TRACE(ThreadSubject, u"Error m_pFile == NULL.");
        return ready;
    }
    ready = true;
    return ready;
}

int CKivLogSysMgrImp::CLoadLogThread::Run()
{
    HRESULT exitCode = 0;
    KIV_ENGINE_SCOPE(ThreadSubject, u"CKivLogSysMgrImp::CLoadLogThread::Run", &exitCode);
    exitCode = RunLoad(m_file, m_root, m_sink) == CKivLogSysFile::LoadCompleted ? 0 : 1;
    return exitCode;
}

void CKivLogSysMgrImp::CLoadLogThread::ExitInstance()
{
    KIV_ENGINE_SCOPE(ThreadSubject, u"CKivLogSysMgrImp::CLoadLogThread::ExitInstance");
}

CKivLogSysMgrImp::~CKivLogSysMgrImp()
{
    // A running load is waited for, not stopped.
    m_loadThread.reset();
    RemoveAllFiles();
    // The model goes before the sink hears of nothing more from this manager.
    m_root.Release();
    m_sink.Release();
}

void CKivLogSysMgrImp::WaitForLoadThread(std::unique_lock<Kiv::Platform::CriticalSection>& lock)
{
    if (!m_loadThread) {
        return;
    }
    // The thread stays registered while it is waited for, so that its last report still makes
    // its model the manager's; the lock is let go meanwhile, because that report needs it.
    CLoadLogThread* thread = m_loadThread.get();
    lock.unlock();
    thread->WaitEnd();
    lock.lock();
    m_loadThread.reset();
}

LONG CKivLogSysMgrImp::RunLoad(CKivLogSysFile* file, IKivLogSysRoot* root, IKivLogSysMgr_LoadProgress* progress)
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
    HRESULT hr = E_FAIL;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysMgrImp::LoadLogFile", &hr);
    // Opening reads the whole file; the manager's other calls go on meanwhile.
    std::unique_ptr<CKivLogSysFile> file;
    if (hr = OpenLogFile(path, file); FAILED(hr)) {
        return hr; // the model stays as it was
    }
    CComPtr<IKivLogSysRoot> root;
    if (hr = CKivLogSysFactory::CreateLogSysRoot(&root); FAILED(hr)) {
        return hr;
    }
    CKivLogSysFile* opened = file.get();
    CComPtr<IKivLogSysMgr_LoadProgress> progress = this;
    std::unique_lock lock(m_lock);
    m_files.push_back(std::move(file));
    WaitForLoadThread(lock);
    if (background != 0) {
        m_loadThread = std::make_unique<CLoadLogThread>(opened, root, progress);
        if (hr = m_loadThread->DoStart(); FAILED(hr)) {
            m_loadThread.reset();
        }
        return hr;
    }
    // Reading into the new model runs without the lock too; the model becomes the manager's at
    // the load's last report, as a background load's does.
    lock.unlock();
    RunLoad(opened, root, progress);
    hr = S_OK;
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
    HRESULT hr = S_OK;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysMgrImp::StopLoadLog", &hr);
    std::lock_guard lock(m_lock);
    if (m_loadThread) {
        m_loadThread->DoStop();
    }
    return hr;
}

HRESULT CKivLogSysMgrImp::WaitWorkThreads()
{
    HRESULT hr = S_OK;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysMgrImp::WaitWorkThreads", &hr);
    std::unique_lock lock(m_lock);
    WaitForLoadThread(lock);
    return hr;
}

HRESULT CKivLogSysMgrImp::SetLoadProgress(IKivLogSysMgr_LoadProgress* sink)
{
    HRESULT hr = S_OK;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysMgrImp::SetLoadProgress", &hr);
    std::lock_guard lock(m_lock);
    m_sink = sink;
    return hr;
}

HRESULT CKivLogSysMgrImp::ClearLogInfo()
{
    HRESULT hr = S_OK;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysMgrImp::ClearLogInfo", &hr);
    std::lock_guard lock(m_lock);
    KIV_ENGINE_TRACE(Subject, u"Not Imp");
    m_root.Release();
    return hr;
}

HRESULT CKivLogSysMgrImp::GetRootObject(IKivLogSysRoot** root)
{
    HRESULT hr = E_FAIL;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysMgrImp::GetRootObject", &hr);
    std::lock_guard lock(m_lock);
    if (!m_root && FAILED(CKivLogSysFactory::CreateLogSysRoot(&m_root))) {
        hr = E_FAIL;
        return hr;
    }
    hr = m_root->QueryInterface(IID_PPV_ARGS(root));
    return hr;
}

HRESULT CKivLogSysMgrImp::OnKivLogSysMgr_LoadProgress(LONG kind, LONG value)
{
    HRESULT hr = S_OK;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysMgrImp::OnKivLogSysMgr_LoadProgress", &hr);
    CComPtr<IKivLogSysMgr_LoadProgress> sink;
    {
        std::lock_guard lock(m_lock);
        if (kind == 2 && IsLoadingOnThisThread()) {
            m_root = t_runningLoad->root; // so the caller finds the new model at once
        }
        sink = m_sink;
    }
    if (sink) {
        sink->OnKivLogSysMgr_LoadProgress(kind, value); // its result is not ours to judge
    }
    return hr;
}

void CKivLogSysMgrImp::RemoveAllFiles()
{
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysMgrImp::RemoveAllFiles");
    std::lock_guard lock(m_lock);
    m_files.clear();
}

HRESULT CKivLogSysMgrImp::FindInterface(REFIID riid, void** ppv)
{
    return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysMgr*>(this)},
                                    {IKivLogSysMgr::Iid, static_cast<IKivLogSysMgr*>(this)},
                                    {IKivLogSysMgr_LoadProgress::Iid, static_cast<IKivLogSysMgr_LoadProgress*>(this)}},
                                   riid, ppv);
}
