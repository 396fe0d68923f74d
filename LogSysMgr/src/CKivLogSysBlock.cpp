#include "CKivLogSysBlock.h"

#include "CKivLogSysFactory.h"
#include "EngineLog.h"
#include "ReserveFor.h"

#include "KivObject/InterfaceMap.h"

#include "KivPlatform/Boundary.h"

#include <algorithm>
#include <cassert>

using Kiv::CComPtr;

HRESULT CKivLogSysBlock::GetChildCount(LONG* count)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysBlock::GetChildCount", hr, E_INVALIDARG);
    if (count != nullptr) {
        *count = static_cast<LONG>(m_children.size());
        hr = S_OK;
    }
    return hr;
}

HRESULT CKivLogSysBlock::GetChildItem(LONG index, REFIID riid, void** ppv)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysBlock::GetChildItem", hr, E_INVALIDARG);
    if (index >= 0 && static_cast<std::size_t>(index) < m_children.size() && ppv != nullptr) {
        hr = m_children[static_cast<std::size_t>(index)]->QueryInterface(riid, ppv);
    }
    return hr;
}

HRESULT CKivLogSysBlock::InsertChildItem(LONG index, LONG count, IUnknown* const* items)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysBlock::InsertChildItem", hr, E_INVALIDARG);
    const auto size = static_cast<LONG>(m_children.size());
    // An index of size or size + 1 appends.
    if (index < 0 || index > size + 1 || count < 0 || items == nullptr) {
        return hr;
    }
    for (LONG j = 0; j < count; ++j) {
        if (items[j] == nullptr) {
            return hr; // nothing is inserted
        }
    }
    hr = Kiv::Platform::StatusFromExceptions([&] {
        // With the room made first, placing a child cannot fail, and every child placed is
        // accounted for in the last-folder answer at once.
        Kiv::LogSysMgr::ReserveFor(m_children, static_cast<std::size_t>(count));
        const std::size_t first = std::min(static_cast<std::size_t>(index), m_children.size());
        for (LONG j = 0; j < count; ++j) {
            CComPtr<IKivListItemEdit> edit;
            if (SUCCEEDED(items[j]->QueryInterface(IID_PPV_ARGS(&edit))) && edit) {
                edit->SetParent(FolderPart());
            }
            m_children.emplace(m_children.begin() + static_cast<std::ptrdiff_t>(first + j), items[j]);
            NoteInserted(first + j, 1);
        }
        return S_OK;
    });
    return hr;
}

HRESULT CKivLogSysBlock::RemoveChildItem(LONG count, IUnknown* const* items)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysBlock::RemoveChildItem", hr, E_INVALIDARG);
    if (count < 0 || items == nullptr) {
        return hr;
    }
    for (LONG j = 0; j < count; ++j) {
        if (items[j] == nullptr) {
            return hr;
        }
    }
    for (LONG j = 0; j < count; ++j) {
        // The very same pointer as stored, not the same object through another interface.
        const auto child = std::find(m_children.begin(), m_children.end(), items[j]);
        if (child == m_children.end()) {
            continue;
        }
        CComPtr<IKivListItemEdit> edit;
        if (SUCCEEDED(items[j]->QueryInterface(IID_PPV_ARGS(&edit))) && edit) {
            edit->SetParent(nullptr);
        }
        const auto removed = static_cast<std::size_t>(child - m_children.begin());
        m_children.erase(child);
        if (m_lastFolder != nullptr) {
            if (removed < LastFolderIndex()) {
                --m_lastFolderIndex;
            } else if (removed == LastFolderIndex()) {
                FindLastFolderBefore(removed);
            }
        }
    }
    hr = S_OK;
    return hr;
}

HRESULT CKivLogSysBlock::GetEndLineInfo(const KivLogSysLineInfo** info)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysBlock::GetEndLineInfo", hr, E_INVALIDARG);
    if (info == nullptr) {
        return hr;
    }
    if (!m_endLine) {
        *info = nullptr;
        hr = E_FAIL;
        return hr;
    }
    hr = m_endLine->GetLineInfo(info);
    return hr;
}

HRESULT CKivLogSysBlock::GetEndLogSysLine(REFIID riid, void** ppv)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysBlock::GetEndLogSysLine", hr, E_FAIL);
    if (!m_endLine) {
        if (ppv != nullptr) {
            *ppv = nullptr;
        }
        return hr;
    }
    hr = m_endLine->QueryInterface(riid, ppv);
    return hr;
}

HRESULT CKivLogSysBlock::GetThread(REFIID riid, void** ppv)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysBlock::GetThread", hr, E_FAIL);
    // Up the parents to the nearest one that is a thread.
    CComPtr<Kiv::IKivListItem> current = LinePart();
    while (true) {
        CComPtr<Kiv::IKivListItem> parent;
        if (hr = current->GetParent(IID_PPV_ARGS(&parent)); FAILED(hr)) {
            return hr;
        }
        CComPtr<IKivLogSysThread> thread;
        if (SUCCEEDED(parent.QueryInterface(&thread)) && thread) {
            hr = parent->QueryInterface(riid, ppv);
            return hr;
        }
        current = parent;
    }
}

HRESULT CKivLogSysBlock::PutEndLineInfo(const KivLogSysLineInfo* info)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysBlock::PutEndLineInfo", hr, E_FAIL);
    if (!m_endLine) {
        if (hr = CKivLogSysFactory::CreateLogSysLine(&m_endLine); FAILED(hr)) {
            return hr;
        }
    }
    CComPtr<IKivLogSysLineEdit> edit;
    if (hr = m_endLine.QueryInterface(&edit); SUCCEEDED(hr)) {
        hr = edit->PutLineInfo(info);
    }
    return hr;
}

HRESULT CKivLogSysBlock::FindInterface(REFIID riid, void** ppv)
{
    if (HRESULT hr = CKivLogSysLine::FindInterface(riid, ppv); SUCCEEDED(hr)) {
        return hr;
    }
    return Kiv::FindInterfaceInMap({{Kiv::IKivListItemFolder::Iid, static_cast<Kiv::IKivListItemFolder*>(this)},
                                    {IKivLogSysBlock::Iid, static_cast<IKivLogSysBlock*>(this)},
                                    {IKivLogSysBlockEdit::Iid, static_cast<IKivLogSysBlockEdit*>(this)}},
                                   riid, ppv);
}

void CKivLogSysBlock::ReserveNewChild()
{
    Kiv::LogSysMgr::ReserveFor(m_children, 1);
}

void CKivLogSysBlock::AppendNewChild(CKivLogSysLine* child) noexcept
{
    child->SetParent(FolderPart());
    m_children.emplace_back(static_cast<IKivLogSysLine*>(child));
}

void CKivLogSysBlock::AppendNewChild(CKivLogSysBlock* child) noexcept
{
    child->SetParent(FolderPart());
    m_children.emplace_back(static_cast<IKivLogSysBlock*>(child));
    SetLastFolder(m_children.size() - 1, child->FolderPart(), child);
}

void CKivLogSysBlock::RemoveAllChildren()
{
    m_children.clear();
    m_lastFolder = nullptr;
    m_lastFolderIndex = 0;
}

void CKivLogSysBlock::NoteInserted(std::size_t position, std::size_t count)
{
    if (m_lastFolder != nullptr && LastFolderIndex() >= position) {
        m_lastFolderIndex += static_cast<std::uint32_t>(count);
    }
    // The last inserted folder that stands after the known one becomes the last folder.
    for (std::size_t i = position + count; i-- > position;) {
        if (m_lastFolder != nullptr && i < LastFolderIndex()) {
            break;
        }
        CComPtr<Kiv::IKivListItemFolder> folder;
        if (SUCCEEDED(m_children[i].QueryInterface(&folder)) && folder) {
            SetLastFolder(i, folder, dynamic_cast<CKivLogSysBlock*>(folder.Get()));
            break;
        }
    }
}

void CKivLogSysBlock::FindLastFolderBefore(std::size_t end)
{
    m_lastFolder = nullptr;
    m_lastFolderIndex = 0;
    for (std::size_t i = end; i-- > 0;) {
        CComPtr<Kiv::IKivListItemFolder> folder;
        if (SUCCEEDED(m_children[i].QueryInterface(&folder)) && folder) {
            SetLastFolder(i, folder, dynamic_cast<CKivLogSysBlock*>(folder.Get()));
            return;
        }
    }
}

void CKivLogSysBlock::SetLastFolder(std::size_t index, Kiv::IKivListItemFolder* folder, CKivLogSysBlock* block)
{
    // A block's own folder part is the folder, so the block is found again from it.
    assert(block == nullptr || block->FolderPart() == folder);
    m_lastFolder = folder;
    m_lastFolderIndex = static_cast<std::uint32_t>(index) | (block != nullptr ? LastFolderIsBlock : 0);
}
