// CKivLogSysMgrImp: the engine behind IKivLogSysMgr. It owns the files it opened (every line of
// the model points into a file's memory), the current model (root), the caller's progress sink,
// and the worker thread of a background load, whose progress it relays to the sink.
//
// Thread-safety: every operation may be called from any thread. The manager's recursive lock
// guards files, root, sink and the worker slot, and is held only for short steps: never while a
// file is opened or read into a model, and never while waiting for the worker, whose last report
// needs it. A load's own thread (the worker, or the caller of a load at once while it reads)
// must not start another load or wait for the worker: LoadLogFile and WaitWorkThreads refuse
// that with E_ILLEGAL_METHOD_CALL, since the worker cannot wait for itself.
#pragma once

#include "CKivLogSysFile.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include "KivObject/ComPtr.h"

#include "KivPlatform/Threading.h"

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CKivLogSysMgrImp : public IKivLogSysMgr, public IKivLogSysMgr_LoadProgress {
public:
    // The worker thread of one background load: runs the file's LoadLog once and reports to the
    // manager. The manager and the running thread share it, so it outlives the thread's last
    // step whoever lets go of it first; it is never deleted while its thread runs.
    class CLoadLogThread : public std::enable_shared_from_this<CLoadLogThread> {
    public:
        CLoadLogThread(CKivLogSysFile* file, IKivLogSysRoot* root, IKivLogSysMgr_LoadProgress* sink);
        // Waits for the thread to end, unless this is the thread itself at its end.
        ~CLoadLogThread();
        CLoadLogThread(const CLoadLogThread&) = delete;
        CLoadLogThread& operator=(const CLoadLogThread&) = delete;

        HRESULT DoStart();
        void DoStop();
        // Returns once the thread has ended. Any number of threads may wait at once; called on
        // the thread itself it returns at once.
        void WaitEnd() noexcept;

    private:
        // The thread: InitInstance, Run, ExitInstance, then it lets go of the model and the manager.
        void ThreadMain() noexcept;
        bool InitInstance();
        int Run();
        void ExitInstance();

        CKivLogSysFile* m_file; // owned by the manager
        Kiv::CComPtr<IKivLogSysRoot> m_root;
        // The manager's progress part; it keeps the manager alive while the load runs.
        Kiv::CComPtr<IKivLogSysMgr_LoadProgress> m_sink;
        // One waiter joins the thread; the others wait here until it has.
        std::mutex m_waitLock;
        std::thread m_thread;
    };

    CKivLogSysMgrImp() = default;
    virtual ~CKivLogSysMgrImp();

    // IKivLogSysMgr
    HRESULT LoadLogFile(LPCWSTR path, LONG background) override;
    HRESULT StopLoadLog() override;
    HRESULT WaitWorkThreads() override;
    HRESULT SetLoadProgress(IKivLogSysMgr_LoadProgress* sink) override;
    HRESULT ClearLogInfo() override;
    HRESULT GetRootObject(IKivLogSysRoot** root) override;
    // IKivLogSysMgr_LoadProgress: relays a load's reports to the caller's sink; at the end of a
    // load the new model becomes the manager's first.
    HRESULT OnKivLogSysMgr_LoadProgress(LONG kind, LONG value) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

protected:
    // Opens a trace file into file (a new reader). Reading the whole file can take long, which
    // is why it runs without the manager's lock.
    virtual HRESULT OpenLogFile(LPCWSTR path, std::unique_ptr<CKivLogSysFile>& file);

private:
    // Runs a load on the calling thread, which is marked as this load's thread meanwhile; the
    // load's status (CKivLogSysFile::LoadLog).
    static HRESULT RunLoad(CKivLogSysFile* file, IKivLogSysRoot* root, IKivLogSysMgr_LoadProgress* progress);
    // Whether the calling thread is running a load that reports to this manager.
    bool IsLoadingOnThisThread() const;
    // Waits until no worker is registered: each one is waited for without the lock and then
    // forgotten. The lock is held again on return.
    void WaitForLoadThread(std::unique_lock<Kiv::Platform::CriticalSection>& lock);
    void RemoveAllFiles() noexcept;

    Kiv::Platform::CriticalSection m_lock;
    std::vector<std::unique_ptr<CKivLogSysFile>> m_files;
    Kiv::CComPtr<IKivLogSysRoot> m_root;
    Kiv::CComPtr<IKivLogSysMgr_LoadProgress> m_sink;
    std::shared_ptr<CLoadLogThread> m_loadThread;
};
