// CKivGenId, the identifier object, and CIKivGenIdUtil, which makes them. All CKivGenId objects
// share the process-wide table of CKivGenIdTable. Thread-safe: the table's lock guards every
// operation.
#pragma once

#include "CKivAtlModule.h"

#include "KivCommon/KivGenId.h"

#include "KivPlatform/Threading.h"

#include <string>
#include <unordered_map>

namespace Kiv {

// The table: string to identifier and back. Identifiers grow from KivGenIdFirst and are never
// reused, so the last one, 0xFFFFFFFF, is followed by none.
class CKivGenIdTable {
public:
    // A table whose first identifier is firstId; the process's own starts at KivGenIdFirst.
    explicit CKivGenIdTable(ULONGLONG firstId = KivGenIdFirst) : m_nextId(firstId) {}

    // The process's table, built on first use.
    static CKivGenIdTable& Instance();

    // The identifier of text, assigning the next one to a new string. E_OUTOFMEMORY when memory
    // or identifiers run out (then nothing is entered).
    HRESULT GetId(const std::u16string& text, DWORD& id);
    // The string of id; false for an identifier never handed out.
    bool GetString(DWORD id, std::u16string& text);
    // A SAFEARRAY of copies of every string, or null when memory runs out.
    SAFEARRAY* CopyAllStrings();

private:
    Platform::CriticalSection m_lock;
    // Wider than 32 bits so that the end of the range is a value of its own.
    ULONGLONG m_nextId;
    std::unordered_map<std::u16string, DWORD> m_ids;
    std::unordered_map<DWORD, std::u16string> m_strings;
};

class CKivGenId : public IKivGenId {
public:
    HRESULT GetId(const OLECHAR* text, DWORD* id) override;
    HRESULT GetIdString(DWORD id, BSTR* text) override;
    HRESULT GetAllIds(VARIANT* ids) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    CKivModuleLock m_moduleLock;
};

class CIKivGenIdUtil : public IKivGenIdUtil {
public:
    IKivGenId* CreateGenId() override;
};

} // namespace Kiv
