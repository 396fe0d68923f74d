// CKivLogThreadPage: the walk over a thread's call tree.
#include "CKivLogThreadPage.h"

using Kiv::CComPtr;
using Kiv::IKivListItem;

CKivLogThreadPage::CKivLogThreadPage(IKivLogSysThread* thread) : m_thread(thread)
{
    if (m_thread == nullptr) {
        return;
    }
    m_thread->GetThreadId(&m_threadId);
    CComPtr<IKivListItem> root;
    if (SUCCEEDED(m_thread->QueryInterface(IID_PPV_ARGS(&root)))) {
        Collect(root);
    }
    // The page keeps one pointer per line, not the growth room of its collection.
    m_lines.shrink_to_fit();
}

void CKivLogThreadPage::Collect(IKivListItem* item)
{
    // Nesting is bounded by the format's 127 levels of indentation, so recursion stays shallow.
    const auto collectChildren = [this, item] {
        LONG count = 0;
        if (FAILED(item->GetChildCount(&count))) {
            return;
        }
        for (LONG i = 0; i < count; ++i) {
            CComPtr<IKivListItem> child;
            if (SUCCEEDED(item->GetChildItem(i, IID_PPV_ARGS(&child)))) {
                Collect(child);
            }
        }
    };
    const KivLogSysLineInfo* record = nullptr;
    CComPtr<IKivLogSysBlock> block;
    if (SUCCEEDED(item->QueryInterface(IID_PPV_ARGS(&block)))) {
        if (SUCCEEDED(block->GetLineInfo(&record)) && record != nullptr) {
            m_lines.push_back(record);
        }
        collectChildren();
        const KivLogSysLineInfo* end = nullptr;
        if (SUCCEEDED(block->GetEndLineInfo(&end)) && end != nullptr) {
            m_lines.push_back(end);
        }
        return;
    }
    CComPtr<IKivLogSysLine> line;
    if (SUCCEEDED(item->QueryInterface(IID_PPV_ARGS(&line)))) {
        if (SUCCEEDED(line->GetLineInfo(&record)) && record != nullptr) {
            m_lines.push_back(record);
        }
        return;
    }
    collectChildren();
}

HRESULT CKivLogThreadPage::GetViewLineCount(LONG* count)
{
    if (m_thread == nullptr) {
        return E_FAIL;
    }
    *count = static_cast<LONG>(m_lines.size());
    return S_OK;
}

HRESULT CKivLogThreadPage::GetViewLine(LONG index, const KivLogSysLineInfo** line)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_lines.size()) {
        return E_FAIL;
    }
    *line = m_lines[static_cast<std::size_t>(index)];
    return S_OK;
}
