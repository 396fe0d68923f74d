#include "CKivLogSysThread.h"

#include "CThreadCalls.h"
#include "EngineLog.h"

#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"


#include <new>

using Kiv::CComPtr;
using Kiv::CKivObject;

namespace {

constexpr LPCWSTR Subject = u"CKivLogSysThread";

// Appends a new line or block (count 0) to the folder a line's depth selected.
template <class Node, class Part>
void AppendToFolder(Node* node, Part* part, Kiv::IKivListItemFolder* folder, CKivLogSysBlock* block)
{
    if (block != nullptr) {
        block->AppendNewChild(node);
        return;
    }
    const CComPtr<Part> held = part;
    LONG count = 0;
    if (SUCCEEDED(folder->GetChildCount(&count))) {
        IUnknown* const items[] = {held.Get()};
        folder->InsertChildItem(count, 1, items);
    }
}


} // namespace

HRESULT CKivLogSysThread::GetThreadId(DWORD* threadId)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysThread::GetThreadId", &hr);
    if (threadId != nullptr) {
        *threadId = m_threadId;
        hr = S_OK;
    }
    return hr;
}

HRESULT CKivLogSysThread::SetThreadId(DWORD threadId)
{
    HRESULT hr = S_OK;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysThread::SetThreadId", &hr);
    m_threadId = threadId;
    if (auto* parent = dynamic_cast<CKivLogSysBlock*>(m_parent)) {
        parent->OnChildThreadIdChanged();
    }
    return hr;
}

HRESULT CKivLogSysThread::FindEndFolderByParentItem(Kiv::IKivListItemFolder* folder, Kiv::IKivListItemFolder** end)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysThread::FindEndFolderByParentItem", &hr);
    LONG count = 0;
    if (folder == nullptr || FAILED(hr = folder->GetChildCount(&count))) {
        return hr;
    }
    hr = E_FAIL;
    if (end == nullptr) {
        return hr;
    }
    for (LONG i = count; i-- > 0;) {
        if (SUCCEEDED(folder->GetChildItem(i, Kiv::IKivListItemFolder::Iid, reinterpret_cast<void**>(end))) &&
            *end != nullptr) {
            hr = S_OK;
            return hr;
        }
    }
    return hr;
}

HRESULT CKivLogSysThread::GetEndParentObject(WORD depth, Kiv::IKivListItemFolder** folder, CKivLogSysBlock** block)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysThread::GetEndParentObject", &hr);
    if (folder == nullptr || block == nullptr) {
        return hr;
    }
    // Down the path of last blocks, one level per step. The engine's own blocks remember their
    // last block; anything else is searched through its interfaces. The tree owns every folder
    // on the way, so plain pointers suffice.
    Kiv::IKivListItemFolder* current = FolderPart();
    CKivLogSysBlock* currentBlock = this;
    for (WORD step = 0; step < depth; ++step) {
        if (currentBlock != nullptr) {
            current = currentBlock->LastFolderChild();
            currentBlock = currentBlock->LastBlockChild();
        } else {
            CComPtr<Kiv::IKivListItemFolder> next;
            FindEndFolderByParentItem(current, &next);
            current = next;
        }
        if (current == nullptr) {
            hr = E_FAIL; // deeper than the deepest open call: the line is dropped
            return hr;
        }
    }
    *folder = current;
    *block = currentBlock;
    hr = S_OK;
    return hr;
}

HRESULT CKivLogSysThread::AddLine(const KivLogSysLineInfo* info)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysThread::AddLine", &hr);
    if (info == nullptr) {
        return hr;
    }
    const Kiv::LogSysMgr::ModelArena::Use arena(++m_linesAdded > OwnArenaAfterLines ? &m_arena : nullptr);
    Kiv::IKivListItemFolder* parent = nullptr;
    CKivLogSysBlock* parentBlock = nullptr;
    if (hr = GetEndParentObject(info->depth, &parent, &parentBlock); FAILED(hr)) {
        return hr;
    }
    switch (info->kind) {
    case KivLogSysLineKind::Text:
        if (auto* line = CKivObject<CKivLogSysLine>::CreateObject()) {
            line->PutLineInfo(info);
            AppendToFolder(line, static_cast<IKivLogSysLine*>(line), parent, parentBlock);
        } else {
            hr = E_OUTOFMEMORY; // a model without this line must not pass for the whole file's
            return hr;
        }
        break;
    case KivLogSysLineKind::Enter:
        if (auto* block = CKivObject<CKivLogSysBlock>::CreateObject()) {
            block->PutLineInfo(info);
            AppendToFolder(block, static_cast<IKivLogSysBlock*>(block), parent, parentBlock);
        } else {
            hr = E_OUTOFMEMORY;
            return hr;
        }
        break;
    case KivLogSysLineKind::Return: {
        // Closes the last block of the folder, whatever its name; a second return replaces the
        // end line the first one set.
        CComPtr<Kiv::IKivListItemFolder> last;
        if (parentBlock != nullptr) {
            last = parentBlock->LastFolderChild();
        } else {
            FindEndFolderByParentItem(parent, &last);
        }
        CComPtr<IKivLogSysBlockEdit> edit;
        if (last && SUCCEEDED(last.QueryInterface(&edit)) && edit) {
            edit->PutEndLineInfo(info);
        }
        break;
    }
    default:
        break;
    }
    hr = S_OK;
    return hr;
}

void CKivLogSysThread::BuildListItemData(Kiv::IKivListItemFolder* folder)
{
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysThread::BuildListItemData");
    LONG count = 0;
    if (FAILED(folder->GetChildCount(&count))) {
        return;
    }
    for (LONG i = 0; i < count; ++i) {
        CComPtr<Kiv::IKivListItem> item;
        folder->GetChildItem(i, IID_PPV_ARGS(&item));
        CComPtr<IKivLogSysBlock> block;
        if (item && SUCCEEDED(item.QueryInterface(&block)) && block) {
            // A block stands for its entry line, then come its lines, then its return line.
            m_flatList.push_back(item);
            CComPtr<Kiv::IKivListItemFolder> inner;
            if (SUCCEEDED(block.QueryInterface(&inner)) && inner) {
                BuildListItemData(inner);
            }
            CComPtr<Kiv::IKivListItem> end;
            if (SUCCEEDED(block->GetEndLogSysLine(IID_PPV_ARGS(&end))) && end) {
                m_flatList.push_back(end);
            }
        } else {
            m_flatList.push_back(item);
        }
    }
}

HRESULT CKivLogSysThread::GetListItemCount(LONG* count)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysThread::GetListItemCount", &hr);
    if (count == nullptr) {
        return hr;
    }
    m_flatList.clear();
    try {
        BuildListItemData(FolderPart());
    } catch (const std::bad_alloc&) {
        m_flatList.clear();
        hr = E_OUTOFMEMORY;
        return hr;
    }
    *count = static_cast<LONG>(m_flatList.size());
    hr = S_OK;
    return hr;
}

HRESULT CKivLogSysThread::GetListItem(LONG index, REFIID riid, void** ppv)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysThread::GetListItem", &hr);
    if (m_flatList.empty()) {
        LONG count = 0;
        GetListItemCount(&count);
    }
    if (index < 0 || static_cast<std::size_t>(index) >= m_flatList.size()) {
        return hr;
    }
    const CComPtr<Kiv::IKivListItem>& entry = m_flatList[static_cast<std::size_t>(index)];
    hr = entry ? entry->QueryInterface(riid, ppv) : E_FAIL;
    return hr;
}

HRESULT CKivLogSysThread::BuildMethodSet(IKivLogSysMethodSet* methodSet)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysThread::BuildMethodSet", &hr);
    if (methodSet == nullptr) {
        return hr;
    }
    CThreadCalls calls;
    calls.Collect(LinePart());
    hr = calls.FileInto(methodSet);
    return hr;
}

HRESULT CKivLogSysThread::FindInterface(REFIID riid, void** ppv)
{
    // The thread's map stands alone: a thread is a folder, not a line or a block.
    return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysThread*>(this)},
                                    {Kiv::IKivListItem::Iid, LinePart()},
                                    {Kiv::IKivListItemFolder::Iid, static_cast<Kiv::IKivListItemFolder*>(this)},
                                    {IKivListItemEdit::Iid, static_cast<IKivListItemEdit*>(this)},
                                    {IKivLogSysThread::Iid, static_cast<IKivLogSysThread*>(this)},
                                    {IKivLogSysThreadEdit::Iid, static_cast<IKivLogSysThreadEdit*>(this)},
                                    {Kiv::IKivListAccess::Iid, static_cast<Kiv::IKivListAccess*>(this)}},
                                   riid, ppv);
}
