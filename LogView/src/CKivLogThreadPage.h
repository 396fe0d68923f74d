// One thread's lines in file order: pointers to the engine's records (no copies), collected once
// from the thread's call tree. As a log view handler it serves them by index; marks and the
// current control are not its business. User-interface thread only; the model must stay loaded
// while the page lives.
#pragma once

#include "IKivLogViewCtrlEventHandle.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"
#include "KivObject/ComPtr.h"

#include <vector>

class CKivLogThreadPage : public IKivLogViewCtrl_EventHandle {
public:
    // Collects the thread's lines: each block's entry line, its children, then its return line.
    explicit CKivLogThreadPage(IKivLogSysThread* thread);
    virtual ~CKivLogThreadPage() = default;

    HRESULT GetViewLineCount(LONG* count) override;
    HRESULT GetViewLine(LONG index, const KivLogSysLineInfo** line) override;
    HRESULT GetLineMark(LONG, LONG*) override { return S_OK; }
    HRESULT SetLineMark(LONG, LONG) override { return S_OK; }
    HRESULT SetActiveCtrl(CKivLogViewCtrl*) override { return S_OK; }

    IKivLogSysThread* GetThread() const { return m_thread; }
    DWORD GetThreadId() const { return m_threadId; }
    const std::vector<const KivLogSysLineInfo*>& GetLines() const { return m_lines; }

private:
    void Collect(Kiv::IKivListItem* item);

    Kiv::CComPtr<IKivLogSysThread> m_thread;
    DWORD m_threadId = 0;
    std::vector<const KivLogSysLineInfo*> m_lines;
};
