// CKivLogFile: the engine calls of one file's load, and its progress sink.
#include "CKivLogFile.h"

#include "CDlgLoadProgress.h"
#include "ViewerIds.h"

#include "KivPlatform/Boundary.h"

#include <chrono>
#include <thread>

namespace {

// The engine's progress kinds: reading starts (value 0), a percentage, the load has ended.
constexpr LONG LoadProgressStart = 0;
constexpr LONG LoadProgressPercent = 1;
constexpr LONG LoadProgressEnd = 2;

// How long the finished bar stays on screen before the dialog closes.
constexpr std::chrono::milliseconds EndPause{1000};

} // namespace

CKivLogFile::CKivLogFile(QString path) : m_path(std::move(path))
{
    m_name = m_path.mid(m_path.lastIndexOf(u'/') + 1);
    CKivLogSysMgr::CreateLogSysMgr(&m_logSysMgr);
}

CKivLogFile::CKivLogFile(QString path, IKivLogSysMgr* engine) : m_logSysMgr(engine), m_path(std::move(path))
{
    m_name = m_path.mid(m_path.lastIndexOf(u'/') + 1);
}

CKivLogFile::~CKivLogFile() = default;

void CKivLogFile::Load(QWidget* owner)
{
    if (!m_logSysMgr) {
        return;
    }
    m_logSysMgr->SetLoadProgress(this);
    {
        CDlgLoadProgress dialog(m_logSysMgr, m_path, owner);
        m_progressDlg = &dialog;
        dialog.exec();
        m_logSysMgr->WaitWorkThreads();
        m_progressDlg = nullptr;
    }
    // The sink is this object, which the engine may outlive by nothing: unregister it now that
    // no load runs.
    m_logSysMgr->SetLoadProgress(nullptr);
}

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

HRESULT CKivLogFile::OnKivLogSysMgr_LoadProgress(LONG kind, LONG value)
{
    return Kiv::Platform::StatusFromExceptions([&] {
        CDlgLoadProgress* dialog = m_progressDlg.load();
        if (dialog == nullptr) {
            return;
        }
        switch (kind) {
        case LoadProgressPercent:
            CDlgLoadProgress::PostProgress(dialog, value);
            break;
        case LoadProgressEnd:
            std::this_thread::sleep_for(EndPause);
            CDlgLoadProgress::PostCommand(dialog, ViewerIds::IdOk);
            break;
        case LoadProgressStart:
        default:
            break;
        }
    });
}
