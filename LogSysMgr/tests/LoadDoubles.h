// Test doubles for the reader's partners: a root that hands out recording thread objects (and can
// be told to run out of memory), and a progress sink that records every report. Used by the
// reader tests and the fuzz target.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include <algorithm>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace KivTest {

// Creates a counted test double and holds the first reference.
template <class T>
Kiv::CComPtr<Kiv::CKivObject<T>> MakeDouble()
{
    return Kiv::CComPtr<Kiv::CKivObject<T>>(Kiv::CKivObject<T>::CreateObject());
}

// A line as the model received it, with its text copied out for easy comparison.
struct ReceivedLine {
    KivLogSysLineInfo info;
    std::string text;
};

// Sees every line a root's threads receive, in the order they arrive.
using LineObserver = std::function<void(const KivLogSysLineInfo&)>;

class CFakeThread : public IKivLogSysThread, public IKivLogSysThreadEdit {
public:
    virtual ~CFakeThread() = default;

    HRESULT GetThreadId(DWORD* threadId) override
    {
        *threadId = m_threadId;
        return S_OK;
    }
    HRESULT SetThreadId(DWORD threadId) override
    {
        m_threadId = threadId;
        return S_OK;
    }
    HRESULT AddLine(const KivLogSysLineInfo* info) override
    {
        if (m_admit) {
            if (const HRESULT hr = m_admit(*info); FAILED(hr)) {
                return hr;
            }
        }
        m_lines.push_back({*info, std::string(info->text, static_cast<std::size_t>(info->textLength))});
        if (m_observer) {
            m_observer(*info);
        }
        return S_OK;
    }
    HRESULT BuildMethodSet(IKivLogSysMethodSet*) override { return E_NOTIMPL; }

    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysThread*>(this)},
                                        {IKivLogSysThread::Iid, static_cast<IKivLogSysThread*>(this)},
                                        {IKivLogSysThreadEdit::Iid, static_cast<IKivLogSysThreadEdit*>(this)}},
                                       riid, ppv);
    }

    DWORD m_threadId = 0;
    std::vector<ReceivedLine> m_lines;
    LineObserver m_observer;
    // Decides first whether a line is taken; a failure status refuses it.
    std::function<HRESULT(const KivLogSysLineInfo&)> m_admit;
};

// How a model that runs out of memory shows it: by its status, or by letting std::bad_alloc
// through.
enum class OutOfMemoryShown { Status, Exception };

class CFakeRoot : public IKivLogSysRoot, public IKivLogSysRootEdit {
public:
    virtual ~CFakeRoot() = default;

    HRESULT GetLogThread(DWORD threadId, REFIID riid, void** ppv) override
    {
        if (ppv == nullptr) {
            return E_INVALIDARG;
        }
        *ppv = nullptr;
        if (m_refusedThreadId && threadId == *m_refusedThreadId) {
            return S_OK; // gives no thread object: the reader drops the line
        }
        for (auto& thread : m_threads) {
            if (thread->m_threadId == threadId) {
                return thread->QueryInterface(riid, ppv);
            }
        }
        if (m_threadLimit && m_threads.size() >= *m_threadLimit) {
            return OutOfMemory();
        }
        auto thread = MakeDouble<CFakeThread>();
        thread->m_threadId = threadId;
        thread->m_admit = [this](const KivLogSysLineInfo& info) {
            return m_outOfMemoryAtLine && info.lineNumber == *m_outOfMemoryAtLine ? OutOfMemory() : S_OK;
        };
        thread->m_observer = [this](const KivLogSysLineInfo& info) {
            ++m_lineCount;
            if (m_observer) {
                m_observer(info);
            }
        };
        m_threads.push_back(thread);
        return thread->QueryInterface(riid, ppv);
    }
    HRESULT GetMethodSet(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT RemoveAllItems() override
    {
        ++m_removeAllCount;
        m_threads.clear();
        return S_OK;
    }

    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysRoot*>(this)},
                                        {IKivLogSysRoot::Iid, static_cast<IKivLogSysRoot*>(this)},
                                        {IKivLogSysRootEdit::Iid, static_cast<IKivLogSysRootEdit*>(this)}},
                                       riid, ppv);
    }

    HRESULT OutOfMemory() const
    {
        if (m_outOfMemoryShown == OutOfMemoryShown::Exception) {
            throw std::bad_alloc();
        }
        return E_OUTOFMEMORY;
    }

    // Every line of every thread, in file order.
    std::vector<ReceivedLine> AllLines() const
    {
        std::vector<ReceivedLine> lines;
        for (const auto& thread : m_threads) {
            lines.insert(lines.end(), thread->m_lines.begin(), thread->m_lines.end());
        }
        std::stable_sort(lines.begin(), lines.end(), [](const ReceivedLine& a, const ReceivedLine& b) {
            return a.info.lineNumber < b.info.lineNumber;
        });
        return lines;
    }

    std::vector<Kiv::CComPtr<Kiv::CKivObject<CFakeThread>>> m_threads;
    std::optional<DWORD> m_refusedThreadId; // lines of this thread are refused
    // Memory runs out when a thread object beyond this many is made, or when the line of this
    // number is added; shown as m_outOfMemoryShown says.
    std::optional<std::size_t> m_threadLimit;
    std::optional<LONG> m_outOfMemoryAtLine;
    OutOfMemoryShown m_outOfMemoryShown = OutOfMemoryShown::Status;
    int m_removeAllCount = 0;
    int m_lineCount = 0;
    LineObserver m_observer;
};

class CRecordingSink : public IKivLogSysMgr_LoadProgress {
public:
    virtual ~CRecordingSink() = default;

    HRESULT OnKivLogSysMgr_LoadProgress(LONG kind, LONG value) override
    {
        m_reports.emplace_back(kind, value);
        if (m_onReport) {
            m_onReport(kind, value);
        }
        return S_OK;
    }

    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap(
            {{IUnknown::Iid, this}, {IKivLogSysMgr_LoadProgress::Iid, this}}, riid, ppv);
    }

    std::vector<std::pair<LONG, LONG>> m_reports;
    std::function<void(LONG, LONG)> m_onReport;
};

} // namespace KivTest
