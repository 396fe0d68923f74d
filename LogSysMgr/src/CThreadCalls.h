// CThreadCalls: the calls of one thread's tree as the method index files them — depth first, in
// child order — each with the index of its entry text among the thread's distinct entry texts.
// Collecting reads every object and entry text of the tree and changes nothing, so the calls of
// several threads can be collected at once; filing them into the method set is done one thread
// after another, in the root's order, so that the index comes out as a walk of each thread in
// turn would make it.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include "MethodNameIndex.h"

#include "KivObject/ComPtr.h"

#include <cstdint>
#include <string_view>
#include <vector>

class CThreadCalls {
public:
    // Walks the tree under folder. A call with a negative text length stops the walk with
    // E_INVALIDARG; what was collected before it stays.
    HRESULT Collect(Kiv::IKivListItem* folder) noexcept;
    // Files the collected calls in order, each under the method of its entry text, and gives
    // the walk's status when filing itself succeeds.
    HRESULT FileInto(IKivLogSysMethodSet* methodSet) noexcept;

private:
    struct Call {
        std::uint32_t text; // number of the entry text in m_texts
        Kiv::CComPtr<IKivLogSysBlock> block;
    };

    HRESULT Walk(Kiv::IKivListItem* folder);

    // The distinct entry texts, numbered in the order they were met; they lie in the file's text.
    Kiv::LogSysMgr::MethodNameIndex m_texts{Kiv::LogSysMgr::MethodNameIndex::Names::Borrowed};
    std::vector<Call> m_calls;
    HRESULT m_walkStatus = S_OK;
};
