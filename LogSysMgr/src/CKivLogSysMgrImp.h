// CKivLogSysMgrImp: the engine behind IKivLogSysMgr. It owns the files it opened (every line of
// the model points into a file's memory), the current model (root), the caller's progress sink,
// and the worker thread of a background load, whose progress it relays to the sink.
//
// Thread-safety: the caller's thread and one worker thread per background load meet here. The
// manager's recursive lock guards files, root, sink and the start of a load, and is held only
// for short steps: never while a file is opened or read into a model, and never while waiting
// for the worker, whose last report needs it.
#pragma once

#include "CKivLogSysFile.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include "KivObject/ComPtr.h"

#include "KivPlatform/Threading.h"

#include <memory>
#include <thread>
#include <vector>

class CKivLogSysMgrImp : public IKivLogSysMgr, public IKivLogSysMgr_LoadProgress {
public:
    // The worker thread of one background load: runs the file's LoadLog once, reports to the
    // manager, and is waited for and deleted explicitly.
    class CLoadLogThread {
    public:
        CLoadLogThread(CKivLogSysFile* file, IKivLogSysRoot* root, IKivLogSysMgr_LoadProgress* sink);
        // Waits for the thread to end (unless it is the calling thread), then lets go of the
        // root and the sink.
        ~CLoadLogThread();
        CLoadLogThread(const CLoadLogThread&) = delete;
        CLoadLogThread& operator=(const CLoadLogThread&) = delete;

        HRESULT DoStart();
        void DoStop();
        void WaitEnd();

    private:
        // The thread: InitInstance, Run, ExitInstance.
        void ThreadMain();
        bool InitInstance();
        int Run();
        void ExitInstance();

        CKivLogSysFile* m_file; // owned by the manager
        Kiv::CComPtr<IKivLogSysRoot> m_root;
        // The manager's progress part; it keeps the manager alive while the load runs.
        Kiv::CComPtr<IKivLogSysMgr_LoadProgress> m_sink;
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
    // Runs a load on the calling thread, which is marked as this load's thread meanwhile.
    static LONG RunLoad(CKivLogSysFile* file, IKivLogSysRoot* root, IKivLogSysMgr_LoadProgress* progress);
    // Whether the calling thread is running a load that reports to this manager.
    bool IsLoadingOnThisThread() const;
    // Takes the worker of an earlier load out under the lock and waits for it outside the lock.
    void WaitForLoadThread(std::unique_lock<Kiv::Platform::CriticalSection>& lock);
    void RemoveAllFiles();

    Kiv::Platform::CriticalSection m_lock;
    std::vector<std::unique_ptr<CKivLogSysFile>> m_files;
    Kiv::CComPtr<IKivLogSysRoot> m_root;
    Kiv::CComPtr<IKivLogSysMgr_LoadProgress> m_sink;
    std::unique_ptr<CLoadLogThread> m_loadThread;
};
