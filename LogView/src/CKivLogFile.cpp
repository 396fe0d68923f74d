#include "CKivLogFile.h"


CKivLogFile::CKivLogFile(QString path) : m_path(std::move(path))
{
    m_name = m_path.mid(m_path.lastIndexOf(u'/') + 1);
    CKivLogSysMgr::CreateLogSysMgr(&m_logSysMgr);
}

CKivLogFile::~CKivLogFile() = default;

HRESULT CKivLogFile::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IUnknown::Iid || riid == IKivLogSysMgr_LoadProgress::Iid) {
        *ppv = static_cast<IKivLogSysMgr_LoadProgress*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CKivLogFile::OnKivLogSysMgr_LoadProgress(LONG, LONG)
{
    return S_OK;
}
