// The modal progress dialog of one load: starts the load when it is shown, moves its bar on the
// progress events the file's sink posts, offers to cancel, and ends on the OK command the sink
// posts after the engine's end report. The dialog lives on the user-interface thread; the
// static Post functions may be called from any thread (they only post events).
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"
#include "KivObject/ComPtr.h"

#include <QDialog>
#include <QEvent>

class QProgressBar;
class QPushButton;

class CDlgLoadProgress final : public QDialog {
    Q_OBJECT

public:
    // engine: the file's engine, held counted while the dialog lives; path: the file to load.
    CDlgLoadProgress(IKivLogSysMgr* engine, QString path, QWidget* owner);
    ~CDlgLoadProgress() override;

    // The registered event types: "CDlgLoadProgress::m_umsgProg" (a percentage) and a dialog
    // command (an id such as ViewerIds::IdOk).
    static QEvent::Type ProgressEventType();
    static QEvent::Type CommandEventType();
    // Posts a percentage, or a command, to the dialog; thread-safe.
    static void PostProgress(CDlgLoadProgress* dialog, LONG percent);
    static void PostCommand(CDlgLoadProgress* dialog, int id);

    // Escape and the close box cancel the load like the button: the dialog stays until the
    // engine reports the end.
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void OnCancel();

    Kiv::CComPtr<IKivLogSysMgr> m_engine;
    QString m_path;
    QProgressBar* m_progress;
    QPushButton* m_cancel;
    bool m_started = false;
};
