#include "CKivLogSysThread.h"

#include "CThreadCalls.h"
#include "EngineLog.h"

#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "KivPlatform/Boundary.h"

#include <new>

using Kiv::CComPtr;
using Kiv::CKivObject;

namespace {

// Creates a line or block for the record and appends it to the folder that the line's depth
// selected (block: that folder as one of the engine's own blocks, or null). E_OUTOFMEMORY, with
// the tree unchanged, when the object cannot be made or the engine's block has no room for it.
template <class Node, class Part>
HRESULT AppendToFolder(const KivLogSysLineInfo* info, Kiv::IKivListItemFolder* folder, CKivLogSysBlock* block)
{
    // The room comes first: the new object, made with no reference, is owned once listed.
    if (block != nullptr) {
        block->ReserveNewChild();
    }
    Node* node = CKivObject<Node>::CreateObject();
    if (node == nullptr) {
        return E_OUTOFMEMORY;
    }
    node->PutLineInfo(info);
    if (block != nullptr) {
        block->AppendNewChild(node);
        return S_OK;
    }
    const CComPtr<Part> held(node);
    LONG count = 0;
    if (SUCCEEDED(folder->GetChildCount(&count))) {
        IUnknown* const items[] = {held.Get()};
        folder->InsertChildItem(count, 1, items);
    }
    return S_OK;
}

} // namespace

HRESULT CKivLogSysThread::GetThreadId(DWORD* threadId)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysThread::GetThreadId", hr, E_INVALIDARG);
    if (threadId != nullptr) {
        *threadId = m_threadId;
        hr = S_OK;
    }
    return hr;
}

HRESULT CKivLogSysThread::SetThreadId(DWORD threadId)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysThread::SetThreadId", hr, S_OK);
    m_threadId = threadId;
    if (auto* parent = dynamic_cast<CKivLogSysBlock*>(m_parent)) {
        parent->OnChildThreadIdChanged();
    }
    return hr;
}

HRESULT CKivLogSysThread::FindEndFolderByParentItem(Kiv::IKivListItemFolder* folder, Kiv::IKivListItemFolder** end)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysThread::FindEndFolderByParentItem", hr, E_INVALIDARG);
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
    KIV_ENGINE_SCOPE(u"CKivLogSysThread::GetEndParentObject", hr, E_INVALIDARG);
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
    KIV_ENGINE_SCOPE(u"CKivLogSysThread::AddLine", hr, E_INVALIDARG);
    if (info == nullptr) {
        return hr;
    }
    if (m_linesAdded <= OwnArenaAfterLines && ++m_linesAdded > OwnArenaAfterLines) {
        // Without memory for it, the thread's objects go on coming from the loader's arena.
        m_arena.reset(new (std::nothrow) Kiv::LogSysMgr::ModelArena());
    }
    const Kiv::LogSysMgr::ModelArena::Use arena(m_arena.get());
    Kiv::IKivListItemFolder* parent = nullptr;
    CKivLogSysBlock* parentBlock = nullptr;
    if (hr = GetEndParentObject(info->depth, &parent, &parentBlock); FAILED(hr)) {
        return hr;
    }
    hr = Kiv::Platform::StatusFromExceptions([&] {
        switch (info->kind) {
        case KivLogSysLineKind::Text:
            return AppendToFolder<CKivLogSysLine, IKivLogSysLine>(info, parent, parentBlock);
        case KivLogSysLineKind::Enter:
            return AppendToFolder<CKivLogSysBlock, IKivLogSysBlock>(info, parent, parentBlock);
        case KivLogSysLineKind::Return: {
            // Closes the last block of the folder, whatever its name; a second return replaces
            // the end line the first one set.
            CKivLogSysBlock* const lastBlock = parentBlock != nullptr ? parentBlock->LastBlockChild() : nullptr;
            if (lastBlock != nullptr && lastBlock->IsCallBlock()) {
                lastBlock->PutEndLineInfo(info); // one of the engine's blocks, asked directly
                return S_OK;
            }
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
            return S_OK;
        }
        default:
            return S_OK;
        }
    });
    return hr;
}

void CKivLogSysThread::BuildListItemData(Kiv::IKivListItemFolder* folder, FlatList& list)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysThread::BuildListItemData");
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
            list.push_back(item);
            CComPtr<Kiv::IKivListItemFolder> inner;
            if (SUCCEEDED(block.QueryInterface(&inner)) && inner) {
                BuildListItemData(inner, list);
            }
            CComPtr<Kiv::IKivListItem> end;
            if (SUCCEEDED(block->GetEndLogSysLine(IID_PPV_ARGS(&end))) && end) {
                list.push_back(end);
            }
        } else {
            list.push_back(item);
        }
    }
}

HRESULT CKivLogSysThread::GetListItemCount(LONG* count)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysThread::GetListItemCount", hr, E_INVALIDARG);
    if (count == nullptr) {
        return hr;
    }
    if (m_flatList) {
        m_flatList->clear();
    }
    hr = Kiv::Platform::StatusFromExceptions([this] {
        if (!m_flatList) {
            m_flatList = std::make_unique<FlatList>();
        }
        BuildListItemData(FolderPart(), *m_flatList);
    });
    if (FAILED(hr)) {
        if (m_flatList) {
            m_flatList->clear(); // a part of the list would pass for the whole
        }
        return hr;
    }
    *count = static_cast<LONG>(m_flatList->size());
    hr = S_OK;
    return hr;
}

HRESULT CKivLogSysThread::GetListItem(LONG index, REFIID riid, void** ppv)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysThread::GetListItem", hr, E_INVALIDARG);
    if (!m_flatList || m_flatList->empty()) {
        LONG count = 0;
        GetListItemCount(&count);
    }
    if (!m_flatList || index < 0 || static_cast<std::size_t>(index) >= m_flatList->size()) {
        return hr;
    }
    const CComPtr<Kiv::IKivListItem>& entry = (*m_flatList)[static_cast<std::size_t>(index)];
    hr = entry ? entry->QueryInterface(riid, ppv) : E_FAIL;
    return hr;
}

HRESULT CKivLogSysThread::BuildMethodSet(IKivLogSysMethodSet* methodSet)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysThread::BuildMethodSet", hr, E_INVALIDARG);
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
