// The registry functions over SQLite. The handle table and the table of open databases are
// locked by one mutex; each database connection has a mutex of its own held for a whole call.
#include "KivPlatform/Registry.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/Status.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::size_t MaxKeyNameLength = 255;
constexpr std::size_t MaxValueNameLength = 16383;
// How long a call waits for another connection's write to end.
constexpr int BusyTimeoutMs = 30000;
// The pause before a store's setup is tried again after it met another process's setup.
constexpr std::chrono::milliseconds SetUpRetryPause{5};
// The key id that stands for the root itself; stored keys start at 1.
constexpr sqlite3_int64 RootKeyId = 0;

constexpr const char* Schema =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " name BLOB NOT NULL, folded BLOB NOT NULL, UNIQUE(parent, folded));"
    "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, name BLOB NOT NULL, folded BLOB NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, folded)) WITHOUT ROWID;";

// A call's failure leaves the helpers as this exception; its Windows error number waits in
// t_failure for the boundary of the call (Guarded).
struct RegistryFailure {};
thread_local LONG t_failure = 0;

[[noreturn]] void Raise(LONG code)
{
    t_failure = code;
    throw RegistryFailure{};
}

LONG ErrorFromSqlite(int result)
{
    switch (result & 0xFF) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_SCHEMA:
    case SQLITE_ERROR:
        return ERROR_BADDB;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return static_cast<LONG>(ERROR_ACCESS_DENIED);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_NOMEM:
        return static_cast<LONG>(ERROR_NOT_ENOUGH_MEMORY);
    case SQLITE_CANTOPEN:
        return static_cast<LONG>(ERROR_PATH_NOT_FOUND);
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

void Check(int result)
{
    if (result != SQLITE_OK && result != SQLITE_DONE && result != SQLITE_ROW) {
        Raise(ErrorFromSqlite(result));
    }
}

// One open database file.
struct Store {
    sqlite3* db = nullptr;
    std::mutex lock;
    ~Store() { sqlite3_close_v2(db); }
};

// A prepared statement, finalised with its owner.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { Check(sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr)); }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, sqlite3_int64 value)
    {
        Check(sqlite3_bind_int64(m_statement, index, value));
        return *this;
    }
    // A blob of size bytes; an empty one is bound as an empty blob, never as NULL.
    Statement& Bind(int index, const void* bytes, std::size_t size)
    {
        Check(size == 0 ? sqlite3_bind_zeroblob(m_statement, index, 0)
                        : sqlite3_bind_blob64(m_statement, index, bytes, size, SQLITE_TRANSIENT));
        return *this;
    }
    Statement& Bind(int index, std::u16string_view text) { return Bind(index, text.data(), text.size() * sizeof(char16_t)); }
    Statement& Bind(int index, const std::string& bytes) { return Bind(index, bytes.data(), bytes.size()); }

    // True while there is a row.
    bool Step()
    {
        const int result = sqlite3_step(m_statement);
        Check(result);
        return result == SQLITE_ROW;
    }
    sqlite3_int64 Int(int column) { return sqlite3_column_int64(m_statement, column); }
    std::string_view Blob(int column)
    {
        const void* bytes = sqlite3_column_blob(m_statement, column);
        const int size = sqlite3_column_bytes(m_statement, column);
        return bytes != nullptr ? std::string_view(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                                : std::string_view();
    }
    std::u16string Text(int column)
    {
        const std::string_view bytes = Blob(column);
        std::u16string text(bytes.size() / sizeof(char16_t), u'\0');
        std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
        return text;
    }

private:
    sqlite3_stmt* m_statement = nullptr;
};

// A write transaction: taken at once (so that two writers never deadlock on an upgrade), rolled
// back unless committed.
class WriteTransaction {
public:
    explicit WriteTransaction(sqlite3* db) : m_db(db) { Check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr)); }
    ~WriteTransaction()
    {
        if (!m_committed) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void Commit()
    {
        Check(sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr));
        m_committed = true;
    }

private:
    sqlite3* m_db;
    bool m_committed = false;
};

// The form a name is compared and ordered by: ASCII letters in lower case, each UTF-16 unit as
// two bytes high byte first, so that the database's byte order is the order of the units.
std::string Folded(std::u16string_view name)
{
    std::string folded;
    folded.reserve(name.size() * 2);
    for (char16_t unit : name) {
        if (unit >= u'A' && unit <= u'Z') {
            unit = static_cast<char16_t>(unit - u'A' + u'a');
        }
        folded.push_back(static_cast<char>(unit >> 8));
        folded.push_back(static_cast<char>(unit & 0xFF));
    }
    return folded;
}

std::u16string_view View(LPCWSTR text)
{
    return text != nullptr ? std::u16string_view(text) : std::u16string_view();
}

// The components of a key path; empty for an empty path. Empty components and over-long names
// are refused.
std::vector<std::u16string_view> SplitPath(std::u16string_view path)
{
    std::vector<std::u16string_view> components;
    if (path.empty()) {
        return components;
    }
    for (;;) {
        const std::size_t end = path.find(u'\\');
        const std::u16string_view component = path.substr(0, end);
        if (component.empty()) {
            Raise(ERROR_BAD_PATHNAME);
        }
        if (component.size() > MaxKeyNameLength) {
            Raise(static_cast<LONG>(ERROR_INVALID_PARAMETER));
        }
        components.push_back(component);
        if (end == std::u16string_view::npos) {
            return components;
        }
        path.remove_prefix(end + 1);
    }
}

std::u16string_view ValueName(LPCWSTR name)
{
    const std::u16string_view view = View(name);
    if (view.size() > MaxValueNameLength) {
        Raise(static_cast<LONG>(ERROR_INVALID_PARAMETER));
    }
    return view;
}

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The database file of a predefined root; empty for a handle that is none.
std::string RootPath(HKEY root)
{
    const bool user = root == HKEY_CURRENT_USER;
    if (!user && root != HKEY_LOCAL_MACHINE) {
        return {};
    }
    const std::string folder = Environment(Kiv::Platform::RegistryDirVariable);
    if (!folder.empty()) {
        return folder + (user ? "/current-user.db" : "/local-machine.db");
    }
    if (!user) {
        return "/var/lib/kiv/registry.db";
    }
    std::string dataHome = Environment("XDG_DATA_HOME");
    if (dataHome.empty() || dataHome.front() != '/') {
        dataHome = Environment("HOME") + "/.local/share";
    }
    return dataHome + "/kiv/registry.db";
}

// An open key: its database, its id there, and the rights it was opened with.
struct OpenKey {
    std::shared_ptr<Store> store;
    sqlite3_int64 id;
    REGSAM access;
};

struct Tables {
    std::mutex lock;
    // Open databases by path, alive while a handle or a call uses them.
    std::map<std::string, std::weak_ptr<Store>> stores;
    std::unordered_map<std::uintptr_t, OpenKey> handles;
    // Handle values count up in steps of 4 from here, far from the predefined roots.
    std::uintptr_t nextHandle = 0x1000;
};

Tables& GetTables()
{
    static Tables tables;
    return tables;
}

// Sets a writable connection up: the write-ahead log, full syncs and the tables. Processes that
// set up a new store at the same moment can each hold a lock the other's setup needs; SQLite then
// answers "busy" at once instead of calling its busy handler (waiting could never end), so the
// whole setup is tried again until the busy time-out has passed. The last result.
int SetUpStore(sqlite3* db)
{
    const auto exec = [db](const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(BusyTimeoutMs);
    for (;;) {
        int result = exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL");
        if (result == SQLITE_OK) {
            result = exec("BEGIN IMMEDIATE");
            if (result == SQLITE_OK) {
                result = exec(Schema);
                result = result == SQLITE_OK ? exec("COMMIT") : result;
                if (result != SQLITE_OK) {
                    exec("ROLLBACK");
                }
            }
        }
        const int kind = result & 0xFF;
        if ((kind != SQLITE_BUSY && kind != SQLITE_LOCKED) || std::chrono::steady_clock::now() >= deadline) {
            return result;
        }
        std::this_thread::sleep_for(SetUpRetryPause);
    }
}

// The store at path: the one already open, or a new connection. Caller holds the tables' lock.
std::shared_ptr<Store> OpenStore(Tables& tables, const std::string& path)
{
    if (std::shared_ptr<Store> open = tables.stores[path].lock()) {
        return open;
    }
    std::erase_if(tables.stores, [](const auto& entry) { return entry.second.expired(); });
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    const bool readOnly = exists && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    if (!exists) {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    }
    auto store = std::make_shared<Store>();
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_FULLMUTEX;
    Check(sqlite3_open_v2(path.c_str(), &store->db, flags, nullptr));
    Check(sqlite3_busy_timeout(store->db, BusyTimeoutMs));
    if (readOnly) {
        // Reading the schema proves that the file is a database.
        Statement(store->db, "SELECT count(*) FROM sqlite_master").Step();
    } else {
        Check(SetUpStore(store->db));
    }
    tables.stores[path] = store;
    return store;
}

// What a call works on: a predefined root (all rights) or an open handle.
OpenKey Resolve(HKEY key)
{
    Tables& tables = GetTables();
    const std::lock_guard guard(tables.lock);
    const std::string root = RootPath(key);
    if (!root.empty()) {
        return OpenKey{OpenStore(tables, root), RootKeyId, KEY_ALL_ACCESS};
    }
    const auto it = tables.handles.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == tables.handles.end()) {
        Raise(ERROR_INVALID_HANDLE);
    }
    return it->second;
}

void RequireAccess(const OpenKey& key, REGSAM right)
{
    if ((key.access & right) != right) {
        Raise(static_cast<LONG>(ERROR_ACCESS_DENIED));
    }
}

// Fails when another handle or process has deleted the key.
void RequireKey(sqlite3* db, sqlite3_int64 id)
{
    if (id != RootKeyId && !Statement(db, "SELECT 1 FROM keys WHERE id = ?").Bind(1, id).Step()) {
        Raise(ERROR_KEY_DELETED);
    }
}

std::optional<sqlite3_int64> FindChild(sqlite3* db, sqlite3_int64 parent, std::u16string_view name)
{
    Statement find(db, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
    find.Bind(1, parent).Bind(2, Folded(name));
    return find.Step() ? std::optional(find.Int(0)) : std::nullopt;
}

std::optional<sqlite3_int64> FindPath(sqlite3* db, sqlite3_int64 id, const std::vector<std::u16string_view>& path)
{
    for (const std::u16string_view name : path) {
        const std::optional<sqlite3_int64> child = FindChild(db, id, name);
        if (!child) {
            return std::nullopt;
        }
        id = *child;
    }
    return id;
}

HKEY AddHandle(OpenKey key)
{
    Tables& tables = GetTables();
    const std::lock_guard guard(tables.lock);
    const std::uintptr_t handle = tables.nextHandle;
    tables.handles.emplace(handle, std::move(key));
    tables.nextHandle += 4;
    return reinterpret_cast<HKEY>(handle);
}

// Runs a call's body: the error number it returns or raised, ERROR_NOT_ENOUGH_MEMORY when memory
// runs out.
template <class Body>
LONG Guarded(Body body) noexcept
{
    t_failure = ERROR_REGISTRY_IO_FAILED;
    const HRESULT result = Kiv::Platform::StatusFromExceptions([&]() -> HRESULT { return body(); });
    if (result == E_OUTOFMEMORY) {
        return static_cast<LONG>(ERROR_NOT_ENOUGH_MEMORY);
    }
    return FAILED(result) ? t_failure : result;
}

// Copies a name into a caller's buffer of capacity characters (NUL included).
LONG CopyName(const std::u16string& name, LPWSTR buffer, DWORD* capacity)
{
    if (buffer == nullptr || capacity == nullptr) {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    }
    if (name.size() >= *capacity) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.data(), name.size() * sizeof(char16_t));
    buffer[name.size()] = u'\0';
    *capacity = static_cast<DWORD>(name.size());
    return static_cast<LONG>(ERROR_SUCCESS);
}

// Hands a value's type and bytes to the caller as the query and enumeration functions do.
LONG CopyValue(DWORD storedType, std::string_view bytes, DWORD* type, BYTE* data, DWORD* size)
{
    if (data != nullptr && size == nullptr) {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    }
    if (type != nullptr) {
        *type = storedType;
    }
    if (size == nullptr) {
        return static_cast<LONG>(ERROR_SUCCESS);
    }
    const DWORD needed = static_cast<DWORD>(bytes.size());
    const bool fits = data == nullptr || *size >= needed;
    if (data != nullptr && fits) {
        std::memcpy(data, bytes.data(), bytes.size());
    }
    *size = needed;
    return fits ? static_cast<LONG>(ERROR_SUCCESS) : ERROR_MORE_DATA;
}

} // namespace

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD /*options*/, REGSAM access, HKEY* result)
{
    if (result == nullptr) {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    }
    return Guarded([&]() -> LONG {
        const std::vector<std::u16string_view> path = SplitPath(View(subKey));
        OpenKey parent = Resolve(key);
        std::optional<sqlite3_int64> id;
        {
            const std::lock_guard guard(parent.store->lock);
            sqlite3* db = parent.store->db;
            RequireKey(db, parent.id);
            id = FindPath(db, parent.id, path);
        }
        if (!id) {
            return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
        }
        *result = AddHandle(OpenKey{std::move(parent.store), *id, access});
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD /*reserved*/, LPWSTR /*keyClass*/, DWORD /*options*/,
                     REGSAM access, const void* /*security*/, HKEY* result, DWORD* disposition)
{
    if (result == nullptr) {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    }
    return Guarded([&]() -> LONG {
        const std::vector<std::u16string_view> path = SplitPath(View(subKey));
        OpenKey parent = Resolve(key);
        RequireAccess(parent, KEY_CREATE_SUB_KEY);
        sqlite3_int64 id = parent.id;
        bool created = false;
        {
            const std::lock_guard guard(parent.store->lock);
            sqlite3* db = parent.store->db;
            WriteTransaction transaction(db);
            RequireKey(db, parent.id);
            for (const std::u16string_view name : path) {
                if (const std::optional<sqlite3_int64> child = FindChild(db, id, name)) {
                    id = *child;
                    continue;
                }
                Statement(db, "INSERT INTO keys(parent, name, folded) VALUES(?, ?, ?)")
                    .Bind(1, id)
                    .Bind(2, name)
                    .Bind(3, Folded(name))
                    .Step();
                id = sqlite3_last_insert_rowid(db);
                created = true;
            }
            transaction.Commit();
        }
        *result = AddHandle(OpenKey{std::move(parent.store), id, access});
        if (disposition != nullptr) {
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG RegCloseKey(HKEY key)
{
    if (!RootPath(key).empty()) {
        return static_cast<LONG>(ERROR_SUCCESS);
    }
    return Guarded([&]() -> LONG {
        OpenKey closing;
        Tables& tables = GetTables();
        {
            const std::lock_guard guard(tables.lock);
            const auto it = tables.handles.find(reinterpret_cast<std::uintptr_t>(key));
            if (it == tables.handles.end()) {
                return ERROR_INVALID_HANDLE;
            }
            closing = std::move(it->second);
            tables.handles.erase(it);
        }
        // The last handle of a database closes it, outside the tables' lock.
        closing.store.reset();
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey)
{
    return Guarded([&]() -> LONG {
        const std::vector<std::u16string_view> path = SplitPath(View(subKey));
        if (path.empty()) {
            return static_cast<LONG>(ERROR_INVALID_PARAMETER);
        }
        const OpenKey parent = Resolve(key);
        const std::lock_guard guard(parent.store->lock);
        sqlite3* db = parent.store->db;
        WriteTransaction transaction(db);
        RequireKey(db, parent.id);
        const std::optional<sqlite3_int64> id = FindPath(db, parent.id, path);
        if (!id) {
            return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
        }
        if (Statement(db, "SELECT 1 FROM keys WHERE parent = ?").Bind(1, *id).Step()) {
            return static_cast<LONG>(ERROR_ACCESS_DENIED);
        }
        Statement(db, "DELETE FROM vals WHERE key = ?").Bind(1, *id).Step();
        Statement(db, "DELETE FROM keys WHERE id = ?").Bind(1, *id).Step();
        transaction.Commit();
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG RegDeleteValueW(HKEY key, LPCWSTR name)
{
    return Guarded([&]() -> LONG {
        const std::u16string_view valueName = ValueName(name);
        const OpenKey owner = Resolve(key);
        RequireAccess(owner, KEY_SET_VALUE);
        const std::lock_guard guard(owner.store->lock);
        sqlite3* db = owner.store->db;
        WriteTransaction transaction(db);
        RequireKey(db, owner.id);
        Statement(db, "DELETE FROM vals WHERE key = ? AND folded = ?").Bind(1, owner.id).Bind(2, Folded(valueName)).Step();
        if (sqlite3_changes(db) == 0) {
            return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
        }
        transaction.Commit();
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* /*reserved*/, DWORD* type, BYTE* data, DWORD* size)
{
    return Guarded([&]() -> LONG {
        const std::u16string_view valueName = ValueName(name);
        const OpenKey owner = Resolve(key);
        RequireAccess(owner, KEY_QUERY_VALUE);
        const std::lock_guard guard(owner.store->lock);
        sqlite3* db = owner.store->db;
        RequireKey(db, owner.id);
        Statement query(db, "SELECT type, data FROM vals WHERE key = ? AND folded = ?");
        query.Bind(1, owner.id).Bind(2, Folded(valueName));
        if (!query.Step()) {
            return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
        }
        return CopyValue(static_cast<DWORD>(query.Int(0)), query.Blob(1), type, data, size);
    });
}

LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD /*reserved*/, DWORD type, const BYTE* data, DWORD size)
{
    if (data == nullptr && size != 0) {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    }
    return Guarded([&]() -> LONG {
        const std::u16string_view valueName = ValueName(name);
        const OpenKey owner = Resolve(key);
        RequireAccess(owner, KEY_SET_VALUE);
        const std::lock_guard guard(owner.store->lock);
        sqlite3* db = owner.store->db;
        WriteTransaction transaction(db);
        RequireKey(db, owner.id);
        // A value that exists keeps the spelling of its name.
        Statement(db, "INSERT INTO vals(key, name, folded, type, data) VALUES(?, ?, ?, ?, ?)"
                      " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data")
            .Bind(1, owner.id)
            .Bind(2, valueName)
            .Bind(3, Folded(valueName))
            .Bind(4, type)
            .Bind(5, data, size)
            .Step();
        transaction.Commit();
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* /*reserved*/, LPWSTR keyClass,
                   DWORD* classLength, FILETIME* /*lastWrite*/)
{
    return Guarded([&]() -> LONG {
        const OpenKey owner = Resolve(key);
        RequireAccess(owner, KEY_ENUMERATE_SUB_KEYS);
        const std::lock_guard guard(owner.store->lock);
        sqlite3* db = owner.store->db;
        RequireKey(db, owner.id);
        Statement entry(db, "SELECT name FROM keys WHERE parent = ? ORDER BY folded, id LIMIT 1 OFFSET ?");
        entry.Bind(1, owner.id).Bind(2, index);
        if (!entry.Step()) {
            return ERROR_NO_MORE_ITEMS;
        }
        const LONG result = CopyName(entry.Text(0), name, nameLength);
        // Keys have no class here: an empty one.
        if (result == static_cast<LONG>(ERROR_SUCCESS) && keyClass != nullptr && classLength != nullptr &&
            *classLength > 0) {
            keyClass[0] = u'\0';
            *classLength = 0;
        }
        return result;
    });
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                   DWORD* dataSize)
{
    return Guarded([&]() -> LONG {
        const OpenKey owner = Resolve(key);
        RequireAccess(owner, KEY_QUERY_VALUE);
        const std::lock_guard guard(owner.store->lock);
        sqlite3* db = owner.store->db;
        RequireKey(db, owner.id);
        Statement entry(db, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY folded LIMIT 1 OFFSET ?");
        entry.Bind(1, owner.id).Bind(2, index);
        if (!entry.Step()) {
            return ERROR_NO_MORE_ITEMS;
        }
        const LONG result = CopyName(entry.Text(0), name, nameLength);
        if (result != static_cast<LONG>(ERROR_SUCCESS)) {
            return result;
        }
        return CopyValue(static_cast<DWORD>(entry.Int(1)), entry.Blob(2), type, data, dataSize);
    });
}
