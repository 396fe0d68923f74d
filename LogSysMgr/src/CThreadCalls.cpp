#include "CThreadCalls.h"

#include "AnsiBstr.h"
#include "CKivLogSysBlock.h"
#include "CKivLogSysMethodInfo.h"
#include "CKivLogSysMethodSet.h"

#include "KivObject/ComBSTR.h"

#include "KivPlatform/Boundary.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

using Kiv::CComPtr;

namespace {

// Tables of millions of names are looked up in a known order: what a lookup reads is fetched
// this many lookups ahead (and the text's bytes, which the hash reads, four times as far).
constexpr std::size_t FetchAhead = 8;

} // namespace

HRESULT CThreadCalls::Collect(Kiv::IKivListItem* folder) noexcept
{
    m_walkStatus = Kiv::Platform::StatusFromExceptions([&] { return Walk(folder); });
    return m_walkStatus;
}

HRESULT CThreadCalls::Walk(Kiv::IKivListItem* folder)
{
    // Iterative depth-first walk: damaged traces nest deep, and this may run on any thread.
    struct Level {
        CComPtr<Kiv::IKivListItem> folder;
        const CKivLogSysBlock* block; // the folder as one of the engine's blocks, or null
        LONG count;
        LONG next;
    };
    // The entry texts lie in the file's text, far from the model: they are read in a second
    // pass, in order, with the next ones fetched ahead, instead of one cache miss per call.
    std::vector<std::string_view> entryTexts;
    std::vector<CComPtr<IKivLogSysBlock>> blocks;
    HRESULT status = S_OK;
    std::vector<Level> path;
    LONG count = 0;
    if (HRESULT hr = folder->GetChildCount(&count); FAILED(hr)) {
        return hr;
    }
    path.push_back({folder, dynamic_cast<const CKivLogSysBlock*>(folder), count, 0});
    while (!path.empty() && status == S_OK) {
        Level& level = path.back();
        if (level.next == level.count) {
            path.pop_back();
            continue;
        }
        // The engine's own blocks hand their children over directly; anything else is asked.
        CComPtr<IKivLogSysBlock> block;
        const LONG next = level.next++;
        const HRESULT found = level.block != nullptr
                                  ? level.block->Children()[static_cast<std::size_t>(next)].QueryInterface(&block)
                                  : level.folder->GetChildItem(next, IID_PPV_ARGS(&block));
        if (FAILED(found) || !block) {
            continue; // plain lines are passed over
        }
        const KivLogSysLineInfo* entry = nullptr;
        if (FAILED(status = block->GetLineInfo(&entry))) {
            break;
        }
        if (entry->textLength < 0 || (entry->textLength > 0 && entry->text == nullptr)) {
            status = E_INVALIDARG;
            break;
        }
        entryTexts.emplace_back(entry->text, static_cast<std::size_t>(entry->textLength));
        blocks.push_back(block);
        LONG children = 0;
        block->GetChildCount(&children);
        path.push_back({Kiv::CComPtr<Kiv::IKivListItem>(block.Get()), dynamic_cast<const CKivLogSysBlock*>(block.Get()),
                        children, 0});
    }

    m_callTexts.reserve(entryTexts.size());
    for (std::size_t i = 0; i < entryTexts.size(); ++i) {
        if (i + 4 * FetchAhead < entryTexts.size()) {
            __builtin_prefetch(entryTexts[i + 4 * FetchAhead].data());
        }
        if (i + FetchAhead < entryTexts.size()) {
            m_texts.Prefetch(entryTexts[i + FetchAhead]);
        }
        const std::optional<std::uint32_t> known = m_texts.Find(entryTexts[i]);
        m_callTexts.push_back(known ? *known : m_texts.Add(entryTexts[i]));
    }
    m_callBlocks = std::move(blocks);
    return status;
}

HRESULT CThreadCalls::Resolve(IKivLogSysMethodSet* methodSet) noexcept
{
    if (m_methods.size() == m_texts.Size()) {
        return S_OK;
    }
    auto* const ownSet = dynamic_cast<CKivLogSysMethodSet*>(methodSet);
    return Kiv::Platform::StatusFromExceptions([&] {
        // Each distinct text is looked up in the set in the order of its first call, as a walk
        // would look it up.
        std::vector<CComPtr<IKivLogSysMethodInfoEdit>> methods(m_texts.Size());
        for (std::uint32_t text = 0; text < m_texts.Size(); ++text) {
            if (ownSet != nullptr && text + 4 * FetchAhead < m_texts.Size()) {
                __builtin_prefetch(m_texts.Name(text + 4 * FetchAhead).data());
            }
            if (ownSet != nullptr && text + FetchAhead < m_texts.Size()) {
                ownSet->PrefetchMethod(m_texts.Name(text + FetchAhead));
            }
            const std::string_view bytes = m_texts.Name(text);
            // A set asked by name looks the name up by its code page 932 bytes again; ASCII bytes
            // come back from UTF-16 as they were, so the engine's own set is asked by the bytes
            // themselves, without the name in UTF-16 in between.
            if (ownSet != nullptr && Kiv::LogSysMgr::IsAscii(bytes)) {
                CKivLogSysMethodInfo* method = nullptr;
                if (const HRESULT hr = ownSet->MethodOf(bytes, nullptr, &method); FAILED(hr)) {
                    return hr;
                }
                methods[text] = method;
                continue;
            }
            // The whole text is the name, NUL bytes and all, so it goes as a BSTR.
            const Kiv::CComBSTR name = Kiv::LogSysMgr::AnsiToBstr(bytes);
            if (name == nullptr) {
                return E_OUTOFMEMORY;
            }
            methodSet->GetMethodInfo(name, IID_PPV_ARGS(&methods[text]));
            if (!methods[text]) {
                return E_OUTOFMEMORY;
            }
        }
        m_methods.swap(methods);
        return S_OK;
    });
}

void CThreadCalls::AnnounceCalls() const
{
    std::vector<std::size_t> counts(m_texts.Size());
    for (const std::uint32_t text : m_callTexts) {
        ++counts[text];
    }
    for (std::uint32_t text = 0; text < m_texts.Size(); ++text) {
        if (auto* method = dynamic_cast<CKivLogSysMethodInfo*>(m_methods[text].Get())) {
            method->AnnounceCalls(counts[text]);
        }
    }
}

void CThreadCalls::MakeRoomForCalls() const
{
    for (const CComPtr<IKivLogSysMethodInfoEdit>& method : m_methods) {
        if (auto* info = dynamic_cast<CKivLogSysMethodInfo*>(method.Get())) {
            info->MakeRoomForAnnouncedCalls();
        }
    }
}

HRESULT CThreadCalls::FileInto(IKivLogSysMethodSet* methodSet) noexcept
{
    if (const HRESULT hr = Resolve(methodSet); FAILED(hr)) {
        return hr;
    }
    return Kiv::Platform::StatusFromExceptions([&] {
        // The engine's own methods take the collected references over; others are asked.
        std::vector<CKivLogSysMethodInfo*> own(m_methods.size());
        for (std::size_t text = 0; text < m_methods.size(); ++text) {
            own[text] = dynamic_cast<CKivLogSysMethodInfo*>(m_methods[text].Get());
        }
        for (std::size_t i = 0; i < m_callTexts.size(); ++i) {
            CKivLogSysMethodInfo* const method = own[m_callTexts[i]];
            const HRESULT hr = method != nullptr ? method->TakeCall(std::move(m_callBlocks[i]))
                                                 : m_methods[m_callTexts[i]]->AddBlock(m_callBlocks[i]);
            if (FAILED(hr)) {
                return hr;
            }
        }
        return m_walkStatus;
    });
}
