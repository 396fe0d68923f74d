// CKivLogSysMethodInfo: every call of one traced method. It gives the calls (blocks) in the order
// of their entry line numbers, a later-added call after earlier ones with the same number, and,
// on first request, the threads that made them and the calls of each thread.
//
// The index is filled one thread after another, so calls of one method arrive in runs that
// interleave: they are appended as they come and put in order once, when first read.
//
// Thread-safety: filled (AddBlock, SetName) by one thread. Afterwards every reading operation may
// be called from several threads at once: what is collected on first request (the order of the
// calls, the calling threads, the calls of a thread) is collected once, under a lock. A trace may
// name millions of methods, most of them never asked for their threads, so the lock is one of a
// small shared set, what is collected lives in a part of its own, made on first request, and the
// object takes its memory from the model allocator, without a heap block's header.
#pragma once

#include "CountedName.h"
#include "ModelAllocator.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class CKivLogSysMethodInfo : public IKivLogSysMethodInfo,
                             public IKivLogSysMethodInfoEdit,
                             public Kiv::LogSysMgr::CModelAllocated {
public:
    CKivLogSysMethodInfo() = default;
    virtual ~CKivLogSysMethodInfo() = default;

    // IKivLogSysMethodInfo
    HRESULT GetName(BSTR* name) override;
    HRESULT GetLineCount(LONG* count) override;
    HRESULT GetLineInfo(LONG index, REFIID riid, void** ppv) override;
    HRESULT GetRefThreadCount(LONG* count) override;
    HRESULT GetRefThread(LONG index, REFIID riid, void** ppv) override;
    HRESULT GetThreadLineCount(DWORD threadId, LONG* count) override;
    HRESULT GetThraedLine(DWORD threadId, LONG index, REFIID riid, void** ppv) override;
    // IKivLogSysMethodInfoEdit
    HRESULT AddBlock(IKivLogSysBlock* block) override;
    HRESULT SetName(BSTR name) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

    // Names the method after an entry text (code page 932 bytes), as SetName of its UTF-16 text
    // would, keeping the bytes: most methods of a large trace are never asked their name, and the
    // bytes take half the room. E_OUTOFMEMORY when they cannot be kept.
    HRESULT SetTextName(std::string_view text) noexcept;

    // Announces count calls that are about to be added; MakeRoomForAnnouncedCalls then makes the
    // list of calls large enough for all of them at once instead of growing it call by call.
    // Throws std::bad_alloc.
    void AnnounceCalls(std::size_t count) { m_announcedCalls += static_cast<std::uint32_t>(count); }
    std::uint32_t AnnouncedCalls() const noexcept { return m_announcedCalls; }
    void MakeRoomForAnnouncedCalls()
    {
        m_calls.reserve(m_calls.size() + m_announcedCalls);
        m_announcedCalls = 0;
    }
    // Which of two threads files this method's calls while a root builds its set: all of one
    // method's calls are filed by one thread. NoFilingSide until one is given.
    static constexpr std::uint8_t NoFilingSide = 0xFF;
    void SetFilingSide(std::uint8_t side) noexcept { m_filingSide = side; }
    std::uint8_t FilingSide() const noexcept { return m_filingSide; }
    // Adds a call as AddBlock does, taking the caller's reference over (block is null
    // afterwards, whatever the outcome): the method index files millions of calls, and asking
    // each for another interface and counting a second reference, to drop the first one later,
    // touches every call twice more.
    HRESULT TakeCall(Kiv::CComPtr<IKivLogSysBlock>&& block) noexcept;

private:
    struct Call {
        LONG lineNumber; // of the entry line
        Kiv::CComPtr<Kiv::IKivListItem> block; // never null
    };
    // The calls in a list that keeps a single call in place: most methods of a large trace are
    // called once, and a heap block for that one call would cost more than the call itself. A
    // second call moves the first into a vector of its own. No block is null, so an empty block
    // in place marks a list with no call there.
    class CallList {
    public:
        std::size_t size() const noexcept { return m_many ? m_many->size() : (m_one.block ? 1 : 0); }
        bool empty() const noexcept { return size() == 0; }
        Call* begin() noexcept { return m_many ? m_many->data() : &m_one; }
        Call* end() noexcept { return begin() + size(); }
        const Call* begin() const noexcept { return m_many ? m_many->data() : &m_one; }
        const Call* end() const noexcept { return begin() + size(); }
        const Call& back() const noexcept { return end()[-1]; }
        const Call& operator[](std::size_t index) const noexcept { return begin()[index]; }
        // Room for count calls in all. Throws std::bad_alloc (unchanged).
        void reserve(std::size_t count);
        // Throws std::bad_alloc (unchanged).
        void push_back(Call&& call);

    private:
        Call m_one{};
        std::unique_ptr<std::vector<Call>> m_many;
    };

    // What is collected on first request.
    struct Collected {
        // The calling threads in order of their first call; built once by GetRefThreadCount.
        std::vector<Kiv::CComPtr<Kiv::IKivListItem>> threads;
        std::map<DWORD, std::vector<LONG>> threadLines;
    };

    // Appends call, whose entry line block gives. Throws std::bad_alloc.
    HRESULT AppendCall(IKivLogSysBlock* block, Kiv::CComPtr<Kiv::IKivListItem> call);
    // The lock that guards the sorting of m_calls and m_collected.
    std::mutex& LazyLock() const;
    // m_collected, made on first use; with LazyLock held. Throws std::bad_alloc.
    Collected& CollectedLocked();
    // Puts the calls in line order (a stable sort: equal line numbers keep the order they came
    // in), once; SortCallsLocked with LazyLock held.
    void SortCalls();
    void SortCallsLocked();
    // The indexes into m_calls of the calls made by the thread, collected on first request. The
    // list stays where it is, unchanged, while the object lives.
    HRESULT ThreadLines(DWORD threadId, const std::vector<LONG>** lines);

    // The name: m_textName when it holds one (SetTextName), m_name otherwise (SetName).
    Kiv::CComBSTR m_name;
    Kiv::LogSysMgr::CountedName m_textName;
    CallList m_calls;
    // Whether m_calls is in line order; read without the lock, set under it.
    std::atomic<bool> m_callsSorted{true};
    std::uint8_t m_filingSide = NoFilingSide; // beside the flag, in what would be padding
    std::uint32_t m_announcedCalls = 0;       // the same
    std::unique_ptr<Collected> m_collected;
};
