// One open trace log file: the engine created for it alone, its path and display name, and the
// progress sink of its load. The object lives on the user-interface thread; the engine calls the
// sink on its worker thread, and the sink only posts events to the progress dialog.
#pragma once

#include "KivLogSysMgr/KivLogSysMgr.h"
#include "KivObject/ComPtr.h"

#include <QString>

#include <atomic>

class CDlgLoadProgress;
class QWidget;

class CKivLogFile final : public IKivLogSysMgr_LoadProgress {
public:
    // Creates the file's engine; nothing is loaded yet.
    explicit CKivLogFile(QString path);
    // Takes the given engine instead of creating one (tests hand in their own).
    CKivLogFile(QString path, IKivLogSysMgr* engine);
    ~CKivLogFile();
    CKivLogFile(const CKivLogFile&) = delete;
    CKivLogFile& operator=(const CKivLogFile&) = delete;

    // The engine; null only when it could not be created.
    IKivLogSysMgr* GetLogSysMgr() const { return m_logSysMgr; }
    // The file-name part of the path.
    const QString& GetName() const { return m_name; }
    const QString& GetPath() const { return m_path; }

    // Loads the file on the engine's worker thread while a modal progress dialog owned by owner
    // runs, and returns when the load has ended: completed, cancelled or failed. Afterwards the
    // engine holds whatever model the load left (empty when it failed).
    void Load(QWidget* owner);

    // IUnknown: answers itself for IUnknown and the progress sink; not counted (the main dialog
    // owns the object and deletes it).
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 0; }
    // Called on the engine's worker thread: posts the percentage to the progress dialog, and
    // after the end report waits a second and posts it the OK command. Touches nothing else.
    HRESULT OnKivLogSysMgr_LoadProgress(LONG kind, LONG value) override;

private:
    Kiv::CComPtr<IKivLogSysMgr> m_logSysMgr;
    QString m_name;
    QString m_path;
    // The dialog of the running load; set on the user-interface thread before the worker starts
    // and cleared after it has ended, read by the sink on the worker.
    std::atomic<CDlgLoadProgress*> m_progressDlg{nullptr};
};
