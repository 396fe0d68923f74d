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

// Starts fetching a text's bytes: its first and its last cache line (a name is short, but often
// crosses a line's end).
void PrefetchText(std::string_view text)
{
    if (!text.empty()) {
        __builtin_prefetch(text.data());
        __builtin_prefetch(text.data() + text.size() - 1);
    }
}

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
            PrefetchText(entryTexts[i + 4 * FetchAhead]);
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

HRESULT CThreadCalls::Resolve(IKivLogSysMethodSet* methodSet, Kiv::LogSysMgr::MethodHandOff* handOff) noexcept
{
    if (m_methods.size() + m_ownMethods.size() == m_texts.Size()) {
        return S_OK;
    }
    auto* const ownSet = dynamic_cast<CKivLogSysMethodSet*>(methodSet);
    return Kiv::Platform::StatusFromExceptions([&] {
        // Each distinct text is looked up in the set in the order of its first call, as a walk
        // would look it up.
        if (ownSet == nullptr) {
            std::vector<CComPtr<IKivLogSysMethodInfoEdit>> methods(m_texts.Size());
            for (std::uint32_t text = 0; text < m_texts.Size(); ++text) {
                const Kiv::CComBSTR name = Kiv::LogSysMgr::AnsiToBstr(m_texts.Name(text));
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
        }
        std::vector<CKivLogSysMethodInfo*> methods(m_texts.Size());
        for (std::uint32_t text = 0; text < m_texts.Size(); ++text) {
            if (text + 4 * FetchAhead < m_texts.Size()) {
                PrefetchText(m_texts.Name(text + 4 * FetchAhead));
            }
            if (text + FetchAhead < m_texts.Size()) {
                ownSet->PrefetchMethod(m_texts.Name(text + FetchAhead));
            }
            if (const HRESULT hr = MethodOfText(*ownSet, m_texts.Name(text), &methods[text], handOff); FAILED(hr)) {
                return hr;
            }
        }
        m_ownMethods.swap(methods);
        return S_OK;
    });
}

HRESULT CThreadCalls::MethodOfText(CKivLogSysMethodSet& methodSet, std::string_view text, CKivLogSysMethodInfo** method,
                                   Kiv::LogSysMgr::MethodHandOff* handOff)
{
    // The set looks a name up by its code page 932 bytes. ASCII bytes come back from UTF-16 as
    // they were, so they are the key themselves; any other text is asked as its UTF-16 name,
    // which the set converts back.
    if (Kiv::LogSysMgr::IsAscii(text)) {
        return methodSet.MethodOf(text, nullptr, method, handOff);
    }
    const Kiv::CComBSTR name = Kiv::LogSysMgr::AnsiToBstr(text);
    if (name == nullptr) {
        return E_OUTOFMEMORY;
    }
    return methodSet.MethodOf(Kiv::Platform::Utf16ToAnsi(name.View()), name, method, handOff);
}

void CThreadCalls::AnnounceCalls() const
{
    std::vector<std::size_t> counts(m_texts.Size());
    for (const std::uint32_t text : m_callTexts) {
        ++counts[text];
    }
    for (std::size_t text = 0; text < m_ownMethods.size(); ++text) {
        m_ownMethods[text]->AnnounceCalls(counts[text]);
    }
}

void CThreadCalls::MakeRoomForCalls() const
{
    for (CKivLogSysMethodInfo* const method : m_ownMethods) {
        method->MakeRoomForAnnouncedCalls();
    }
}

HRESULT CThreadCalls::FileInto(IKivLogSysMethodSet* methodSet) noexcept
{
    if (const HRESULT hr = Resolve(methodSet); FAILED(hr)) {
        return hr;
    }
    return Kiv::Platform::StatusFromExceptions([&] {
        for (std::size_t i = 0; i < m_callTexts.size(); ++i) {
            // The engine's own methods take the collected references over; others are asked.
            const std::uint32_t text = m_callTexts[i];
            const HRESULT hr = m_ownMethods.empty() ? m_methods[text]->AddBlock(m_callBlocks[i])
                                                    : m_ownMethods[text]->TakeCall(std::move(m_callBlocks[i]));
            if (FAILED(hr)) {
                return hr;
            }
        }
        return m_walkStatus;
    });
}

HRESULT CThreadCalls::FileOwnCalls(std::uint8_t side) noexcept
{
    return Kiv::Platform::StatusFromExceptions([&] {
        for (std::size_t i = 0; i < m_callTexts.size(); ++i) {
            CKivLogSysMethodInfo* const method = m_ownMethods[m_callTexts[i]];
            if (method->FilingSide() != side) {
                continue;
            }
            if (const HRESULT hr = method->TakeCall(std::move(m_callBlocks[i])); FAILED(hr)) {
                return hr;
            }
        }
        return m_walkStatus;
    });
}
