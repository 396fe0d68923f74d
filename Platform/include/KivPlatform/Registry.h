// The registry functions under their Windows names, over an SQLite database per predefined root:
// keys (a tree of names below each root), and values of a key (a name, a type and bytes).
//
// Where the roots live: HKEY_CURRENT_USER in $XDG_DATA_HOME/kiv/registry.db (XDG_DATA_HOME
// defaults to $HOME/.local/share), HKEY_LOCAL_MACHINE in /var/lib/kiv/registry.db. When the
// environment variable KIV_REGISTRY_DIR names a folder, both live there instead, as
// current-user.db and local-machine.db (tests use it). A database file without write permission
// bits is opened read-only: its contents can be read, every write fails.
//
// Each write is one transaction (write-ahead log, synchronous commits): a process that dies in
// the middle of one leaves the earlier state, and several processes may write the same key at
// once, waiting for each other up to a busy time-out. Names are compared without regard to ASCII
// case and kept as given; a path's components are separated by "\", and "/" is an ordinary
// character of a name. Key names hold at most 255 characters, value names 16383.
//
// The functions return the Windows error numbers (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ...).
// Handles are numbers from a table, so a closed or made-up handle gives ERROR_INVALID_HANDLE;
// a handle whose key another handle or process deleted gives ERROR_KEY_DELETED. A database file
// that is not a registry gives ERROR_BADDB. Thread-safe: the handle table is locked, and each
// database connection is used by one call at a time.
#pragma once

#include "KivPlatform/Time.h"
#include "KivPlatform/Types.h"

#include <cstdint>

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;

inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001u});
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002u});

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

// Access rights of a key handle.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Options and dispositions of RegCreateKeyExW.
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Error numbers of the registry functions beyond those of Status.h.
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_BAD_PATHNAME = 161;
inline constexpr LONG ERROR_BUSY = 170;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr LONG ERROR_KEY_DELETED = 1018;

namespace Kiv::Platform {
// The environment variable that moves both roots into one folder.
inline constexpr const char* RegistryDirVariable = "KIV_REGISTRY_DIR";
} // namespace Kiv::Platform

// Opens the key at subKey below key (null or empty: key itself) with the given rights.
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result);
// Opens the key, creating it and the keys on its way when missing; disposition (may be null)
// says which. The class, options and security arguments are not kept: every key persists.
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options, REGSAM access,
                     const void* security, HKEY* result, DWORD* disposition);
LONG RegCloseKey(HKEY key);
// Deletes the key at subKey (not empty) with its values; a key with sub-keys gives
// ERROR_ACCESS_DENIED.
LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey);
LONG RegDeleteValueW(HKEY key, LPCWSTR name);
// Reads a value (null or empty name: the key's default value). type, data and size may each be
// null; data needs size. A buffer smaller than the value gives ERROR_MORE_DATA with the type
// and the size needed.
LONG RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
// The sub-key or value at index, in the order of their names; ERROR_NO_MORE_ITEMS past the end.
// nameLength is the capacity in characters on entry (room for the terminating NUL included) and
// the name's length on return; a name that does not fit gives ERROR_MORE_DATA.
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved, LPWSTR keyClass,
                   DWORD* classLength, FILETIME* lastWrite);
LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved, DWORD* type, BYTE* data,
                   DWORD* dataSize);
