// The method names of a method set as the engine hands them out (an array from the task
// allocator of BSTRs), owned so that every string and then the array are freed; and a BSTR as a
// Qt string, by its length. Header-only; user-interface thread.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"
#include "KivObject/ComBSTR.h"
#include "KivPlatform/TaskMem.h"

#include <QString>

class CMethodNames {
public:
    CMethodNames() = default;
    ~CMethodNames()
    {
        for (LONG i = 0; i < m_count; ++i) {
            Kiv::CComBSTR owner;
            owner.Attach(m_names[i]);
        }
        CoTaskMemFree(m_names);
    }
    CMethodNames(const CMethodNames&) = delete;
    CMethodNames& operator=(const CMethodNames&) = delete;

    HRESULT Read(IKivLogSysMethodSet* methodSet) { return methodSet->GetMethodNames(&m_count, &m_names); }
    LONG Count() const { return m_count; }
    BSTR operator[](LONG index) const { return m_names[index]; }

private:
    LONG m_count = 0;
    BSTR* m_names = nullptr;
};

// The whole BSTR, NUL characters included; empty for null.
inline QString FromBstr(BSTR text)
{
    return QString::fromUtf16(text == nullptr ? u"" : text, SysStringLen(text));
}
