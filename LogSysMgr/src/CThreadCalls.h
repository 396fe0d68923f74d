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

class CKivLogSysMethodInfo;
class CKivLogSysMethodSet;

namespace Kiv::LogSysMgr {
class MethodHandOff;
}

class CThreadCalls {
public:
    // Walks the tree under folder. A call with a negative text length stops the walk with
    // E_INVALIDARG; what was collected before it stays.
    HRESULT Collect(Kiv::IKivListItem* folder) noexcept;
    // Looks up the method of every distinct entry text in the set, in the order of their first
    // calls (once; FileInto does it when it has not been done). With a hand-off, the engine's own
    // set hands new methods to it instead of filing them into its namespace tree (see
    // CKivLogSysMethodSet::MethodOf).
    HRESULT Resolve(IKivLogSysMethodSet* methodSet, Kiv::LogSysMgr::MethodHandOff* handOff = nullptr) noexcept;
    // The number of distinct entry texts, once collected: at most this many methods are new to a
    // set when it resolves them.
    std::size_t DistinctTexts() const noexcept { return m_texts.Size(); }
    // After Resolve: tells each method (the engine's method informations) how many of its calls
    // were collected, and then, once every thread has told, makes room for them all. Throws
    // std::bad_alloc.
    void AnnounceCalls() const;
    void MakeRoomForCalls() const;
    // Files the collected calls in order, each under the method of its entry text, and gives
    // the walk's status when filing itself succeeds. The engine's own methods take the collected
    // references over, so the calls are filed once.
    HRESULT FileInto(IKivLogSysMethodSet* methodSet) noexcept;

    // After Resolve with the engine's own set: its methods, by text number (each new method of
    // the set appears first in the order the set made them), and the number of calls collected.
    const std::vector<CKivLogSysMethodInfo*>& OwnMethods() const noexcept { return m_ownMethods; }
    std::size_t CallCount() const noexcept { return m_callTexts.size(); }
    // Files, as FileInto does, the collected calls of the methods given to side (see
    // CKivLogSysMethodInfo::SetFilingSide), so that two threads can file one thread's calls side by
    // side; the walk's status when filing succeeds.
    HRESULT FileOwnCalls(std::uint8_t side) noexcept;

private:

    HRESULT Walk(Kiv::IKivListItem* folder);
    // The method of an entry text in the engine's own set, as GetMethodInfo of the text's UTF-16
    // name would give it. Throws std::bad_alloc.
    static HRESULT MethodOfText(CKivLogSysMethodSet& methodSet, std::string_view text, CKivLogSysMethodInfo** method,
                                Kiv::LogSysMgr::MethodHandOff* handOff);

    // The distinct entry texts, numbered in the order they were met; they lie in the file's text.
    Kiv::LogSysMgr::MethodNameIndex m_texts{Kiv::LogSysMgr::MethodNameIndex::Names::Borrowed};
    // The calls in walk order: each block and the number of its entry text, side by side (a
    // large trace has millions of calls, all collected before any is filed).
    std::vector<Kiv::CComPtr<IKivLogSysBlock>> m_callBlocks;
    std::vector<std::uint32_t> m_callTexts;
    // The method of each text number, once resolved: in a set of another kind, or in the engine's
    // own set, which holds its methods while the calls are filed.
    std::vector<Kiv::CComPtr<IKivLogSysMethodInfoEdit>> m_methods;
    std::vector<CKivLogSysMethodInfo*> m_ownMethods;
    HRESULT m_walkStatus = S_OK;
};
