// One open trace log file: the engine created for it alone, its path and display name, and the
// progress sink of its load. The object lives on the user-interface thread; the engine calls the
// sink on its worker thread, and the sink only posts events to the progress dialog.
#pragma once

#include "KivLogSysMgr/KivLogSysMgr.h"
#include "KivObject/ComPtr.h"

#include <QString>

class QWidget;

class CKivLogFile final : public IKivLogSysMgr_LoadProgress {
public:
    // Creates the file's engine; nothing is loaded yet.
    explicit CKivLogFile(QString path);
    ~CKivLogFile();
    CKivLogFile(const CKivLogFile&) = delete;
    CKivLogFile& operator=(const CKivLogFile&) = delete;

    // The engine; null only when it could not be created.
    IKivLogSysMgr* GetLogSysMgr() const { return m_logSysMgr; }
    // The file-name part of the path.
    const QString& GetName() const { return m_name; }
    const QString& GetPath() const { return m_path; }

    // IUnknown: answers itself for IUnknown and the progress sink; not counted (the main dialog
    // owns the object and deletes it).
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 0; }
    HRESULT OnKivLogSysMgr_LoadProgress(LONG kind, LONG value) override;

private:
    Kiv::CComPtr<IKivLogSysMgr> m_logSysMgr;
    QString m_name;
    QString m_path;
};
