// Registry keys, values and enumerators over a store in a temporary folder (KIV_REGISTRY_DIR):
// values written and read back, the cache of free values, enumeration, names of every kind,
// writers in two processes at once, a writer killed in the middle, and stores that are broken or
// read-only.
#include "KivCommon/KivCommon.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include "KivTestSupport/ChildProcess.h"
#include "KivTestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Kiv::CComBSTR;
using Kiv::CComPtr;
using Kiv::IEnumRegKey;
using Kiv::IEnumRegValue;
using Kiv::IKivMemory;
using Kiv::IRegKey;
using Kiv::IRegValue;

Kiv::IRegistryUtil* Util()
{
    return Kiv::GetRegistryUtil();
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// An open key that is closed when the test ends.
class OpenKey {
public:
    OpenKey() = default;
    explicit OpenKey(IRegKey* key) : m_key(key) {}
    ~OpenKey()
    {
        if (m_key) {
            m_key->Close();
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    IRegKey* operator->() const { return m_key; }
    IRegKey* Get() const { return m_key; }
    // For an out pointer; the key is taken over with its reference.
    IRegKey** Out() { return &m_key; }

private:
    CComPtr<IRegKey> m_key;
};

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::setenv(Kiv::Platform::RegistryDirVariable, m_folder.Path().c_str(), 1), 0);
    }
    void TearDown() override { ::unsetenv(Kiv::Platform::RegistryDirVariable); }

    std::filesystem::path StorePath() const { return m_folder.Path() / "current-user.db"; }

    // The current user's root, opened with every right.
    static IRegKey* Root() { return Util()->OpenKey(HKEY_CURRENT_USER, u"", KEY_ALL_ACCESS); }

    // A key below the root, created when missing; asserted open.
    static void Create(const char16_t* path, OpenKey& key)
    {
        OpenKey root(Root());
        ASSERT_NE(root->GetHandle(), nullptr);
        ASSERT_EQ(root->CreateSubKey(path, key.Out(), REG_OPTION_NON_VOLATILE), S_OK);
    }

    static std::u16string NameOf(IRegKey* key)
    {
        CComBSTR name;
        EXPECT_EQ(key->GetName(&name), S_OK);
        return std::u16string(name.View());
    }

    static std::vector<std::u16string> SubKeyNames(IRegKey* key)
    {
        CComPtr<IEnumRegKey> keys;
        EXPECT_EQ(key->EnumKeys(&keys), S_OK);
        std::vector<std::u16string> names;
        IRegKey* item = nullptr;
        while (keys->Next(1, &item, nullptr) == S_OK) {
            OpenKey owned(item);
            item->Release();
            names.push_back(NameOf(owned.Get()));
            item = nullptr;
        }
        return names;
    }

    static std::u16string StringOf(IRegKey* key, const char16_t* name)
    {
        CComPtr<IRegValue> value;
        EXPECT_EQ(key->GetValue(name, &value), S_OK);
        CComBSTR text;
        EXPECT_EQ(value->GetString(&text), S_OK);
        return std::u16string(text.View());
    }

    KivTest::TempDir m_folder;
};

TEST_F(RegistryTest, ValuesOfEachTypeComeBackAsWritten)
{
    OpenKey key;
    ASSERT_NO_FATAL_FAILURE(Create(u"Software\\Kiv\\Values", key));

    CComPtr<IRegValue> text;
    ASSERT_EQ(key->GetValue(u"Text", &text), S_OK);
    ASSERT_EQ(text->SetString(u"日本語 and ASCII"), S_OK);
    CComPtr<IRegValue> number;
    ASSERT_EQ(key->GetValue(u"Number", &number), S_OK);
    ASSERT_EQ(number->SetDWord(0xDEADBEEF), S_OK);
    CComPtr<IKivMemory> bytes(Kiv::GetMemoryUtil()->CreateMemory_CRT());
    const BYTE pattern[] = {0, 1, 2, 0, 255, 0};
    std::memcpy(bytes->SetSize(sizeof pattern), pattern, sizeof pattern);
    CComPtr<IRegValue> binary;
    ASSERT_EQ(key->GetValue(u"Binary", &binary), S_OK);
    ASSERT_EQ(binary->SetBinary(bytes), S_OK);
    CComPtr<IRegValue> empty;
    ASSERT_EQ(key->GetValue(u"Empty", &empty), S_OK);
    ASSERT_EQ(empty->SetString(u""), S_OK);

    // Fresh objects on a fresh key read the store, not a cache.
    key->Close();
    OpenKey reopened(Util()->OpenKey(HKEY_CURRENT_USER, u"software\\KIV\\values", KEY_READ));
    ASSERT_NE(reopened->GetHandle(), nullptr);
    EXPECT_EQ(StringOf(reopened.Get(), u"Text"), u"日本語 and ASCII");
    EXPECT_EQ(StringOf(reopened.Get(), u"EMPTY"), u"");

    CComPtr<IRegValue> readNumber;
    ASSERT_EQ(reopened->GetValue(u"number", &readNumber), S_OK);
    DWORD value = 0;
    ASSERT_EQ(readNumber->GetDWord(&value), S_OK);
    EXPECT_EQ(value, 0xDEADBEEFu);
    DWORD type = 0;
    ASSERT_EQ(readNumber->GetType(&type), S_OK);
    EXPECT_EQ(type, REG_DWORD);

    CComPtr<IRegValue> readBinary;
    ASSERT_EQ(reopened->GetValue(u"Binary", &readBinary), S_OK);
    CComPtr<IKivMemory> out(Kiv::GetMemoryUtil()->CreateMemory_CRT());
    ASSERT_EQ(readBinary->GetBinary(out), S_OK);
    ASSERT_EQ(out->GetSize(), sizeof pattern);
    EXPECT_EQ(std::memcmp(out->GetPtr(), pattern, sizeof pattern), 0);

    // Reads of another type: a number of a string is 0 (short or long string alike), binary data of
    // a number fails, and the cache keeps its type.
    CComPtr<IRegValue> mismatch;
    ASSERT_EQ(reopened->GetValue(u"Text", &mismatch), S_OK);
    value = 7;
    EXPECT_EQ(mismatch->GetDWord(&value), S_OK);
    EXPECT_EQ(value, 0u);
    ASSERT_EQ(mismatch->GetType(&type), S_OK);
    EXPECT_EQ(type, REG_NONE);
    EXPECT_EQ(readNumber->GetBinary(out), E_FAIL);
    CComBSTR noText;
    EXPECT_EQ(readNumber->GetString(&noText), S_OK);
    EXPECT_EQ(noText, nullptr);

    // Bytes read earlier are no answer once the stored value has become a string.
    CComPtr<IRegValue> rewritten;
    OpenKey writer(Util()->OpenKey(HKEY_CURRENT_USER, u"Software\\Kiv\\Values", KEY_ALL_ACCESS));
    ASSERT_EQ(writer->GetValue(u"Binary", &rewritten), S_OK);
    ASSERT_EQ(rewritten->SetString(u"now text"), S_OK);
    EXPECT_EQ(readBinary->GetBinary(out), E_FAIL);

    // Missing values, and writes through a key opened for reading only.
    CComPtr<IRegValue> missing;
    ASSERT_EQ(reopened->GetValue(u"Missing", &missing), S_OK);
    CComBSTR nothing;
    EXPECT_EQ(missing->GetString(&nothing), E_FAIL);
    EXPECT_EQ(missing->GetDWord(&value), E_FAIL);
    EXPECT_EQ(missing->SetDWord(1), S_FALSE);
    EXPECT_EQ(reopened->DeleteValue(u"Missing"), E_FAIL);
}

TEST_F(RegistryTest, FreeValuesCacheUntilTheyAreBound)
{
    OpenKey key;
    ASSERT_NO_FATAL_FAILURE(Create(u"Free", key));

    CComPtr<IRegValue> value(Util()->CreateValue());
    ASSERT_TRUE(value);
    EXPECT_EQ(value->SetString(u"cached"), E_FAIL);
    EXPECT_EQ(value->Write(), E_FAIL);
    CComBSTR cached;
    ASSERT_EQ(value->GetString(&cached), S_OK);
    EXPECT_EQ(cached.View(), u"cached");
    DWORD number = 9;
    ASSERT_EQ(value->GetDWord(&number), S_OK);
    EXPECT_EQ(number, 0u);
    CComBSTR noName;
    EXPECT_EQ(value->GetName(&noName), S_OK);
    EXPECT_EQ(noName, nullptr);

    // Nothing was written until the value is given to a key.
    CComPtr<IRegValue> probe;
    ASSERT_EQ(key->GetValue(u"Later", &probe), S_OK);
    CComBSTR absent;
    EXPECT_EQ(probe->GetString(&absent), E_FAIL);
    EXPECT_EQ(key->SetValue(u"Later", value), S_OK);
    EXPECT_EQ(StringOf(key.Get(), u"Later"), u"cached");
    CComBSTR name;
    ASSERT_EQ(value->GetName(&name), S_OK);
    EXPECT_EQ(name.View(), u"Later");

    // Unbound again, reads answer from the cache.
    ASSERT_EQ(value->SetDWord(42), S_OK);
    ASSERT_EQ(value->Unbind(), S_OK);
    ASSERT_EQ(value->GetDWord(&number), S_OK);
    EXPECT_EQ(number, 42u);

    CComPtr<IRegValue> unused;
    EXPECT_EQ(key->GetValue(nullptr, &unused), E_INVALIDARG);
    EXPECT_EQ(key->SetValue(u"x", nullptr), E_INVALIDARG);
    EXPECT_EQ(value->Bind(nullptr, u"x"), E_INVALIDARG);
}

TEST_F(RegistryTest, EnumeratorsWalkSkipResetAndClone)
{
    OpenKey parent;
    ASSERT_NO_FATAL_FAILURE(Create(u"Parent", parent));
    for (const char16_t* name : {u"Charlie", u"alpha", u"Bravo"}) {
        OpenKey child;
        ASSERT_EQ(parent->CreateSubKey(name, child.Out(), REG_OPTION_NON_VOLATILE), S_OK);
    }

    CComPtr<IEnumRegKey> keys;
    ASSERT_EQ(parent->EnumKeys(&keys), S_OK);
    IRegKey* items[10] = {};
    ULONG fetched = 99;
    ASSERT_EQ(keys->Next(10, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    std::vector<std::u16string> names;
    for (ULONG i = 0; i < fetched; ++i) {
        OpenKey owned(items[i]);
        items[i]->Release();
        EXPECT_NE(owned->GetHandle(), nullptr);
        EXPECT_EQ(owned->GetAccess(), parent->GetAccess());
        names.push_back(NameOf(owned.Get()));
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"alpha", u"Bravo", u"Charlie"}));
    EXPECT_EQ(keys->Next(10, items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    ASSERT_EQ(keys->Reset(), S_OK);
    ASSERT_EQ(keys->Skip(1), S_OK);
    CComPtr<IEnumRegKey> clone;
    ASSERT_EQ(keys->Clone(&clone), S_OK);
    ASSERT_EQ(clone->Next(1, items, &fetched), S_OK);
    {
        OpenKey owned(items[0]);
        items[0]->Release();
        EXPECT_EQ(NameOf(owned.Get()), u"Bravo");
    }
    // Skipping far past the end, even to the largest index, delivers nothing.
    ASSERT_EQ(keys->Skip(5), S_OK);
    EXPECT_EQ(keys->Next(1, items, nullptr), S_FALSE);
    ASSERT_EQ(keys->Reset(), S_OK);
    ASSERT_EQ(keys->Skip(0xFFFFFFFFu), S_OK);
    ASSERT_EQ(keys->Skip(1), S_OK);
    EXPECT_EQ(keys->Next(1, items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(keys->Next(1, nullptr, &fetched), E_INVALIDARG);

    // Values: bound to the key, in name order.
    for (const char16_t* name : {u"two", u"One"}) {
        CComPtr<IRegValue> value;
        ASSERT_EQ(parent->GetValue(name, &value), S_OK);
        ASSERT_EQ(value->SetString(name), S_OK);
    }
    CComPtr<IEnumRegValue> values;
    ASSERT_EQ(parent->EnumValues(&values), S_OK);
    IRegValue* found[3] = {};
    ASSERT_EQ(values->Next(3, found, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    for (ULONG i = 0; i < fetched; ++i) {
        CComPtr<IRegValue> value;
        value.Attach(found[i]);
        CComBSTR name;
        CComBSTR text;
        ASSERT_EQ(value->GetName(&name), S_OK);
        ASSERT_EQ(value->GetString(&text), S_OK);
        EXPECT_EQ(name.View(), i == 0 ? u"One" : u"two");
        EXPECT_EQ(text.View(), name.View());
    }
}

TEST_F(RegistryTest, NamesOfEveryKind)
{
    OpenKey root(Root());
    ASSERT_NE(root->GetHandle(), nullptr);

    // "\" separates keys; "/" and Japanese characters are part of a name; case is ignored.
    struct Case {
        const char16_t* created;
        const char16_t* openedAs;
        std::vector<std::u16string> topLevel;
    };
    const Case cases[] = {
        {u"A\\B", u"a\\b", {u"A"}},
        {u"x/y", u"X/Y", {u"A", u"x/y"}},
        {u"設定\\日本語のキー", u"設定\\日本語のキー", {u"A", u"x/y", u"設定"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        OpenKey created;
        ASSERT_EQ(root->CreateSubKey(c.created, created.Out(), REG_OPTION_NON_VOLATILE), S_OK);
        EXPECT_EQ(NameOf(created.Get()), c.created);
        CComPtr<IRegValue> value;
        ASSERT_EQ(created->GetValue(u"値/\\", &value), S_OK);
        ASSERT_EQ(value->SetString(c.created), S_OK);

        OpenKey opened;
        ASSERT_EQ(root->OpenSubKey(c.openedAs, opened.Out()), S_OK);
        EXPECT_EQ(StringOf(opened.Get(), u"値/\\"), c.created);
        EXPECT_EQ(SubKeyNames(root.Get()), c.topLevel);
    }

    // Paths that name no key are refused, and the store stays as it was.
    const std::u16string tooLong(256, u'k');
    for (const char16_t* bad : {u"A\\\\B", u"\\A", u"A\\", tooLong.c_str()}) {
        OpenKey none;
        EXPECT_EQ(root->CreateSubKey(bad, none.Out(), REG_OPTION_NON_VOLATILE), E_FAIL);
        EXPECT_EQ(root->OpenSubKey(bad, none.Out()), E_FAIL);
        EXPECT_EQ(none.Get(), nullptr);
    }
    EXPECT_EQ(SubKeyNames(root.Get()), (std::vector<std::u16string>{u"A", u"x/y", u"設定"}));
    const std::u16string longest(255, u'k');
    OpenKey longKey;
    EXPECT_EQ(root->CreateSubKey(longest.c_str(), longKey.Out(), REG_OPTION_NON_VOLATILE), S_OK);
}

TEST_F(RegistryTest, KeysOpenCloseAndDelete)
{
    OpenKey root(Root());
    OpenKey parent;
    ASSERT_EQ(root->CreateSubKey(u"Del\\Child", parent.Out(), REG_OPTION_NON_VOLATILE), S_OK);

    // A key with sub-keys stays; a deleted key is gone for handles still open on it.
    EXPECT_EQ(root->DeleteSubKey(u"Del"), E_FAIL);
    EXPECT_EQ(root->DeleteSubKey(u"Del\\Child"), S_OK);
    EXPECT_EQ(root->DeleteSubKey(u"Del\\Child"), E_FAIL);
    // A key made afterwards is never taken for the deleted one.
    OpenKey replacement;
    ASSERT_EQ(root->CreateSubKey(u"Replacement", replacement.Out(), REG_OPTION_NON_VOLATILE), S_OK);
    CComPtr<IRegValue> value;
    ASSERT_EQ(parent->GetValue(u"v", &value), S_OK);
    EXPECT_EQ(value->SetDWord(1), S_FALSE);
    CComPtr<IEnumRegValue> values;
    ASSERT_EQ(replacement->EnumValues(&values), S_OK);
    IRegValue* none[1] = {};
    EXPECT_EQ(values->Next(1, none, nullptr), S_FALSE);
    OpenKey noKey;
    EXPECT_EQ(parent->CreateSubKey(u"Again", noKey.Out(), REG_OPTION_NON_VOLATILE), E_FAIL);
    EXPECT_EQ(root->DeleteSubKey(u"Del"), S_OK);

    // A key that does not open comes back closed; closed keys refuse politely, twice over.
    CComPtr<IRegKey> missing(Util()->OpenKey(HKEY_CURRENT_USER, u"No\\Such\\Key", KEY_READ));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->GetHandle(), nullptr);
    EXPECT_EQ(NameOf(missing), u"");
    EXPECT_EQ(missing->OpenSubKey(u"x", noKey.Out()), E_INVALIDARG);
    EXPECT_EQ(missing->CreateSubKey(u"x", noKey.Out(), REG_OPTION_NON_VOLATILE), E_FAIL);
    EXPECT_EQ(missing->DeleteSubKey(u"x"), E_FAIL);
    EXPECT_EQ(missing->Close(), S_OK);
    EXPECT_EQ(missing->Close(), S_OK);
    EXPECT_EQ(root->OpenSubKey(u"x", nullptr), E_INVALIDARG);
    EXPECT_EQ(root->GetName(nullptr), E_INVALIDARG);
}

// A child process that writes count values named prefix + i (each its own number) below the key,
// creates sub-keys that the other writer creates too, and ends with 0 when every write succeeded.
[[noreturn]] void WriteValues(const std::string& prefix, int count)
{
    int failures = 0;
    {
        OpenKey key(Util()->OpenKey(HKEY_CURRENT_USER, u"Shared", KEY_ALL_ACCESS));
        for (int i = 0; i < count; ++i) {
            const std::string name = prefix + std::to_string(i);
            const std::u16string wide(name.begin(), name.end());
            CComPtr<IRegValue> value;
            if (key->GetValue(wide.c_str(), &value) != S_OK || value->SetDWord(static_cast<DWORD>(i)) != S_OK) {
                ++failures;
            }
            // Both processes create the same keys: each finds the other's or makes its own.
            const std::u16string both = u"Both\\" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
            OpenKey created;
            if (key->CreateSubKey(both.c_str(), created.Out(), REG_OPTION_NON_VOLATILE) != S_OK) {
                ++failures;
            }
        }
    }
    ::_exit(failures == 0 ? 0 : 1);
}

TEST_F(RegistryTest, TwoWriterProcessesLoseNothing)
{
    {
        OpenKey shared;
        ASSERT_NO_FATAL_FAILURE(Create(u"Shared", shared));
    }
    constexpr int Count = 150;
    std::vector<pid_t> children;
    for (const char* prefix : {"first-", "second-"}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            WriteValues(prefix, Count);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }

    OpenKey shared(Util()->OpenKey(HKEY_CURRENT_USER, u"Shared", KEY_READ));
    ASSERT_NE(shared->GetHandle(), nullptr);
    OpenKey both;
    ASSERT_EQ(shared->OpenSubKey(u"Both", both.Out()), S_OK);
    EXPECT_EQ(SubKeyNames(both.Get()).size(), 26u);
    for (const char* prefix : {"first-", "second-"}) {
        for (int i = 0; i < Count; ++i) {
            const std::string name = prefix + std::to_string(i);
            const std::u16string wide(name.begin(), name.end());
            CComPtr<IRegValue> value;
            ASSERT_EQ(shared->GetValue(wide.c_str(), &value), S_OK);
            DWORD number = 0xFFFFFFFF;
            ASSERT_EQ(value->GetDWord(&number), S_OK) << name;
            EXPECT_EQ(number, static_cast<DWORD>(i)) << name;
        }
    }
}

TEST_F(RegistryTest, ProcessesOpeningANewStoreAtOnceAllGetIt)
{
    // Each round starts several processes on a store that does not exist yet; they wait on a pipe
    // so that all of them set the new store up at the same moment.
    constexpr int Rounds = 10;
    constexpr int Processes = 4;
    for (int round = 0; round < Rounds; ++round) {
        const std::filesystem::path folder = m_folder.Path() / ("round-" + std::to_string(round));
        ASSERT_EQ(::setenv(Kiv::Platform::RegistryDirVariable, folder.c_str(), 1), 0);
        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        std::vector<pid_t> children;
        for (int i = 0; i < Processes; ++i) {
            children.push_back(KivTest::StartChild([&gate, i] {
                ::close(gate[1]);
                char ignored = 0;
                while (::read(gate[0], &ignored, 1) > 0) {
                }
                OpenKey root(Util()->OpenKey(HKEY_CURRENT_USER, u"", KEY_ALL_ACCESS));
                if (root->GetHandle() == nullptr) {
                    return 2;
                }
                const std::u16string name = u"writer-" + std::u16string(1, static_cast<char16_t>(u'0' + i));
                CComPtr<IRegValue> value;
                return root->GetValue(name.c_str(), &value) == S_OK && value->SetDWord(static_cast<DWORD>(i)) == S_OK ? 0 : 1;
            }));
        }
        ::close(gate[0]);
        ::close(gate[1]);
        for (const pid_t child : children) {
            EXPECT_EQ(KivTest::WaitForChild(child), 0) << "round " << round;
        }
        OpenKey root(Root());
        ASSERT_NE(root->GetHandle(), nullptr);
        for (int i = 0; i < Processes; ++i) {
            const std::u16string name = u"writer-" + std::u16string(1, static_cast<char16_t>(u'0' + i));
            CComPtr<IRegValue> value;
            DWORD number = 0xFFFFFFFF;
            ASSERT_EQ(root->GetValue(name.c_str(), &value), S_OK);
            EXPECT_EQ(value->GetDWord(&number), S_OK) << "round " << round << " writer " << i;
            EXPECT_EQ(number, static_cast<DWORD>(i));
        }
    }
}

TEST_F(RegistryTest, AWriterKilledMidWriteLeavesACompleteValue)
{
    constexpr DWORD Size = 1 << 20;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Rewrites one large value for ever, each time filled with its own byte.
        OpenKey key(Util()->OpenKey(HKEY_CURRENT_USER, u"", KEY_ALL_ACCESS));
        CComPtr<IKivMemory> bytes(Kiv::GetMemoryUtil()->CreateMemory_CRT());
        BYTE* data = bytes->SetSize(Size);
        CComPtr<IRegValue> value;
        key->GetValue(u"Large", &value);
        for (unsigned round = 1;; ++round) {
            std::memset(data, static_cast<int>(round & 0xFF), Size);
            value->SetBinary(bytes);
        }
    }
    // Wait for the first complete value, let the writer go on a while, then kill it.
    OpenKey root(Root());
    CComPtr<IRegValue> value;
    ASSERT_EQ(root->GetValue(u"Large", &value), S_OK);
    CComPtr<IKivMemory> out(Kiv::GetMemoryUtil()->CreateMemory_CRT());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (value->GetBinary(out) != S_OK && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    ASSERT_EQ(value->GetBinary(out), S_OK);
    ASSERT_EQ(out->GetSize(), Size);
    const BYTE first = out->GetPtr()[0];
    EXPECT_NE(first, 0);
    for (DWORD i = 0; i < Size; ++i) {
        ASSERT_EQ(out->GetPtr()[i], first) << "byte " << i;
    }
    // The store goes on working.
    EXPECT_EQ(value->SetDWord(5), S_OK);
}

TEST_F(RegistryTest, AStoreThatIsNoDatabaseIsAStatus)
{
    const std::string garbage = "this is not a database, only text that claims to be one\n";
    const std::filesystem::path store = m_folder.WriteFile("current-user.db", garbage);

    CComPtr<IRegKey> root(Root());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->GetHandle(), nullptr);
    // The predefined root works without an open key too, and must refuse as well.
    const DWORD number = 1;
    EXPECT_EQ(RegSetValueExW(HKEY_CURRENT_USER, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                             sizeof number),
              ERROR_BADDB);
    HKEY handle = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"k", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_BADDB);
    EXPECT_EQ(handle, nullptr);
    CComPtr<IRegKey> viaRoot(Util()->OpenKey(HKEY_CURRENT_USER, u"Anything", KEY_ALL_ACCESS));
    EXPECT_EQ(viaRoot->GetHandle(), nullptr);
    EXPECT_EQ(ReadFile(store), garbage);
}

TEST_F(RegistryTest, AReadOnlyStoreIsReadButNeverWritten)
{
    {
        OpenKey key;
        ASSERT_NO_FATAL_FAILURE(Create(u"Kept", key));
        CComPtr<IRegValue> value;
        ASSERT_EQ(key->GetValue(u"Text", &value), S_OK);
        ASSERT_EQ(value->SetString(u"before"), S_OK);
    }
    std::filesystem::permissions(StorePath(), std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                                  std::filesystem::perms::others_read);
    const std::string before = ReadFile(StorePath());

    OpenKey key(Util()->OpenKey(HKEY_CURRENT_USER, u"Kept", KEY_ALL_ACCESS));
    ASSERT_NE(key->GetHandle(), nullptr);
    EXPECT_EQ(StringOf(key.Get(), u"Text"), u"before");
    CComPtr<IRegValue> value;
    ASSERT_EQ(key->GetValue(u"Text", &value), S_OK);
    EXPECT_EQ(value->SetString(u"after"), S_FALSE);
    OpenKey none;
    EXPECT_EQ(key->CreateSubKey(u"New", none.Out(), REG_OPTION_NON_VOLATILE), E_FAIL);
    EXPECT_EQ(key->DeleteValue(u"Text"), E_FAIL);
    EXPECT_EQ(StringOf(key.Get(), u"Text"), u"before");
    EXPECT_EQ(ReadFile(StorePath()), before);
}

} // namespace
