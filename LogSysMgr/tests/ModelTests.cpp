// The model: lines and blocks with their list interfaces, and the thread's call tree built from
// lines by their depth alone, with its flat list.
#include "CKivLogSysBlock.h"
#include "CKivLogSysFactory.h"
#include "CKivLogSysLine.h"
#include "CKivLogSysThread.h"

#include "KivObject/ComPtr.h"

#include "KivPlatform/TaskMem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Kiv::CComPtr;

// The line kinds keep to a scope of their own, so a caller's global names may be the same common
// words (this file would not compile otherwise).
[[maybe_unused]] constexpr int Enter = -1;
[[maybe_unused]] constexpr int Text = -1;
[[maybe_unused]] constexpr int Return = -1;

namespace {

// One line of a log snippet: depth, kind, text.
struct SnippetLine {
    WORD depth;
    WORD kind;
    const char* text;
};

constexpr WORD E = KivLogSysLineKind::Enter;
constexpr WORD T = KivLogSysLineKind::Text;
constexpr WORD R = KivLogSysLineKind::Return;

// Keeps the texts of records alive for as long as the model points into them.
struct Snippet {
    std::vector<std::string> texts;

    CComPtr<IKivLogSysThreadEdit> Build(const std::vector<SnippetLine>& lines)
    {
        CComPtr<IKivLogSysThread> thread;
        EXPECT_EQ(CKivLogSysFactory::CreateLogSysThread(&thread), S_OK);
        CComPtr<IKivLogSysThreadEdit> edit;
        thread.QueryInterface(&edit);
        texts.reserve(texts.size() + lines.size());
        LONG number = 0;
        for (const SnippetLine& line : lines) {
            texts.emplace_back(line.text);
            KivLogSysLineInfo info{};
            info.cbSize = sizeof info;
            info.lineNumber = ++number;
            info.text = texts.back().c_str();
            info.textLength = static_cast<LONG>(texts.back().size());
            info.depth = line.depth;
            info.kind = line.kind;
            edit->AddLine(&info);
        }
        return edit;
    }
};

std::string TextOf(const KivLogSysLineInfo* info)
{
    return info->text == nullptr ? std::string() : std::string(info->text, static_cast<std::size_t>(info->textLength));
}

// The tree under a folder, one node per line: "> entry", "- line", "< return", two blanks deeper
// per level.
void Render(Kiv::IKivListItem* folder, const std::string& indent, std::string& out)
{
    LONG count = 0;
    ASSERT_EQ(folder->GetChildCount(&count), S_OK);
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysBlock> block;
        if (SUCCEEDED(folder->GetChildItem(i, IID_PPV_ARGS(&block)))) {
            const KivLogSysLineInfo* entry = nullptr;
            block->GetLineInfo(&entry);
            out += indent + "> " + TextOf(entry) + "\n";
            Render(block, indent + "  ", out);
            const KivLogSysLineInfo* end = nullptr;
            if (SUCCEEDED(block->GetEndLineInfo(&end))) {
                out += indent + "< " + TextOf(end) + "\n";
            }
            continue;
        }
        CComPtr<IKivLogSysLine> line;
        ASSERT_EQ(folder->GetChildItem(i, IID_PPV_ARGS(&line)), S_OK);
        const KivLogSysLineInfo* info = nullptr;
        line->GetLineInfo(&info);
        out += indent + "- " + TextOf(info) + "\n";
    }
}

std::string Render(IKivLogSysThreadEdit* thread)
{
    CComPtr<Kiv::IKivListItem> folder;
    EXPECT_EQ(thread->QueryInterface(IID_PPV_ARGS(&folder)), S_OK);
    std::string out;
    Render(folder, "", out);
    return out;
}

// The flat list as texts, one per entry.
std::vector<std::string> FlatTexts(IKivLogSysThreadEdit* thread)
{
    CComPtr<Kiv::IKivListAccess> access;
    EXPECT_EQ(thread->QueryInterface(IID_PPV_ARGS(&access)), S_OK);
    LONG count = 0;
    EXPECT_EQ(access->GetListItemCount(&count), S_OK);
    std::vector<std::string> texts;
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysLine> line;
        EXPECT_EQ(access->GetListItem(i, IID_PPV_ARGS(&line)), S_OK);
        const KivLogSysLineInfo* info = nullptr;
        line->GetLineInfo(&info);
        texts.push_back(TextOf(info));
    }
    return texts;
}

TEST(ThreadTreeTest, LinesFindTheirPlaceByDepthAlone)
{
    struct Case {
        const char* name;
        std::vector<SnippetLine> lines;
        std::string tree;
    };
    const Case cases[] = {
        {"calls nest, messages stand one deeper than their call",
         {{0, E, "A"}, {1, T, "a1"}, {1, E, "B"}, {2, T, "b1"}, {1, R, "B ret"}, {0, R, "A ret"}, {0, T, "m"}},
         "> A\n  - a1\n  > B\n    - b1\n  < B ret\n< A ret\n- m\n"},
        {"a first line at depth 2 has no block to go into", {{2, T, "lost"}, {0, T, "kept"}}, "- kept\n"},
        {"a return without a call is dropped", {{0, R, "stray"}, {0, T, "m"}}, "- m\n"},
        {"a second return replaces the first", {{0, E, "A"}, {0, R, "first"}, {0, R, "second"}}, "> A\n< second\n"},
        {"a message after the return still goes into the last call",
         {{0, E, "A"}, {0, R, "A ret"}, {1, T, "late"}},
         "> A\n  - late\n< A ret\n"},
        {"a call that never returns keeps everything deeper",
         {{0, E, "A"}, {1, E, "B"}, {2, T, "b"}, {1, T, "a"}},
         "> A\n  > B\n    - b\n  - a\n"},
        {"without markers every line is a direct child", {{0, T, "1"}, {0, T, "2"}, {0, T, "3"}}, "- 1\n- 2\n- 3\n"},
        {"a depth jump past the open calls is dropped", {{0, E, "A"}, {3, T, "deep"}, {1, T, "ok"}}, "> A\n  - ok\n"},
        {"a return closes the last call of its level, whatever its name",
         {{0, E, "A"}, {0, E, "B"}, {0, R, "A ret"}},
         "> A\n> B\n< A ret\n"},
    };
    for (const Case& c : cases) {
        Snippet snippet;
        const auto thread = snippet.Build(c.lines);
        EXPECT_EQ(Render(thread), c.tree) << c.name;
    }
}

TEST(ThreadTreeTest, FlatListHoldsEveryLineInFileOrder)
{
    Snippet snippet;
    const auto thread = snippet.Build(
        {{0, E, "A"}, {1, T, "a1"}, {1, E, "B"}, {2, T, "b1"}, {1, R, "B ret"}, {0, R, "A ret"}, {0, T, "m"}});
    const std::vector<std::string> expected = {"A", "a1", "B", "b1", "B ret", "A ret", "m"};
    EXPECT_EQ(FlatTexts(thread), expected);

    CComPtr<Kiv::IKivListAccess> access;
    thread.QueryInterface(&access);
    CComPtr<IKivLogSysLine> line;
    EXPECT_EQ(access->GetListItem(7, IID_PPV_ARGS(&line)), E_INVALIDARG);
    EXPECT_EQ(access->GetListItem(-1, IID_PPV_ARGS(&line)), E_INVALIDARG);
    EXPECT_EQ(access->GetListItemCount(nullptr), E_INVALIDARG);

    // Lines added later show in the next count.
    KivLogSysLineInfo info{};
    info.cbSize = sizeof info;
    info.text = "n";
    info.textLength = 1;
    info.kind = T;
    thread->AddLine(&info);
    LONG count = 0;
    EXPECT_EQ(access->GetListItemCount(&count), S_OK);
    EXPECT_EQ(count, 8);
}

TEST(ThreadTreeTest, RemovingTheLastCallMovesPlacementToThePreviousOne)
{
    Snippet snippet;
    const auto thread = snippet.Build({{0, E, "A"}, {0, T, "m"}, {0, E, "B"}});
    CComPtr<Kiv::IKivListItemFolder> folder;
    thread.QueryInterface(&folder);
    CComPtr<IUnknown> blockB;
    ASSERT_EQ(folder->GetChildItem(2, IID_PPV_ARGS(&blockB)), S_OK);
    CComPtr<IKivLogSysBlock> storedB; // the pointer as the thread stored it
    ASSERT_EQ(folder->GetChildItem(2, IID_PPV_ARGS(&storedB)), S_OK);
    IUnknown* const items[] = {storedB.Get()};
    ASSERT_EQ(folder->RemoveChildItem(1, items), S_OK);

    KivLogSysLineInfo info{};
    info.cbSize = sizeof info;
    info.text = "into A";
    info.textLength = 6;
    info.depth = 1;
    info.kind = T;
    thread->AddLine(&info);
    info.text = "closes A";
    info.textLength = 8;
    info.depth = 0;
    info.kind = R;
    thread->AddLine(&info);
    EXPECT_EQ(Render(thread), "> A\n  - into A\n< closes A\n- m\n");

    // Inserting a block in front of the last one leaves the last one in charge.
    CComPtr<IKivLogSysBlock> front;
    CKivLogSysFactory::CreateLogSysBlock(&front);
    IUnknown* const frontItems[] = {front.Get()};
    ASSERT_EQ(folder->InsertChildItem(0, 1, frontItems), S_OK);
    info.text = "still A";
    info.textLength = 7;
    info.depth = 1;
    info.kind = T;
    thread->AddLine(&info);
    EXPECT_EQ(Render(thread), "> \n> A\n  - into A\n  - still A\n< closes A\n- m\n");
}

// A folder holding three fresh lines, and a fourth line to insert.
struct ChildrenFixture {
    CComPtr<IKivLogSysBlock> block;
    CComPtr<Kiv::IKivListItemFolder> folder;
    std::vector<CComPtr<IKivLogSysLine>> lines;

    ChildrenFixture()
    {
        CKivLogSysFactory::CreateLogSysBlock(&block);
        block.QueryInterface(&folder);
        for (int i = 0; i < 4; ++i) {
            CComPtr<IKivLogSysLine> line;
            CKivLogSysFactory::CreateLogSysLine(&line);
            lines.push_back(line);
        }
        IUnknown* const items[] = {lines[0].Get(), lines[1].Get(), lines[2].Get()};
        EXPECT_EQ(folder->InsertChildItem(0, 3, items), S_OK);
    }

    // The index of each child among the four lines (-1 for anything else).
    std::vector<int> Order() const
    {
        LONG count = 0;
        folder->GetChildCount(&count);
        std::vector<int> order;
        for (LONG i = 0; i < count; ++i) {
            CComPtr<IKivLogSysLine> child;
            folder->GetChildItem(i, IID_PPV_ARGS(&child));
            int found = -1;
            for (std::size_t j = 0; j < lines.size(); ++j) {
                found = lines[j] == child ? static_cast<int>(j) : found;
            }
            order.push_back(found);
        }
        return order;
    }
};

TEST(ChildrenTest, InsertPlacesByIndexAndRefusesBadArguments)
{
    struct Case {
        LONG index;
        HRESULT status;
        std::vector<int> order;
    };
    const Case cases[] = {
        {0, S_OK, {3, 0, 1, 2}}, {1, S_OK, {0, 3, 1, 2}}, {3, S_OK, {0, 1, 2, 3}},
        {4, S_OK, {0, 1, 2, 3}}, {5, E_INVALIDARG, {0, 1, 2}}, {-1, E_INVALIDARG, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        ChildrenFixture f;
        IUnknown* const items[] = {f.lines[3].Get()};
        EXPECT_EQ(f.folder->InsertChildItem(c.index, 1, items), c.status) << c.index;
        EXPECT_EQ(f.Order(), c.order) << c.index;
    }

    ChildrenFixture f;
    IUnknown* const withNull[] = {f.lines[3].Get(), nullptr, f.lines[3].Get()};
    EXPECT_EQ(f.folder->InsertChildItem(0, 3, withNull), E_INVALIDARG);
    EXPECT_EQ(f.folder->InsertChildItem(0, -1, withNull), E_INVALIDARG);
    EXPECT_EQ(f.folder->InsertChildItem(0, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(f.Order(), (std::vector<int>{0, 1, 2})) << "nothing of a refused insert stays";

    // The inserted child knows its parent.
    CComPtr<IKivLogSysBlock> parent;
    ASSERT_EQ(f.lines[1]->GetParent(IID_PPV_ARGS(&parent)), S_OK);
    EXPECT_EQ(parent.Get(), f.block.Get());
}

TEST(ChildrenTest, RemoveTakesTheVerySamePointerOnceAndForgetsTheParent)
{
    ChildrenFixture f;
    IUnknown* const again[] = {f.lines[1].Get()};
    ASSERT_EQ(f.folder->InsertChildItem(3, 1, again), S_OK); // lines[1] twice
    ASSERT_EQ(f.folder->RemoveChildItem(1, again), S_OK);
    EXPECT_EQ(f.Order(), (std::vector<int>{0, 2, 1})) << "only the first occurrence goes";

    // The same line through another of its interfaces is not the stored pointer.
    CComPtr<IKivListItemEdit> otherPart;
    f.lines[0].QueryInterface(&otherPart);
    IUnknown* const viaOtherPart[] = {otherPart.Get()};
    EXPECT_EQ(f.folder->RemoveChildItem(1, viaOtherPart), S_OK);
    EXPECT_EQ(f.Order(), (std::vector<int>{0, 2, 1}));

    IUnknown* const first[] = {f.lines[0].Get()};
    ASSERT_EQ(f.folder->RemoveChildItem(1, first), S_OK);
    CComPtr<IUnknown> parent;
    EXPECT_EQ(f.lines[0]->GetParent(IID_PPV_ARGS(&parent)), E_FAIL);
    IUnknown* const withNull[] = {f.lines[2].Get(), nullptr};
    EXPECT_EQ(f.folder->RemoveChildItem(2, withNull), E_INVALIDARG);
    EXPECT_EQ(f.Order(), (std::vector<int>{2, 1}));
}

TEST(ChildrenTest, IndexAndOutPointerRules)
{
    ChildrenFixture f;
    CComPtr<IUnknown> child;
    for (LONG index : {-1, 3}) {
        EXPECT_EQ(f.folder->GetChildItem(index, IID_PPV_ARGS(&child)), E_INVALIDARG) << index;
    }
    EXPECT_EQ(f.folder->GetChildItem(0, IUnknown::Iid, nullptr), E_INVALIDARG);
    EXPECT_EQ(f.folder->GetChildCount(nullptr), E_INVALIDARG);

    LONG count = -1;
    EXPECT_EQ(f.lines[0]->GetChildCount(&count), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(f.lines[0]->GetChildItem(0, IID_PPV_ARGS(&child)), E_FAIL);
}

TEST(LineTest, RecordsEndLinesAndIdentity)
{
    CComPtr<IKivLogSysBlock> block;
    ASSERT_EQ(CKivLogSysFactory::CreateLogSysBlock(&block), S_OK);
    static const KivLogSysLineInfo sentinel{};
    const KivLogSysLineInfo* end = &sentinel;
    EXPECT_EQ(block->GetEndLineInfo(&end), E_FAIL);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(block->GetEndLineInfo(nullptr), E_INVALIDARG);
    CComPtr<IKivLogSysLine> endLine;
    EXPECT_EQ(block->GetEndLogSysLine(IID_PPV_ARGS(&endLine)), E_FAIL);

    CComPtr<IKivLogSysBlockEdit> edit;
    block.QueryInterface(&edit);
    KivLogSysLineInfo record{};
    record.cbSize = sizeof record;
    record.lineNumber = 42;
    ASSERT_EQ(edit->PutLineInfo(&record), S_OK);
    KivLogSysLineInfo other = record;
    other.cbSize = 40; // a record of another layout
    other.lineNumber = 7;
    EXPECT_EQ(edit->PutLineInfo(&other), E_INVALIDARG);
    EXPECT_EQ(edit->PutEndLineInfo(&other), E_INVALIDARG);
    const KivLogSysLineInfo* stored = nullptr;
    ASSERT_EQ(block->GetLineInfo(&stored), S_OK);
    EXPECT_EQ(stored->lineNumber, 42) << "a refused record leaves the stored one unchanged";

    record.lineNumber = 43;
    ASSERT_EQ(edit->PutEndLineInfo(&record), S_OK);
    ASSERT_EQ(block->GetEndLineInfo(&end), S_OK);
    EXPECT_EQ(end->lineNumber, 43);

    // Every part of one object is that object.
    CComPtr<IKivListItemEdit> editPart;
    block.QueryInterface(&editPart);
    BOOL equal = FALSE;
    EXPECT_EQ(block->IsEqual(editPart, &equal), S_OK);
    EXPECT_EQ(equal, TRUE);
    EXPECT_EQ(block->IsEqual(nullptr, &equal), E_INVALIDARG);
    CComPtr<IKivLogSysLine> stranger;
    CKivLogSysFactory::CreateLogSysLine(&stranger);
    EXPECT_EQ(block->IsEqual(stranger, &equal), S_OK);
    EXPECT_EQ(equal, FALSE);
}

TEST(LineTest, InterfaceMapsOfLineBlockAndThread)
{
    CComPtr<IKivLogSysLine> line;
    CKivLogSysFactory::CreateLogSysLine(&line);
    CComPtr<IKivLogSysBlock> asBlock;
    EXPECT_EQ(line.QueryInterface(&asBlock), E_NOINTERFACE);
    CComPtr<IUnknown> unknown;
    line.QueryInterface(&unknown);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(line.Get()));

    CComPtr<IKivLogSysThread> thread;
    ASSERT_EQ(CKivLogSysFactory::CreateLogSysThread(&thread), S_OK);
    CComPtr<IKivLogSysBlock> threadAsBlock;
    CComPtr<IKivLogSysLine> threadAsLine;
    CComPtr<IKivLogSysLineEdit> threadAsLineEdit;
    EXPECT_EQ(thread.QueryInterface(&threadAsBlock), E_NOINTERFACE);
    EXPECT_EQ(thread.QueryInterface(&threadAsLine), E_NOINTERFACE);
    EXPECT_EQ(thread.QueryInterface(&threadAsLineEdit), E_NOINTERFACE);
    CComPtr<IUnknown> threadIdentity;
    ASSERT_EQ(thread.QueryInterface(&threadIdentity), S_OK);
    EXPECT_EQ(static_cast<void*>(threadIdentity.Get()), static_cast<void*>(thread.Get()));
    CComPtr<Kiv::IKivListAccess> access;
    EXPECT_EQ(thread.QueryInterface(&access), S_OK);

    EXPECT_EQ(CKivLogSysFactory::CreateLogSysLine(nullptr), E_INVALIDARG);
    EXPECT_EQ(CKivLogSysFactory::CreateLogSysBlock(nullptr), E_INVALIDARG);
    EXPECT_EQ(CKivLogSysFactory::CreateLogSysThread(nullptr), E_INVALIDARG);
}

TEST(LineTest, GetThreadFindsTheNearestThread)
{
    Snippet snippet;
    const auto thread = snippet.Build({{0, E, "A"}, {1, E, "B"}});
    CComPtr<Kiv::IKivListItem> folder;
    thread.QueryInterface(&folder);
    CComPtr<IKivLogSysBlock> a;
    ASSERT_EQ(folder->GetChildItem(0, IID_PPV_ARGS(&a)), S_OK);
    CComPtr<IKivLogSysBlock> b;
    ASSERT_EQ(a->GetChildItem(0, IID_PPV_ARGS(&b)), S_OK);
    CComPtr<IKivLogSysThreadEdit> found;
    ASSERT_EQ(b->GetThread(IID_PPV_ARGS(&found)), S_OK);
    EXPECT_EQ(found.Get(), thread.Get());

    // A block whose parents end without a thread gets the last GetParent's status.
    CComPtr<IKivLogSysBlock> outer;
    CComPtr<IKivLogSysBlock> inner;
    CKivLogSysFactory::CreateLogSysBlock(&outer);
    CKivLogSysFactory::CreateLogSysBlock(&inner);
    CComPtr<Kiv::IKivListItemFolder> outerFolder;
    outer.QueryInterface(&outerFolder);
    IUnknown* const items[] = {inner.Get()};
    outerFolder->InsertChildItem(0, 1, items);
    CComPtr<IKivLogSysThread> none;
    EXPECT_EQ(inner->GetThread(IID_PPV_ARGS(&none)), E_FAIL);
    EXPECT_EQ(none.Get(), nullptr);
}

TEST(ThreadTreeTest, BuildMethodSetRefusesANegativeTextLength)
{
    Snippet snippet;
    const auto thread = snippet.Build({{0, E, " CFoo::Good()"}});
    KivLogSysLineInfo damaged{};
    damaged.cbSize = sizeof damaged;
    damaged.text = "x";
    damaged.textLength = -1;
    damaged.kind = E;
    ASSERT_EQ(thread->AddLine(&damaged), S_OK);

    CComPtr<IKivLogSysMethodSet> methodSet;
    ASSERT_EQ(CKivLogSysFactory::CreateLogSysMethodSet(&methodSet), S_OK);
    EXPECT_EQ(thread->BuildMethodSet(methodSet), E_INVALIDARG);
    EXPECT_EQ(thread->BuildMethodSet(nullptr), E_INVALIDARG);
    LONG count = 0;
    BSTR* names = nullptr;
    ASSERT_EQ(methodSet->GetMethodNames(&count, &names), S_OK);
    ASSERT_EQ(count, 1) << "the calls before the damaged one are filed";
    EXPECT_EQ(std::u16string(names[0]), u" CFoo::Good()");
    SysFreeString(names[0]);
    CoTaskMemFree(names);
}

TEST(ThreadTreeTest, DamagedNestingKeepsEveryCallAndDropsTheStrays)
{
    // 127 open calls, then a return at each level, a burst of strays, and many siblings.
    std::vector<SnippetLine> lines;
    for (WORD depth = 0; depth < 127; ++depth) {
        lines.push_back({depth, E, "deep"});
    }
    for (WORD depth = 127; depth-- > 0;) {
        lines.push_back({depth, R, "back"});
    }
    for (int i = 0; i < 1000; ++i) {
        lines.push_back({static_cast<WORD>(500 + i % 7), static_cast<WORD>(i % 3), "stray"});
        lines.push_back({0, R, "unmatched return"});
    }
    for (int i = 0; i < 200000; ++i) {
        lines.push_back({1, T, "sibling"});
    }
    Snippet snippet;
    const auto thread = snippet.Build(lines);
    CComPtr<Kiv::IKivListAccess> access;
    thread.QueryInterface(&access);
    LONG count = 0;
    ASSERT_EQ(access->GetListItemCount(&count), S_OK);
    // Every call and its return, and the siblings inside the outermost call; strays are dropped
    // except those of depth 0 kind Return, which keep replacing the outermost end line.
    EXPECT_EQ(count, 127 * 2 + 200000);
}

} // namespace
