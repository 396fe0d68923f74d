#include "CKivLogSysMethodInfo.h"

#include "EngineLog.h"

#include "KivObject/InterfaceMap.h"

#include "KivPlatform/Boundary.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <unordered_set>
#include <utility>

using Kiv::CComPtr;

namespace {

// The thread object that made a call, asked for interface I; null when the call cannot tell.
template <class I>
CComPtr<I> ThreadOfCall(Kiv::IKivListItem* call)
{
    CComPtr<IKivLogSysBlock> block;
    CComPtr<I> thread;
    if (SUCCEEDED(call->QueryInterface(IID_PPV_ARGS(&block))) && block) {
        block->GetThread(IID_PPV_ARGS(&thread));
    }
    return thread;
}

// The item at index asked for riid. A null out pointer is E_INVALIDARG; an index outside the
// items gives outOfRange with the out pointer cleared.
template <class Items, class ItemOf>
HRESULT ItemAt(const Items& items, LONG index, REFIID riid, void** ppv, HRESULT outOfRange, ItemOf itemOf)
{
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (index < 0 || static_cast<std::size_t>(index) >= items.size()) {
        return outOfRange;
    }
    return itemOf(items[static_cast<std::size_t>(index)])->QueryInterface(riid, ppv);
}

} // namespace

void CKivLogSysMethodInfo::CallList::reserve(std::size_t count)
{
    if (m_many) {
        m_many->reserve(count);
        return;
    }
    if (count <= 1) {
        return;
    }
    // The call in place, if any, moves only once the vector has room for everything.
    auto many = std::make_unique<std::vector<Call>>();
    many->reserve(count);
    if (m_one.block) {
        many->push_back(std::move(m_one));
    }
    m_many = std::move(many);
}

void CKivLogSysMethodInfo::CallList::push_back(Call&& call)
{
    if (!m_many && !m_one.block) {
        m_one = std::move(call);
        return;
    }
    if (!m_many || m_many->size() == m_many->capacity()) {
        reserve(std::max<std::size_t>(2, size() * 2));
    }
    m_many->push_back(std::move(call));
}

std::mutex& CKivLogSysMethodInfo::LazyLock() const
{
    // Shared by all method informations, spread by address; no operation holds two of them.
    static std::mutex locks[64];
    return locks[(reinterpret_cast<std::uintptr_t>(this) >> 6) % std::size(locks)];
}

CKivLogSysMethodInfo::Collected& CKivLogSysMethodInfo::CollectedLocked()
{
    if (!m_collected) {
        m_collected = std::make_unique<Collected>();
    }
    return *m_collected;
}

HRESULT CKivLogSysMethodInfo::FindInterface(REFIID riid, void** ppv)
{
    return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysMethodInfo*>(this)},
                                    {IKivLogSysMethodInfo::Iid, static_cast<IKivLogSysMethodInfo*>(this)},
                                    {IKivLogSysMethodInfoEdit::Iid, static_cast<IKivLogSysMethodInfoEdit*>(this)}},
                                   riid, ppv);
}

HRESULT CKivLogSysMethodInfo::GetName(BSTR* name)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodInfo::GetName", hr, E_POINTER);
    if (name == nullptr) {
        return hr;
    }
    const bool named = m_textName.Holds() || m_name != nullptr;
    *name = m_textName.Holds() ? m_textName.ToBstr().Detach() : m_name.Copy();
    hr = *name == nullptr && named ? E_OUTOFMEMORY : S_OK;
    return hr;
}

HRESULT CKivLogSysMethodInfo::GetLineCount(LONG* count)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodInfo::GetLineCount", hr, E_INVALIDARG);
    if (count != nullptr) {
        *count = static_cast<LONG>(m_calls.size());
        hr = S_OK;
    }
    return hr;
}

HRESULT CKivLogSysMethodInfo::GetLineInfo(LONG index, REFIID riid, void** ppv)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodInfo::GetLineInfo", hr, E_INVALIDARG);
    SortCalls();
    hr = ItemAt(m_calls, index, riid, ppv, E_INVALIDARG, [](const Call& call) { return call.block.Get(); });
    return hr;
}

HRESULT CKivLogSysMethodInfo::GetRefThreadCount(LONG* count)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodInfo::GetRefThreadCount", hr, E_INVALIDARG);
    if (count == nullptr) {
        return hr;
    }
    hr = Kiv::Platform::StatusFromExceptions([&] {
        std::lock_guard lock(LazyLock());
        Collected& collected = CollectedLocked();
        if (collected.threads.empty()) {
            SortCallsLocked();
            // Collected whole before it is kept, so that a failure leaves no partial list. The
            // set answers "already listed" in constant time; the list keeps first-call order.
            std::vector<CComPtr<Kiv::IKivListItem>> threads;
            std::unordered_set<Kiv::IKivListItem*> listed;
            for (const Call& call : m_calls) {
                CComPtr<Kiv::IKivListItem> thread = ThreadOfCall<Kiv::IKivListItem>(call.block);
                if (thread && listed.insert(thread.Get()).second) {
                    threads.push_back(std::move(thread));
                }
            }
            collected.threads.swap(threads);
        }
        *count = static_cast<LONG>(collected.threads.size());
        return S_OK;
    });
    return hr;
}

HRESULT CKivLogSysMethodInfo::GetRefThread(LONG index, REFIID riid, void** ppv)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodInfo::GetRefThread", hr, E_FAIL);
    hr = Kiv::Platform::StatusFromExceptions([&] {
        std::lock_guard lock(LazyLock());
        return ItemAt(CollectedLocked().threads, index, riid, ppv, E_FAIL,
                      [](const CComPtr<Kiv::IKivListItem>& thread) { return thread.Get(); });
    });
    return hr;
}

HRESULT CKivLogSysMethodInfo::GetThreadLineCount(DWORD threadId, LONG* count)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodInfo::GetThreadLineCount", hr, E_INVALIDARG);
    if (count == nullptr) {
        return hr;
    }
    // Counting one thread's calls builds the list of all calling threads on the way.
    LONG threadCount = 0;
    if (hr = GetRefThreadCount(&threadCount); FAILED(hr)) {
        return hr;
    }
    const std::vector<LONG>* lines = nullptr;
    if (hr = ThreadLines(threadId, &lines); FAILED(hr)) {
        return hr;
    }
    *count = static_cast<LONG>(lines->size());
    return hr;
}

HRESULT CKivLogSysMethodInfo::GetThraedLine(DWORD threadId, LONG index, REFIID riid, void** ppv)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodInfo::GetThraedLine", hr, E_INVALIDARG);
    if (ppv == nullptr) {
        return hr;
    }
    *ppv = nullptr;
    const std::vector<LONG>* lines = nullptr;
    if (hr = ThreadLines(threadId, &lines); FAILED(hr)) {
        return hr;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= lines->size()) {
        hr = E_FAIL;
        return hr;
    }
    hr = GetLineInfo((*lines)[static_cast<std::size_t>(index)], riid, ppv);
    return hr;
}

HRESULT CKivLogSysMethodInfo::ThreadLines(DWORD threadId, const std::vector<LONG>** lines)
{
    return Kiv::Platform::StatusFromExceptions([&] {
        std::lock_guard lock(LazyLock());
        std::map<DWORD, std::vector<LONG>>& threadLines = CollectedLocked().threadLines;
        auto found = threadLines.find(threadId);
        if (found == threadLines.end()) {
            // Collected whole before it is stored, so that a failure leaves no partial entry.
            SortCallsLocked();
            std::vector<LONG> indexes;
            for (std::size_t i = 0; i < m_calls.size(); ++i) {
                CComPtr<IKivLogSysThread> thread = ThreadOfCall<IKivLogSysThread>(m_calls[i].block);
                DWORD id = 0;
                if (thread && SUCCEEDED(thread->GetThreadId(&id)) && id == threadId) {
                    indexes.push_back(static_cast<LONG>(i));
                }
            }
            found = threadLines.emplace(threadId, std::move(indexes)).first;
        }
        *lines = &found->second;
        return S_OK;
    });
}

HRESULT CKivLogSysMethodInfo::AddBlock(IKivLogSysBlock* block)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodInfo::AddBlock", hr, E_INVALIDARG);
    if (block == nullptr) {
        return hr;
    }
    hr = Kiv::Platform::StatusFromExceptions([&] {
        CComPtr<Kiv::IKivListItem> call;
        if (HRESULT status = block->QueryInterface(IID_PPV_ARGS(&call)); FAILED(status)) {
            return status;
        }
        return AppendCall(block, std::move(call));
    });
    return hr;
}

HRESULT CKivLogSysMethodInfo::TakeCall(CComPtr<IKivLogSysBlock>&& block) noexcept
{
    if (!block) {
        return E_INVALIDARG;
    }
    IKivLogSysBlock* const entryOf = block.Get(); // kept alive by the call passed with it
    return Kiv::Platform::StatusFromExceptions(
        [&] { return AppendCall(entryOf, CComPtr<Kiv::IKivListItem>(std::move(block))); });
}

HRESULT CKivLogSysMethodInfo::AppendCall(IKivLogSysBlock* block, CComPtr<Kiv::IKivListItem> call)
{
    const KivLogSysLineInfo* entry = nullptr;
    if (HRESULT status = block->GetLineInfo(&entry); FAILED(status)) {
        return status;
    }
    if (entry == nullptr) {
        return E_FAIL;
    }
    if (!call) {
        return E_NOINTERFACE; // the list keeps no call without a block
    }
    const LONG lineNumber = entry->lineNumber;
    const bool stillSorted = m_callsSorted.load(std::memory_order_relaxed) &&
                             (m_calls.empty() || m_calls.back().lineNumber <= lineNumber);
    m_calls.push_back({lineNumber, std::move(call)});
    m_callsSorted.store(stillSorted, std::memory_order_relaxed);
    return S_OK;
}

void CKivLogSysMethodInfo::SortCalls()
{
    // Sorted once: later readers see that without the lock.
    if (!m_callsSorted.load(std::memory_order_acquire)) {
        std::lock_guard lock(LazyLock());
        SortCallsLocked();
    }
}

void CKivLogSysMethodInfo::SortCallsLocked()
{
    if (!m_callsSorted.load(std::memory_order_relaxed)) {
        std::stable_sort(m_calls.begin(), m_calls.end(),
                         [](const Call& a, const Call& b) { return a.lineNumber < b.lineNumber; });
        m_callsSorted.store(true, std::memory_order_release);
    }
}

HRESULT CKivLogSysMethodInfo::SetName(BSTR name)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodInfo::SetName", hr, E_OUTOFMEMORY);
    // Null clears the name; anything else is copied whole, by its length.
    Kiv::CComBSTR copy;
    if (name != nullptr && (copy = Kiv::CComBSTR(std::u16string_view(name, SysStringLen(name)))) == nullptr) {
        return hr;
    }
    m_name.Swap(copy);
    m_textName = Kiv::LogSysMgr::CountedName();
    hr = S_OK;
    return hr;
}

HRESULT CKivLogSysMethodInfo::SetTextName(std::string_view text) noexcept
{
    return Kiv::Platform::StatusFromExceptions([&] {
        m_textName = Kiv::LogSysMgr::CountedName(text);
        m_name.Empty();
        return S_OK;
    });
}
