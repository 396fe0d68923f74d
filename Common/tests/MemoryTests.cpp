// Memory buffers: growth, the operations at their edges, copy on write, sharing by allocator
// kind, running out of memory (with an allocator that refuses on request), and a randomized
// comparison with a plain byte vector.
#include "KivCommon/KivCommon.h"

#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace Kiv;

namespace {

// A C runtime allocator that refuses every request while it is armed. It reports the C runtime
// kind, so its buffers share blocks with ordinary C runtime buffers.
class CRefusingAllocator : public IKivMemoryAlloc {
public:
    const GUID* GetAllocatorKind() override { return &KivAllocatorKind_CRT; }
    void* Alloc(std::size_t size) override { return m_refuse ? nullptr : std::malloc(size); }
    void Free(void* block) override { std::free(block); }
    void* Realloc(void* block, std::size_t size) override { return m_refuse ? nullptr : std::realloc(block, size); }
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivMemoryAlloc::Iid, this}}, riid, ppv);
    }

    bool m_refuse = false;
};

CComPtr<IKivMemory> NewCrt()
{
    return CComPtr<IKivMemory>(GetMemoryUtil()->CreateMemory_CRT());
}

CComPtr<IKivMemory> NewCom()
{
    return CComPtr<IKivMemory>(GetMemoryUtil()->CreateMemory_COM());
}

std::string Contents(IKivMemory* memory)
{
    return std::string(reinterpret_cast<const char*>(memory->GetPtr()), memory->GetSize());
}

void Fill(IKivMemory* memory, const std::string& text)
{
    BYTE* data = memory->SetSize(static_cast<DWORD>(text.size()));
    ASSERT_NE(data, nullptr);
    std::memcpy(data, text.data(), text.size());
}

TEST(MemoryTest, NewBufferIsEmptyAndGrowsByHalfItsCapacity)
{
    const auto memory = NewCrt();
    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->GetSize(), 0u);
    EXPECT_EQ(memory->GetBlock()->capacity, 0u);
    EXPECT_EQ(memory->GetBlock()->shareCount, 1);
    const struct {
        DWORD size;
        DWORD capacity;
    } steps[] = {{1, 1}, {10, 10}, {11, 16}, {16, 16}, {17, 25}, {0, 25}, {3, 25}};
    for (const auto& step : steps) {
        ASSERT_NE(memory->SetSize(step.size), nullptr);
        EXPECT_EQ(memory->GetSize(), step.size);
        EXPECT_EQ(memory->GetBlock()->capacity, step.capacity) << "after SetSize(" << step.size << ")";
    }
}

TEST(MemoryTest, ContentsSurviveGrowth)
{
    const auto memory = NewCrt();
    Fill(memory, "abcdef");
    BYTE* added = memory->Add(100);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added, memory->GetPtr() + 6);
    EXPECT_EQ(memory->GetSize(), 106u);
    EXPECT_EQ(Contents(memory).substr(0, 6), "abcdef");
}

TEST(MemoryTest, ReduceInsertDeleteAtTheirEdges)
{
    struct Case {
        const char* name;
        std::function<void(IKivMemory*)> operation;
        std::string expected;
    };
    const Case cases[] = {
        {"Reduce by more than the size", [](IKivMemory* m) { EXPECT_EQ(m->Reduce(7), S_OK); }, ""},
        {"Reduce by the size", [](IKivMemory* m) { EXPECT_EQ(m->Reduce(6), S_OK); }, ""},
        {"Reduce by 2", [](IKivMemory* m) { EXPECT_EQ(m->Reduce(2), S_OK); }, "abcd"},
        {"Insert in the middle",
         [](IKivMemory* m) {
             BYTE* gap = m->Insert(2, 3);
             ASSERT_EQ(gap, m->GetPtr() + 2);
             std::memcpy(gap, "XYZ", 3);
         },
         "abXYZcdef"},
        {"Insert nothing", [](IKivMemory* m) { EXPECT_EQ(m->Insert(2, 0), nullptr); }, "abcdef"},
        {"Insert at the end",
         [](IKivMemory* m) {
             BYTE* gap = m->Insert(6, 2);
             ASSERT_EQ(gap, m->GetPtr() + 6);
             std::memcpy(gap, "gh", 2);
         },
         "abcdefgh"},
        {"Delete in the middle", [](IKivMemory* m) { EXPECT_EQ(m->Delete(1, 2), S_OK); }, "adef"},
        {"Delete at the size", [](IKivMemory* m) { EXPECT_EQ(m->Delete(6, 2), S_OK); }, "abcdef"},
        {"Delete past the end", [](IKivMemory* m) { EXPECT_EQ(m->Delete(4, 100), S_OK); }, "abcd"},
        {"Delete nothing", [](IKivMemory* m) { EXPECT_EQ(m->Delete(0, 0), S_OK); }, "abcdef"},
        {"Clear", [](IKivMemory* m) { EXPECT_EQ(m->Clear(), S_OK); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto memory = NewCrt();
        Fill(memory, "abcdef");
        const DWORD capacity = memory->GetBlock()->capacity;
        c.operation(memory);
        EXPECT_EQ(Contents(memory), c.expected);
        EXPECT_GE(memory->GetBlock()->capacity, capacity);
    }
}

TEST(MemoryTest, InsertBeyondTheSizeGrowsToPositionPlusCount)
{
    const auto memory = NewCrt();
    Fill(memory, "ab");
    BYTE* gap = memory->Insert(10, 4);
    ASSERT_NE(gap, nullptr);
    EXPECT_EQ(gap, memory->GetPtr() + 10);
    EXPECT_EQ(memory->GetSize(), 14u);
    EXPECT_EQ(Contents(memory).substr(0, 2), "ab");
}

TEST(MemoryTest, SizesBeyond32BitsAreRefusedAndChangeNothing)
{
    const auto memory = NewCrt();
    Fill(memory, "abc");
    EXPECT_EQ(memory->Add(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(memory->Add(0xFFFFFFFDu), nullptr);
    EXPECT_EQ(memory->Insert(1, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(memory->Insert(0xFFFFFFF0u, 0x20u), nullptr);
    EXPECT_EQ(Contents(memory), "abc");
}

TEST(MemoryTest, EveryChangeAfterCopyLeavesTheOtherBufferAlone)
{
    struct Case {
        const char* name;
        std::function<void(IKivMemory*)> change;
    };
    const Case cases[] = {
        {"SetSize", [](IKivMemory* m) { std::memset(m->SetSize(2), 'x', 2); }},
        {"SetSize larger", [](IKivMemory* m) { std::memset(m->SetSize(40), 'x', 40); }},
        {"Resize", [](IKivMemory* m) { std::memset(m->Resize(3), 'x', 3); }},
        {"Add", [](IKivMemory* m) { std::memset(m->Add(2), 'x', 2); }},
        {"Reduce", [](IKivMemory* m) { EXPECT_EQ(m->Reduce(1), S_OK); }},
        {"Insert", [](IKivMemory* m) { std::memset(m->Insert(0, 2), 'x', 2); }},
        {"Delete", [](IKivMemory* m) { EXPECT_EQ(m->Delete(0, 2), S_OK); }},
        {"Clear", [](IKivMemory* m) { EXPECT_EQ(m->Clear(), S_OK); }},
        {"GetWritablePtr", [](IKivMemory* m) { m->GetWritablePtr()[0] = 'x'; }},
    };
    for (const Case& c : cases) {
        for (const bool changeTheSource : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (changeTheSource ? " on the source" : " on the copy"));
            const auto source = NewCrt();
            const auto copy = NewCrt();
            Fill(source, "source bytes");
            Fill(copy, "old");
            ASSERT_EQ(copy->Copy(source), S_OK);
            ASSERT_EQ(copy->GetBlock(), source->GetBlock());
            EXPECT_EQ(source->GetBlock()->shareCount, 2);
            EXPECT_EQ(Contents(copy), "source bytes");

            IKivMemory* changed = changeTheSource ? source.Get() : copy.Get();
            IKivMemory* other = changeTheSource ? copy.Get() : source.Get();
            c.change(changed);
            EXPECT_NE(changed->GetBlock(), other->GetBlock());
            EXPECT_EQ(other->GetBlock()->shareCount, 1);
            EXPECT_EQ(changed->GetBlock()->shareCount, 1);
            EXPECT_EQ(Contents(other), "source bytes");
        }
    }
}

TEST(MemoryTest, CopyBetweenKindsCopiesBytesAndNeverShares)
{
    const auto crt = NewCrt();
    const auto com = NewCom();
    Fill(crt, "from the C runtime");
    ASSERT_EQ(com->Copy(crt), S_OK);
    EXPECT_NE(com->GetBlock(), crt->GetBlock());
    EXPECT_EQ(crt->GetBlock()->shareCount, 1);
    EXPECT_EQ(Contents(com), "from the C runtime");

    Fill(com, "task");
    ASSERT_EQ(crt->Copy(com), S_OK);
    EXPECT_NE(com->GetBlock(), crt->GetBlock());
    EXPECT_EQ(Contents(crt), "task");

    const auto otherCom = NewCom();
    ASSERT_EQ(otherCom->Copy(com), S_OK);
    EXPECT_EQ(otherCom->GetBlock(), com->GetBlock());
    EXPECT_EQ(crt->Copy(nullptr), E_INVALIDARG);
    EXPECT_EQ(crt->Copy(crt), S_OK);
    EXPECT_EQ(Contents(crt), "task");
}

TEST(MemoryTest, AllocatorsAndBuffersAnswerOnlyTheirInterfaces)
{
    const auto memory = NewCom();
    IKivMemoryAlloc* allocator = memory->GetAllocator();
    ASSERT_NE(allocator, nullptr);
    EXPECT_EQ(*allocator->GetAllocatorKind(), KivAllocatorKind_COM);
    EXPECT_EQ(*NewCrt()->GetAllocator()->GetAllocatorKind(), KivAllocatorKind_CRT);
    void* out = &out;
    EXPECT_EQ(memory->QueryInterface(IKivMemoryAlloc::Iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(memory->QueryInterface(IKivMemory::Iid, nullptr), E_INVALIDARG);
    CComPtr<IKivMemoryAlloc> same;
    EXPECT_EQ(allocator->QueryInterface(IID_PPV_ARGS(&same)), S_OK);
    EXPECT_EQ(same.Get(), allocator);
    EXPECT_EQ(GetMemoryUtil(), GetMemoryUtil());
    EXPECT_EQ(GetMemoryUtil()->CreateMemory(nullptr), nullptr);
}

// Every operation that needs memory, tried while the allocator refuses: pointer results are null,
// statuses E_OUTOFMEMORY, and the buffer (and the buffer it shares with) keep size and bytes.
TEST(MemoryTest, RunningOutOfMemoryLeavesTheBuffersAsTheyWere)
{
    struct Case {
        const char* name;
        bool shared;
        std::function<bool(IKivMemory*)> fails;
    };
    const Case cases[] = {
        {"SetSize beyond the capacity", false, [](IKivMemory* m) { return m->SetSize(100) == nullptr; }},
        {"Resize beyond the capacity", false, [](IKivMemory* m) { return m->Resize(100) == nullptr; }},
        {"Add beyond the capacity", false, [](IKivMemory* m) { return m->Add(100) == nullptr; }},
        {"Insert beyond the capacity", false, [](IKivMemory* m) { return m->Insert(1, 100) == nullptr; }},
        {"SetSize within a shared block", true, [](IKivMemory* m) { return m->SetSize(2) == nullptr; }},
        {"SetSize beyond a shared block", true, [](IKivMemory* m) { return m->SetSize(100) == nullptr; }},
        {"SetSize(0) of a shared block", true, [](IKivMemory* m) { return m->SetSize(0) == nullptr; }},
        {"Add to a shared block", true, [](IKivMemory* m) { return m->Add(1) == nullptr; }},
        {"Insert into a shared block", true, [](IKivMemory* m) { return m->Insert(0, 1) == nullptr; }},
        {"Reduce a shared block", true, [](IKivMemory* m) { return m->Reduce(1) == E_OUTOFMEMORY; }},
        {"Reduce a shared block to nothing", true, [](IKivMemory* m) { return m->Reduce(99) == E_OUTOFMEMORY; }},
        {"Delete from a shared block", true, [](IKivMemory* m) { return m->Delete(0, 1) == E_OUTOFMEMORY; }},
        {"Clear a shared block", true, [](IKivMemory* m) { return m->Clear() == E_OUTOFMEMORY; }},
        {"GetWritablePtr of a shared block", true, [](IKivMemory* m) { return m->GetWritablePtr() == nullptr; }},
        {"Copy from another kind", false, [](IKivMemory* m) {
             const auto com = NewCom();
             Fill(com, std::string(200, 'c'));
             return m->Copy(com) == E_OUTOFMEMORY;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CComPtr<CKivObject<CRefusingAllocator>> allocator(CKivObject<CRefusingAllocator>::CreateObject());
        const CComPtr<IKivMemory> memory(GetMemoryUtil()->CreateMemory(allocator));
        ASSERT_TRUE(memory);
        Fill(memory, "abcd");
        const auto partner = NewCrt();
        if (c.shared) {
            ASSERT_EQ(partner->Copy(memory), S_OK);
            ASSERT_EQ(partner->GetBlock(), memory->GetBlock());
        }
        KivMemoryBlock* const block = memory->GetBlock();
        const DWORD capacity = block->capacity;

        allocator->m_refuse = true;
        EXPECT_TRUE(c.fails(memory));
        EXPECT_EQ(memory->GetBlock(), block);
        EXPECT_EQ(block->capacity, capacity);
        EXPECT_EQ(Contents(memory), "abcd");
        EXPECT_EQ(block->shareCount, c.shared ? 2 : 1);
        if (c.shared) {
            EXPECT_EQ(Contents(partner), "abcd");
        }

        // Once memory is there again, the buffer works as before.
        allocator->m_refuse = false;
        BYTE* added = memory->Add(1);
        ASSERT_NE(added, nullptr);
        *added = 'e';
        EXPECT_EQ(Contents(memory), "abcde");
    }
}

TEST(MemoryTest, NoBufferWithoutItsFirstBlock)
{
    CComPtr<CKivObject<CRefusingAllocator>> allocator(CKivObject<CRefusingAllocator>::CreateObject());
    allocator->m_refuse = true;
    EXPECT_EQ(GetMemoryUtil()->CreateMemory(allocator), nullptr);
}

// Random operations on four buffers (three sharing one allocator kind, one of the other kind),
// each compared after every step with a byte vector that models it. Bytes a buffer gains without
// being written (growth, gaps) are written through GetWritablePtr in both, so that the model
// knows every byte. Shared blocks must show share counts that match the number of buffers.
TEST(MemoryTest, RandomOperationsMatchAVectorModel)
{
    std::mt19937 random(20261210);
    std::vector<CComPtr<IKivMemory>> buffers{NewCrt(), NewCrt(), NewCrt(), NewCom()};
    std::vector<std::vector<BYTE>> models(buffers.size());
    const auto below = [&](DWORD limit) { return static_cast<DWORD>(random() % limit); };
    const auto writeRange = [&](std::size_t i, DWORD from, DWORD to) {
        BYTE* data = buffers[i]->GetWritablePtr();
        ASSERT_NE(data, nullptr);
        for (DWORD at = from; at < to; ++at) {
            data[at] = models[i][at] = static_cast<BYTE>(random());
        }
    };

    for (int step = 0; step < 20000; ++step) {
        const std::size_t i = below(static_cast<DWORD>(buffers.size()));
        IKivMemory* memory = buffers[i];
        std::vector<BYTE>& model = models[i];
        const auto size = static_cast<DWORD>(model.size());
        const int operation = static_cast<int>(below(9));
        SCOPED_TRACE("step " + std::to_string(step) + ", operation " + std::to_string(operation));
        switch (operation) {
        case 0: { // SetSize or Resize
            const DWORD n = below(80);
            ASSERT_NE(step % 2 == 0 ? memory->SetSize(n) : memory->Resize(n), nullptr);
            model.resize(n);
            if (n > size) {
                writeRange(i, size, n);
            }
            break;
        }
        case 1: { // Add
            const DWORD n = below(20);
            BYTE* added = memory->Add(n);
            ASSERT_EQ(added, memory->GetPtr() + size);
            model.resize(size + n);
            writeRange(i, size, size + n);
            break;
        }
        case 2: { // Reduce
            const DWORD n = below(size + 5);
            ASSERT_EQ(memory->Reduce(n), S_OK);
            model.resize(n > size ? 0 : size - n);
            break;
        }
        case 3: { // Insert
            const DWORD p = below(size + 10);
            const DWORD n = below(12);
            BYTE* gap = memory->Insert(p, n);
            if (n == 0) {
                ASSERT_EQ(gap, nullptr);
                break;
            }
            ASSERT_EQ(gap, memory->GetPtr() + p);
            if (p < size) {
                model.insert(model.begin() + p, n, 0);
                writeRange(i, p, p + n);
            } else {
                model.resize(p + n);
                writeRange(i, size, p + n);
            }
            break;
        }
        case 4: { // Delete
            const DWORD p = below(size + 5);
            const DWORD n = below(15);
            ASSERT_EQ(memory->Delete(p, n), S_OK);
            if (n > 0 && p < size) {
                model.erase(model.begin() + p, model.begin() + std::min(size, p + n));
            }
            break;
        }
        case 5: // Clear
            ASSERT_EQ(memory->Clear(), S_OK);
            model.clear();
            break;
        case 6:
        case 7: { // Copy, often, so that blocks are shared
            const std::size_t from = below(static_cast<DWORD>(buffers.size()));
            ASSERT_EQ(memory->Copy(buffers[from]), S_OK);
            model = models[from];
            break;
        }
        case 8: // One byte written in place
            if (size > 0) {
                const DWORD at = below(size);
                writeRange(i, at, at + 1);
            }
            break;
        }
        for (std::size_t b = 0; b < buffers.size(); ++b) {
            ASSERT_EQ(buffers[b]->GetSize(), models[b].size()) << "buffer " << b;
            ASSERT_TRUE(models[b].empty() ||
                        std::memcmp(buffers[b]->GetPtr(), models[b].data(), models[b].size()) == 0)
                << "buffer " << b;
            ASSERT_LE(buffers[b]->GetSize(), buffers[b]->GetBlock()->capacity);
            LONG sharing = 0;
            for (const auto& other : buffers) {
                sharing += other->GetBlock() == buffers[b]->GetBlock() ? 1 : 0;
            }
            ASSERT_EQ(buffers[b]->GetBlock()->shareCount, sharing) << "buffer " << b;
        }
    }
}

} // namespace
