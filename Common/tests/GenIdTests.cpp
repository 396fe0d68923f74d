// Unique identifiers: numbering from 0x80000000, exact string comparison, the shared table seen
// through several objects, the list of all strings, the end of the number range, and eight
// threads asking at once.
#include "CKivGenId.h"

#include "KivCommon/KivGenId.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace Kiv;

namespace {

CComPtr<IKivGenId> NewGenId()
{
    return CComPtr<IKivGenId>(GetKivGenIdUtil()->CreateGenId());
}

DWORD IdOf(IKivGenId* ids, const char16_t* text)
{
    DWORD id = 0;
    EXPECT_EQ(ids->GetId(text, &id), S_OK);
    return id;
}

std::u16string StringOf(IKivGenId* ids, DWORD id)
{
    CComBSTR text;
    EXPECT_EQ(ids->GetIdString(id, &text), S_OK);
    EXPECT_NE(static_cast<BSTR>(text), nullptr);
    return std::u16string(static_cast<BSTR>(text), SysStringLen(text));
}

TEST(GenIdTable, NumbersNewStringsFromTheFirstIdentifierAndKeepThem)
{
    CKivGenIdTable table;
    DWORD id = 0;
    ASSERT_EQ(table.GetId(u"alpha", id), S_OK);
    EXPECT_EQ(id, 0x80000000u);
    ASSERT_EQ(table.GetId(u"beta", id), S_OK);
    EXPECT_EQ(id, 0x80000001u);
    ASSERT_EQ(table.GetId(u"alpha", id), S_OK);
    EXPECT_EQ(id, 0x80000000u);
    std::u16string text;
    ASSERT_TRUE(table.GetString(0x80000001u, text));
    EXPECT_EQ(text, u"beta");
    EXPECT_FALSE(table.GetString(0x80000002u, text));
}

TEST(GenIdTable, TheLastIdentifierIsNotFollowedByAWrappedOne)
{
    CKivGenIdTable table(0xFFFFFFFEu);
    DWORD id = 0;
    ASSERT_EQ(table.GetId(u"second to last", id), S_OK);
    EXPECT_EQ(id, 0xFFFFFFFEu);
    ASSERT_EQ(table.GetId(u"last", id), S_OK);
    EXPECT_EQ(id, 0xFFFFFFFFu);
    id = 7;
    EXPECT_EQ(table.GetId(u"one too many", id), E_OUTOFMEMORY);
    EXPECT_EQ(id, 7u);
    // Strings that have their numbers keep them; the refused one was not entered.
    ASSERT_EQ(table.GetId(u"last", id), S_OK);
    EXPECT_EQ(id, 0xFFFFFFFFu);
    std::u16string text;
    EXPECT_FALSE(table.GetString(0, text));
    SAFEARRAY* all = table.CopyAllStrings();
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->rgsabound[0].cElements, 2u);
    SafeArrayDestroy(all);
}

TEST(GenId, StringsCompareExactlyAndTheEmptyStringCounts)
{
    const auto ids = NewGenId();
    const DWORD lower = IdOf(ids, u"name-exact-case");
    const DWORD upper = IdOf(ids, u"Name-Exact-Case");
    const DWORD empty = IdOf(ids, u"");
    EXPECT_NE(lower, upper);
    EXPECT_NE(empty, lower);
    EXPECT_NE(empty, upper);
    EXPECT_GE(lower, 0x80000000u);
    EXPECT_EQ(IdOf(ids, u"name-exact-case"), lower);
    EXPECT_EQ(StringOf(ids, upper), u"Name-Exact-Case");
    EXPECT_EQ(StringOf(ids, empty), u"");
    // Numbers below the first are never handed out: an empty string and S_OK.
    EXPECT_EQ(StringOf(ids, 5), u"");
    // A second object sees the same table.
    const auto other = NewGenId();
    EXPECT_EQ(IdOf(other, u"Name-Exact-Case"), upper);
    const DWORD next = IdOf(other, u"name-exact-case, seen second");
    EXPECT_EQ(IdOf(ids, u"name-exact-case, seen second"), next);
}

TEST(GenId, NullArgumentsAreRefused)
{
    const auto ids = NewGenId();
    DWORD id = 0;
    EXPECT_EQ(ids->GetId(nullptr, &id), E_POINTER);
    EXPECT_EQ(ids->GetId(u"x", nullptr), E_POINTER);
    EXPECT_EQ(ids->GetIdString(0x80000000u, nullptr), E_POINTER);
    EXPECT_EQ(ids->GetAllIds(nullptr), E_POINTER);
}

TEST(GenId, AllIdsAreASafeArrayOfEveryString)
{
    const auto ids = NewGenId();
    const std::set<std::u16string> mine{u"all-ids one", u"all-ids two", u"all-ids three"};
    for (const auto& text : mine) {
        IdOf(ids, text.c_str());
    }
    VARIANT all;
    VariantInit(&all);
    ASSERT_EQ(ids->GetAllIds(&all), S_OK);
    EXPECT_EQ(all.vt, 0x2008);
    ASSERT_NE(all.parray, nullptr);
    EXPECT_EQ(SafeArrayGetDim(all.parray), 1u);
    LONG lower = -1;
    LONG upper = -1;
    ASSERT_EQ(SafeArrayGetLBound(all.parray, 1, &lower), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(all.parray, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    std::set<std::u16string> listed;
    for (LONG i = lower; i <= upper; ++i) {
        CComBSTR text;
        ASSERT_EQ(SafeArrayGetElement(all.parray, &i, &text), S_OK);
        listed.insert(text == nullptr ? std::u16string() : std::u16string(static_cast<BSTR>(text), SysStringLen(text)));
    }
    // One element per string: no duplicates, and each string of the table is listed.
    EXPECT_EQ(listed.size(), static_cast<std::size_t>(upper - lower + 1));
    for (const auto& text : listed) {
        DWORD id = 0;
        ASSERT_EQ(ids->GetId(text.c_str(), &id), S_OK);
        EXPECT_EQ(StringOf(ids, id), text);
    }
    EXPECT_TRUE(std::includes(listed.begin(), listed.end(), mine.begin(), mine.end()));
    EXPECT_EQ(VariantClear(&all), S_OK);
}

TEST(GenId, EightThreadsGetNumbersWithoutGapsOrDuplicates)
{
    // Every thread asks for the same shared names and for names of its own, interleaved, each
    // through an object of its own.
    constexpr int Threads = 8;
    constexpr int Names = 400;
    std::vector<std::map<std::u16string, DWORD>> seen(Threads);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([t, &seen] {
            const auto ids = NewGenId();
            for (int i = 0; i < Names; ++i) {
                for (const std::u16string& text : {u"threads shared " + std::u16string(1, char16_t(u'A' + i % 26)) +
                                                       std::u16string(1, char16_t(u'0' + i / 26)),
                                                   u"threads own " + std::u16string(1, char16_t(u'a' + t)) +
                                                       std::u16string(1, char16_t(0x100 + i))}) {
                    DWORD id = 0;
                    if (ids->GetId(text.c_str(), &id) == S_OK) {
                        seen[t][text] = id;
                    }
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::map<std::u16string, DWORD> byString;
    for (const auto& one : seen) {
        ASSERT_EQ(one.size(), static_cast<std::size_t>(2 * Names));
        for (const auto& [text, id] : one) {
            const auto [entry, added] = byString.emplace(text, id);
            EXPECT_EQ(entry->second, id) << "two numbers for one string";
        }
    }
    EXPECT_EQ(byString.size(), static_cast<std::size_t>(Names + Threads * Names));
    std::set<DWORD> numbers;
    for (const auto& [text, id] : byString) {
        numbers.insert(id);
    }
    // Distinct strings, distinct numbers, and no number skipped between the first and the last.
    EXPECT_EQ(numbers.size(), byString.size());
    EXPECT_EQ(*numbers.rbegin() - *numbers.begin() + 1, numbers.size());
}

} // namespace
