// The view window on the right of the main window. For now it shows which file is current (its
// name, path and number of threads); the log views, the time line and the detail lists come with
// their own classes. User-interface thread only.
#pragma once

#include "LogFont.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include <QFont>
#include <QWidget>

class CKivLogFile;

class CKivLogViewWnd final : public QWidget {
    Q_OBJECT

public:
    explicit CKivLogViewWnd(QWidget* parent);

    // Makes file (null: none) the current file; the window text becomes its display name.
    void SelectFile(CKivLogFile* file);
    CKivLogFile* GetCurrentFile() const { return m_file; }
    // The display font for the window's contents.
    void ApplyFont(const LOGFONTW& font);
    // Marks the block's lines in the current log view; there is no log view yet, so nothing is
    // marked.
    void SelectBlockRange(IKivLogSysBlock* block);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CKivLogFile* m_file = nullptr;
    // The current file's number of threads, read once when it becomes current.
    LONG m_threadCount = 0;
    QFont m_font;
};
