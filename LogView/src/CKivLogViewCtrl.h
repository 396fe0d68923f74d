// The log view control: an owner-drawn virtual list of trace lines in five columns (mark, thread,
// date, time, message). It holds no lines; it asks its IKivLogViewCtrl_EventHandle for the count
// and for the records of the visible rows only. It scrolls by rows vertically and by pixels
// horizontally, selects text in the message column, copies, searches, keeps a hot line and a
// highlighted thread, and drags the list by its date and time columns. User-interface thread only.
#pragma once

#include "IKivLogViewCtrlEventHandle.h"

#include <QAbstractScrollArea>
#include <QCursor>
#include <QFont>
#include <QPixmap>

#include <cstdint>
#include <string>

class QHeaderView;
class QTimer;

class CKivLogViewCtrl final : public QAbstractScrollArea {
    Q_OBJECT

public:
    // The mouse modes.
    static constexpr int ModeIdle = 0;
    static constexpr int ModeDragList = 3;
    static constexpr int ModeSelectText = 5;
    // The column types of the column table.
    enum ColumnType { ColumnMark = 1, ColumnThread = 2, ColumnDate = 3, ColumnTime = 4, ColumnMessage = 5 };
    // The x that stands for "to the end of the line" in a text selection.
    static constexpr int LineEndX = 0x7FFFFFF;

    explicit CKivLogViewCtrl(int id, QWidget* parent);
    ~CKivLogViewCtrl() override;

    void SetEventHandle(IKivLogViewCtrl_EventHandle* handle) { m_handle = handle; }
    // The font is the view window's; the control keeps a copy of it.
    void SetViewFont(const QFont& font);

    // Recomputes the row height, header, line count and vertical scroll state; E_FAIL without a
    // handler.
    HRESULT Recalc();
    // Clamps the top line, sets the scroll position and repaints.
    void UpdateScroll();
    // Puts the selected text on the clipboard (as UTF-16 text); nothing selected gives "".
    void CopySelection();
    // The text that CopySelection places: the selected part of each line, with the line header in
    // front of a part that starts at the line's first character, joined by "\r\n".
    QString GetSelectedText();
    bool HasSelectedText();
    // Searches forward from the search line and offset; 1 when found (and selected), 0 when not.
    int FindNext();
    // The search text (converted to the ANSI code page) and where the next search starts.
    void SetSearchText(const QString& text);
    void SetSearchPosition(LONG line, LONG offset);
    // Handles a command meant for the control (copy, highlight thread); false when it is not one.
    bool OnCommand(int id);
    // Forgets the selected range, the highlighted thread, the hot line, the search position and
    // the text selection (a new file is shown).
    void ResetSelection();

    LONG GetTopLine() const { return m_topLine; }
    void SetTopLine(LONG line) { m_topLine = line; }
    LONG GetVisibleRows() const { return m_visibleRows; }
    LONG GetLineCount() const { return m_lineCount; }
    int GetRowHeight() const { return m_rowHeight; }
    int GetHeaderHeight() const { return m_headerHeight; }
    LONG GetHotLine() const { return m_hotLine; }
    void SetHotLine(LONG line) { m_hotLine = line; }
    DWORD GetHighlightThread() const { return m_highlightThread; }
    void SetHighlightThread(DWORD threadId) { m_highlightThread = threadId; }
    LONG GetSelectFirst() const { return m_selectFirst; }
    LONG GetSelectLast() const { return m_selectLast; }
    // Sets the selected range, first clamped as the range rules want: a first end beyond the
    // line count becomes -1, a last end below the first becomes the first.
    void SetSelectRange(LONG first, LONG last);
    // The time range as 64-bit file times (100 ns units); both 0 for none.
    void SetTimeRange(std::int64_t start, std::int64_t end);
    std::int64_t GetTimeRangeStart() const { return m_rangeStart; }
    std::int64_t GetTimeRangeEnd() const { return m_rangeEnd; }
    int GetHorzOffset() const { return m_horzOffset; }
    int GetMouseMode() const { return m_mouseMode; }
    // The header control (id 1002).
    QHeaderView* GetHeader() const { return m_header; }
    // The x range of a column in the viewport.
    int ColumnLeft(ColumnType type) const;
    int ColumnRight(ColumnType type) const;
    // The column type under x (0 right of the last column).
    int ColumnAt(int x) const;
    // The line under viewport y: (y / row height) + top line, at least 0.
    LONG LineAt(int y) const;

    // The message text of a record: "│" x depth, the entry or return marker, then the text
    // converted from the ANSI code page.
    static QString MessageText(const KivLogSysLineInfo& line);
    // The header put in front of a copied line.
    static QString LineHeader(const KivLogSysLineInfo& line);

signals:
    // A command chosen from one of the control's context menus; the view window routes it.
    void CommandRequested(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    struct CharRange {
        int start = 0;
        int end = 0;
    };

    void UpdateHorzScroll();
    void UpdateCursor(const QPoint& position);
    void FollowMouse(const QPoint& position);
    void OnAutoScrollTimer();
    // The pixel range of a line inside the text selection; false when the line is not in it.
    bool SelectedPixels(LONG line, int* from, int* to) const;
    // The selected characters of text for a pixel range.
    CharRange CharsForPixels(const QString& text, int from, int to) const;
    // The selected text of one line, with the header when the selection starts at character 0.
    QString SelectedTextOf(LONG line, const KivLogSysLineInfo& record) const;
    void PaintRows(QPainter& painter);

    int m_rowHeight = 1;
    LONG m_lineCount = 0;
    LONG m_topLine = 0;
    LONG m_visibleRows = 0;
    int m_horzOffset = 0;
    int m_horzPage = 0;
    int m_widestText = 0;
    QHeaderView* m_header;
    IKivLogViewCtrl_EventHandle* m_handle = nullptr;
    QPixmap m_backBuffer;
    int m_headerHeight = 0;
    QFont m_font;
    LONG m_selectFirst = -1;
    LONG m_selectLast = -1;
    DWORD m_highlightThread = 0;
    LONG m_hotLine = -1;
    int m_mouseMode = ModeIdle;
    int m_anchorX = 0;
    LONG m_anchorLine = 0;
    int m_currentX = 0;
    LONG m_currentLine = 0;
    bool m_textSelected = false;
    QPoint m_dragStart;
    LONG m_dragTopLine = 0;
    std::int64_t m_rangeStart = 0;
    std::int64_t m_rangeEnd = 0;
    std::string m_searchText;
    LONG m_searchLine = 0;
    LONG m_searchOffset = 0;
    QTimer* m_autoScroll;
    // The cursors over the date and time columns and while the list is dragged.
    QCursor m_dragReadyCursor;
    QCursor m_draggingCursor;
    // Set while the control moves its own scroll bars, so that their signals do not scroll again.
    bool m_settingScroll = false;
};
