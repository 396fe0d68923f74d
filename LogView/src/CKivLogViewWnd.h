// The view window on the right of the main window: the current file's lines gathered into one
// page per thread, the visible threads' lines merged into one list in file order, the marks and
// the thread visibility, and the tab strip over the log views (two controls one above the
// other), the thread information and the method information. It is the log views' data source.
// User-interface thread only; the file's model is complete and read-only while it is shown.
#pragma once

#include "CKivLogThreadPage.h"
#include "IKivLogViewCtrlEventHandle.h"
#include "LogFont.h"

#include "KivCommon/KivResizePanel.h"
#include "KivLogSysMgr/KivLogSysInterfaces.h"
#include "KivObject/ComPtr.h"

#include <QEvent>
#include <QFont>
#include <QWidget>

#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

class CKivLogFile;
class CKivLogMethodInfoCtrl;
class CKivLogThreadInfoCtrl;
class CKivLogTimeLineViewCtrl;
class CKivLogViewCtrl;
class IKivLogViewApp;
class QTabBar;

class CKivLogViewWnd final : public QWidget, public IKivLogViewCtrl_EventHandle {
    Q_OBJECT

public:
    // The tab pages, in the tab strip's order.
    static constexpr int TabLogView = 0;
    static constexpr int TabThreadInfo = 1;
    static constexpr int TabMethodInfo = 2;

    explicit CKivLogViewWnd(QWidget* parent);
    ~CKivLogViewWnd() override;

    // Makes file (null: none) the current file, rebuilds the pages and resets both log views.
    void SelectFile(CKivLogFile* file);
    CKivLogFile* GetCurrentFile() const { return m_file; }
    // The display font for the log views, the time line and the tab strip.
    void ApplyFont(const LOGFONTW& font);
    // Selects the block's lines (entry line to return line, or to the end of the list for a
    // block without return) in the current log view and highlights its thread.
    void SelectBlockRange(IKivLogSysBlock* block);
    // Scrolls the current log view so that the record's line is visible; false when the record
    // is not in the merged list.
    bool ShowLine(const KivLogSysLineInfo* line);
    // Shows or hides a thread's lines in both log views.
    void SetThreadVisible(DWORD threadId, bool visible);
    bool IsThreadVisible(DWORD threadId) const;
    // The time of a thread's first and last line: E_INVALIDARG for an unknown thread or a missing
    // argument, E_FAIL for a thread without lines.
    HRESULT GetThreadTimes(DWORD threadId, SYSTEMTIME* first, SYSTEMTIME* last) const;
    // The page of a thread; null when there is none.
    CKivLogThreadPage* FindPage(DWORD threadId) const;
    const std::vector<std::unique_ptr<CKivLogThreadPage>>& GetPages() const { return m_pages; }
    // The event that asks the window to rebuild its pages from the current file's model and
    // repaint ("CKivLogViewWnd::m_umsgUpdatePage"); post it with QCoreApplication::postEvent.
    static QEvent::Type UpdatePageEvent();
    // The position of a record in the merged list, by binary search on its line number; -1 when
    // it is not there.
    LONG FindLinePosition(const KivLogSysLineInfo* line) const;

    // A command from the menus: offered to the current log view first, then handled here (hide
    // thread). False when nobody handled it.
    bool OnCommand(int id);
    // The file is about to be closed: its marks go (the caller has already made another file
    // current).
    void ForgetFile(const CKivLogFile* file);
    void ShowTabPage(int tab);

    CKivLogViewCtrl* GetLogView(int index) const { return index == 0 ? m_logView1 : m_logView2; }
    CKivLogViewCtrl* GetCurrentLogView() const { return m_currentView; }
    CKivLogTimeLineViewCtrl* GetTimeLine() const { return m_timeLine; }
    QTabBar* GetTabStrip() const { return m_tabStrip; }
    CKivLogThreadInfoCtrl* GetThreadList() const { return m_threadList; }
    CKivLogMethodInfoCtrl* GetMethodList() const { return m_methodList; }

    HRESULT GetViewLineCount(LONG* count) override;
    HRESULT GetViewLine(LONG index, const KivLogSysLineInfo** line) override;
    HRESULT GetLineMark(LONG index, LONG* mark) override;
    HRESULT SetLineMark(LONG index, LONG mark) override;
    HRESULT SetActiveCtrl(CKivLogViewCtrl* ctrl) override;

protected:
    bool event(QEvent* event) override;
    // The focus goes on to the current log view.
    void focusInEvent(QFocusEvent* event) override;

private:
    void RebuildPages();
    // The k-way merge of the visible pages by line number, then a repaint of both log views.
    void Merge();
    // The same list as Merge gives, changed for one thread: its lines taken out (compared by
    // pointer, without touching the records) or put in by a merge that jumps over the runs of
    // the other threads' lines.
    void RemovePageLines(const CKivLogThreadPage& page);
    void InsertPageLines(const CKivLogThreadPage& page);
    void RepaintViews();
    void RecalcViews();

    Kiv::CComPtr<Kiv::IKivResizePanelContainer> m_container;
    Kiv::CComPtr<Kiv::IKivResizePanelSplitter> m_logSplitter;
    Kiv::CComPtr<Kiv::IKivResizePanelSplitter> m_threadSplitter;
    Kiv::CComPtr<Kiv::IKivResizePanel> m_methodPanel;
    CKivLogFile* m_file = nullptr;
    std::vector<std::unique_ptr<CKivLogThreadPage>> m_pages;
    std::vector<const KivLogSysLineInfo*> m_lines;
    // The marks, keyed by record, kept per file so that a closed file's records (whose memory
    // may be reused) leave no marks behind.
    std::map<const CKivLogFile*, std::unordered_map<const KivLogSysLineInfo*, LONG>> m_marks;
    std::map<DWORD, LONG> m_visible;
    QFont m_font;
    QTabBar* m_tabStrip;
    // The height of the band at the top that holds the tab strip.
    int m_bandHeight;
    CKivLogTimeLineViewCtrl* m_timeLine;
    CKivLogThreadInfoCtrl* m_threadList;
    CKivLogViewCtrl* m_logView1;
    CKivLogViewCtrl* m_logView2;
    CKivLogMethodInfoCtrl* m_methodList;
    CKivLogViewCtrl* m_currentView;
};
