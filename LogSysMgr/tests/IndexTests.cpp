// The engine's lookup structures and shortcuts, each checked against the plain answer it stands
// in for: the name index of the method set (against an ordered map), names converted straight
// into BSTRs (against the text conversion) and the root's thread index (against a walk over the
// root's children in order).
#include "AnsiBstr.h"
#include "CKivLogSysFactory.h"
#include "CountedName.h"
#include "MethodNameIndex.h"

#include "LoadDoubles.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include "KivPlatform/Text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace std::string_literals;
using namespace std::string_view_literals;
using Kiv::CComPtr;
using Kiv::LogSysMgr::CountedName;
using Kiv::LogSysMgr::MethodNameIndex;

namespace {

// ---- The method name index ----

// One step on the index: add a name it does not hold, or take back the last one added.
struct NameStep {
    enum Kind { Add, RemoveLast } kind;
    std::string name;
};

// Many names that differ only in their last bytes, so that the table grows several times.
std::vector<NameStep> ManyNames(std::size_t count)
{
    std::vector<NameStep> steps;
    for (std::size_t i = 0; i < count; ++i) {
        steps.push_back({NameStep::Add, " CFoo::Method" + std::to_string(i) + "()"});
    }
    return steps;
}

std::vector<NameStep> Join(std::vector<NameStep> first, const std::vector<NameStep>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(MethodNameIndexTest, AgreesWithAnOrderedMapThroughAddsAndTakeBacks)
{
    const std::string longName(70000, 'L'); // longer than a block of copied names
    struct Case {
        const char* name;
        std::vector<NameStep> steps;
    };
    const Case cases[] = {
        {"a few names, one a prefix of another",
         {{NameStep::Add, " CFoo::Bar()"}, {NameStep::Add, " CFoo::Bar"}, {NameStep::Add, " CFoo::Baz()"}}},
        {"the empty name and names with NUL bytes",
         {{NameStep::Add, ""}, {NameStep::Add, "A\0x"s}, {NameStep::Add, "A\0y"s}, {NameStep::Add, "A"}}},
        {"bytes from 0x80", {{NameStep::Add, "\x84\xA0"}, {NameStep::Add, "\x84\xA1"}, {NameStep::Add, "\xFF"}}},
        {"a name longer than a block", {{NameStep::Add, "a"}, {NameStep::Add, longName}, {NameStep::Add, "b"}}},
        {"lengths on either side of where a copy's length takes one byte more",
         {{NameStep::Add, std::string(127, 'a')}, {NameStep::Add, std::string(128, 'a')},
          {NameStep::Add, std::string(129, 'a')}, {NameStep::Add, std::string(16383, 'b')},
          {NameStep::Add, std::string(16384, 'b')}, {NameStep::Add, std::string(127, '\x80')},
          {NameStep::Add, std::string(128, '\xFF')}}},
        {"take back the last, then add it again",
         {{NameStep::Add, "x"}, {NameStep::Add, "y"}, {NameStep::RemoveLast, ""}, {NameStep::Add, "z"},
          {NameStep::Add, "y"}}},
        {"take back everything", {{NameStep::Add, "x"}, {NameStep::RemoveLast, ""}, {NameStep::RemoveLast, ""}}},
        {"many names, then take back the last few",
         Join(ManyNames(5000), {{NameStep::RemoveLast, ""}, {NameStep::RemoveLast, ""}, {NameStep::Add, "new"}})},
    };
    // Each kind of index, given names as they are or as counted copies the caller keeps (these
    // move in their vector as it grows: the index must read them where their bytes stay).
    for (const auto names : {MethodNameIndex::Names::Copied, MethodNameIndex::Names::Borrowed}) {
        for (const bool counted : {false, true}) {
            for (const Case& c : cases) {
                SCOPED_TRACE(counted ? "counted copies" : "names as they are");
                MethodNameIndex index(names);
                std::map<std::string, std::uint32_t> reference;
                std::vector<std::string> added; // in order; keeps borrowed names alive
                added.reserve(c.steps.size());
                std::vector<CountedName> countedCopies;
                std::vector<std::string> everName; // every name of the case, to ask for
                for (const NameStep& step : c.steps) {
                    if (step.kind == NameStep::Add) {
                        ASSERT_FALSE(index.Find(step.name)) << c.name << ": " << step.name;
                        added.push_back(step.name);
                        if (counted) {
                            countedCopies.emplace_back(step.name);
                        }
                        EXPECT_EQ(counted ? index.AddCounted(countedCopies.back().Counted()) : index.Add(added.back()),
                                  static_cast<std::uint32_t>(reference.size()))
                            << c.name;
                        reference.emplace(step.name, static_cast<std::uint32_t>(reference.size()));
                        everName.push_back(step.name);
                    } else {
                        index.RemoveLast();
                        if (!added.empty()) {
                            reference.erase(added.back());
                            added.pop_back();
                        }
                    }
                }
                ASSERT_EQ(index.Size(), reference.size()) << c.name;
                for (const std::string& name : everName) {
                    const auto expected = reference.find(name);
                    const std::optional<std::uint32_t> found = index.Find(name);
                    if (expected == reference.end()) {
                        EXPECT_FALSE(found) << c.name << ": " << name;
                        continue;
                    }
                    ASSERT_TRUE(found) << c.name << ": " << name;
                    EXPECT_EQ(*found, expected->second) << c.name;
                    EXPECT_EQ(index.Name(*found), name) << c.name;
                }
                EXPECT_FALSE(index.Find("never added")) << c.name;
            }
        }
    }
}

TEST(CountedNameTest, HoldsItsNameThroughMovesAndConvertsIt)
{
    // Lengths around the one that takes a second length byte, and beyond the largest model object.
    for (const std::size_t length : {0u, 1u, 127u, 128u, 4095u, 4096u, 5000u, 70000u}) {
        SCOPED_TRACE(length);
        const std::string name(length, 'n');
        CountedName first(name);
        EXPECT_TRUE(first.Holds());
        EXPECT_EQ(first.View(), name);
        const char* const counted = first.Counted();
        CountedName second(std::move(first));
        EXPECT_FALSE(first.Holds());
        EXPECT_EQ(first.View(), "");
        EXPECT_EQ(second.Counted(), counted);
        CountedName third("other"sv);
        third = std::move(second);
        EXPECT_EQ(Kiv::LogSysMgr::ReadCounted(third.Counted()), name);
        const Kiv::CComBSTR bstr = third.ToBstr();
        ASSERT_NE(bstr, nullptr);
        EXPECT_EQ(bstr.View(), std::u16string(name.begin(), name.end()));
    }
    // A held empty name is an empty string; no name is none.
    EXPECT_NE(CountedName(""sv).ToBstr(), nullptr);
    EXPECT_EQ(CountedName().ToBstr(), nullptr);
    EXPECT_EQ(CountedName("\x95\x5C"sv).ToBstr().View(), u"表");
}

// ---- Names converted for the method index ----

TEST(AnsiToBstrTest, AgreesWithTheTextConversion)
{
    const std::string_view cases[] = {
        "",
        " CFoo::Bar()",
        "\x82\xa0\x82\xa2::\x95\\()"sv,     // Japanese, a trail byte that is a backslash
        "nul\0inside\0"sv,                     // NUL bytes belong to the name
        "lead at the end \x82"sv,               // a lead byte without its trail byte
        "\xff\x80\xa0 unmapped bytes"sv,
    };
    for (const std::string_view text : cases) {
        const Kiv::CComBSTR converted = Kiv::LogSysMgr::AnsiToBstr(text);
        ASSERT_NE(converted, nullptr) << text;
        EXPECT_EQ(std::u16string(converted.View()), Kiv::Platform::AnsiToUtf16(text)) << text;
        EXPECT_EQ(static_cast<BSTR>(converted)[SysStringLen(converted)], u'\0') << text;
    }
}

// ---- The root's thread index ----

// One step on a root: ask it for a thread (GetLogThread), insert a thread object at a position,
// remove the child at a position, change a child's identifier, or drop everything.
struct RootStep {
    enum Kind { Get, InsertEngineThread, InsertForeignThread, Remove, ChangeId, RemoveAll } kind;
    DWORD id = 0;          // Get, Insert...: the identifier; ChangeId: the new one
    std::size_t index = 0; // Insert...: the position (clamped to the count); Remove, ChangeId: the child
};

std::vector<CComPtr<IKivLogSysThread>> ChildThreads(IKivLogSysRoot* root)
{
    CComPtr<Kiv::IKivListItem> folder;
    root->QueryInterface(IID_PPV_ARGS(&folder));
    LONG count = 0;
    folder->GetChildCount(&count);
    std::vector<CComPtr<IKivLogSysThread>> threads;
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysThread> thread;
        folder->GetChildItem(i, IID_PPV_ARGS(&thread));
        threads.push_back(thread);
    }
    return threads;
}

// The plain answer: the first child, in order, that reports the identifier.
std::optional<std::size_t> WalkFor(const std::vector<CComPtr<IKivLogSysThread>>& threads, DWORD id)
{
    for (std::size_t i = 0; i < threads.size(); ++i) {
        DWORD childId = 0;
        if (threads[i] && SUCCEEDED(threads[i]->GetThreadId(&childId)) && childId == id) {
            return i;
        }
    }
    return std::nullopt;
}

CComPtr<IUnknown> Identity(IUnknown* object)
{
    CComPtr<IUnknown> identity;
    if (object != nullptr) {
        object->QueryInterface(IID_PPV_ARGS(&identity));
    }
    return identity;
}

// Runs one step, checking a Get against the walk made just before it.
void RunStep(IKivLogSysRoot* root, const RootStep& step, const char* name)
{
    CComPtr<Kiv::IKivListItemFolder> folder;
    ASSERT_EQ(root->QueryInterface(IID_PPV_ARGS(&folder)), S_OK);
    const std::vector<CComPtr<IKivLogSysThread>> before = ChildThreads(root);
    switch (step.kind) {
    case RootStep::Get: {
        const std::optional<std::size_t> expected = WalkFor(before, step.id);
        CComPtr<IKivLogSysThread> thread;
        ASSERT_EQ(root->GetLogThread(step.id, IID_PPV_ARGS(&thread)), S_OK) << name;
        const std::vector<CComPtr<IKivLogSysThread>> after = ChildThreads(root);
        if (expected) {
            EXPECT_EQ(after.size(), before.size()) << name << ": thread " << step.id << " is not new";
            EXPECT_EQ(Identity(thread), Identity(before[*expected])) << name << ": thread " << step.id;
        } else {
            ASSERT_EQ(after.size(), before.size() + 1) << name << ": thread " << step.id << " is new";
            EXPECT_EQ(Identity(thread), Identity(after.back())) << name << ": thread " << step.id;
            DWORD id = 0;
            EXPECT_EQ(thread->GetThreadId(&id), S_OK);
            EXPECT_EQ(id, step.id) << name;
        }
        break;
    }
    case RootStep::InsertEngineThread:
    case RootStep::InsertForeignThread: {
        CComPtr<IKivLogSysThread> thread;
        if (step.kind == RootStep::InsertEngineThread) {
            ASSERT_EQ(CKivLogSysFactory::CreateLogSysThread(&thread), S_OK);
        } else {
            thread = KivTest::MakeDouble<KivTest::CFakeThread>().Get();
        }
        CComPtr<IKivLogSysThreadEdit> edit;
        ASSERT_EQ(thread.QueryInterface(&edit), S_OK);
        edit->SetThreadId(step.id);
        IUnknown* const items[] = {thread.Get()};
        const auto position = static_cast<LONG>(std::min(step.index, before.size()));
        ASSERT_EQ(folder->InsertChildItem(position, 1, items), S_OK) << name;
        break;
    }
    case RootStep::Remove: {
        ASSERT_LT(step.index, before.size()) << name;
        IUnknown* const items[] = {before[step.index].Get()};
        ASSERT_EQ(folder->RemoveChildItem(1, items), S_OK) << name;
        break;
    }
    case RootStep::ChangeId: {
        ASSERT_LT(step.index, before.size()) << name;
        CComPtr<IKivLogSysThreadEdit> edit;
        ASSERT_EQ(before[step.index].QueryInterface(&edit), S_OK);
        edit->SetThreadId(step.id); // a foreign thread object tells nobody
        break;
    }
    case RootStep::RemoveAll: {
        CComPtr<IKivLogSysRootEdit> edit;
        ASSERT_EQ(root->QueryInterface(IID_PPV_ARGS(&edit)), S_OK);
        ASSERT_EQ(edit->RemoveAllItems(), S_OK);
        break;
    }
    }
}

// Threads whose identifiers differ only in their high bits, each asked for twice, so that the
// index grows several times with its identifiers crowded together.
std::vector<RootStep> ManyThreads(std::size_t count)
{
    std::vector<RootStep> steps;
    for (const int round : {0, 1}) {
        for (std::size_t i = 0; i < count; ++i) {
            steps.push_back({RootStep::Get, static_cast<DWORD>((i + round * count / 2) % count) << 20});
        }
    }
    return steps;
}

TEST(RootThreadIndexTest, AgreesWithAWalkOverTheChildrenThroughInsertsRemovesAndIdentifierChanges)
{
    using S = RootStep;
    struct Case {
        const char* name;
        std::vector<RootStep> steps;
    };
    const Case cases[] = {
        {"threads made on first use", {{S::Get, 1}, {S::Get, 2}, {S::Get, 1}, {S::Get, 3}, {S::Get, 2}}},
        {"an engine thread takes an identifier another thread has",
         {{S::Get, 1}, {S::Get, 2}, {S::ChangeId, 2, 0}, {S::Get, 2}, {S::Get, 1}, {S::ChangeId, 9, 0}, {S::Get, 2}}},
        {"an engine thread inserted before another of its identifier",
         {{S::Get, 1}, {S::Get, 2}, {S::InsertEngineThread, 2, 0}, {S::Get, 2}, {S::Remove, 0, 0}, {S::Get, 2}}},
        {"a foreign thread inserted in front", {{S::Get, 7}, {S::InsertForeignThread, 7, 0}, {S::Get, 7}}},
        {"a foreign thread changes its identifier unannounced",
         {{S::InsertForeignThread, 5, 0}, {S::Get, 5}, {S::ChangeId, 6, 0}, {S::Get, 5}, {S::Get, 6}}},
        {"a foreign thread takes, unannounced, the identifier of a later thread",
         {{S::InsertForeignThread, 5, 0}, {S::Get, 6}, {S::Get, 5}, {S::Get, 6}, {S::ChangeId, 6, 0}, {S::Get, 6},
          {S::Get, 5}}},
        {"removals from the front, the middle and the end",
         {{S::Get, 1}, {S::Get, 2}, {S::Get, 3}, {S::Get, 4}, {S::Remove, 0, 1}, {S::Get, 2}, {S::Get, 3},
          {S::Remove, 0, 0}, {S::Get, 1}, {S::Remove, 0, 2}, {S::Get, 4}, {S::Get, 1}}},
        {"many threads with crowded identifiers", ManyThreads(100)},
        {"everything dropped, then made again",
         {{S::Get, 1}, {S::Get, 2}, {S::RemoveAll}, {S::Get, 2}, {S::Get, 1}, {S::Get, 2}}},
    };
    for (const Case& c : cases) {
        CComPtr<IKivLogSysRoot> root;
        ASSERT_EQ(CKivLogSysFactory::CreateLogSysRoot(&root), S_OK);
        for (const RootStep& step : c.steps) {
            RunStep(root, step, c.name);
        }
    }
}

} // namespace
