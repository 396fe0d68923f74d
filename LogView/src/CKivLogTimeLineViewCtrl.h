// The time line view control: when each thread of the current file was alive, on a vertical
// time axis that has one row per tenth of a second in which any line was logged (quiet periods
// take no room). Each row shows its slot's date and time; every thread has a narrow column with a
// grey life bar; lines of four strengths mark where the day, hour, minute or second changes. A
// time range, shown by markers in a narrow column on the left, is dragged with the mouse; the
// view window reads it with GetRangeTimes. The control keeps only times, never pointers into the
// model, so a file may close while the control still shows its axis. User-interface thread only.
#pragma once

#include "CKivLogThreadPage.h"
#include "CKivTimeSlotRuns.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QPixmap>

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

class QTimer;

class CKivLogTimeLineViewCtrl : public QAbstractScrollArea {
    Q_OBJECT

public:
    // A platform colour value, 0x00BBGGRR.
    using COLORREF = DWORD;

    // The drag modes of the range markers.
    static constexpr int DragIdle = 0;
    static constexpr int DragFirst = 1;
    static constexpr int DragLast = 2;
    // Both markers on the row pressed; the first move away from it decides which one follows.
    static constexpr int DragUndecided = 3;

    // The boundary levels: where the date, the hour, the minute or the second changes between
    // two rows.
    static constexpr int LevelDay = 0;
    static constexpr int LevelHour = 1;
    static constexpr int LevelMinute = 2;
    static constexpr int LevelSecond = 3;

    // A thread's life: the slot starts of its earliest and latest line. A thread without a line
    // on the axis has the empty span NoLife.
    struct ThreadSpan {
        std::int64_t firstSlot;
        std::int64_t lastSlot;
        bool operator==(const ThreadSpan&) const = default;
    };
    static constexpr ThreadSpan NoLife{std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()};

    explicit CKivLogTimeLineViewCtrl(int id, QWidget* parent);
    ~CKivLogTimeLineViewCtrl() override;

    // Rebuilds the axis from every line of every thread of the engine's model; null clears it.
    // The range becomes all rows. E_FAIL when the model's root or thread folder cannot be had
    // (the axis is then empty); a thread whose walk fails keeps the lines filed so far.
    HRESULT LoadTimeLine(IKivLogSysMgr* engine);
    // The same from the view window's thread pages, which already hold every thread's line
    // records: a pass over pointers, without asking the model for each line again.
    void LoadTimeLine(const std::vector<std::unique_ptr<CKivLogThreadPage>>& pages);
    // Measures the font and recomputes the rows, the visible rows and the scroll bar (after a
    // load, a font change or a resize).
    void Layout();
    // The font is the view window's; the control keeps a copy and lays out again.
    void SetViewFont(const QFont& font);
    // The file times of the range's first and last row; both 0 when there are no rows.
    // E_POINTER for a missing argument.
    HRESULT GetRangeTimes(std::int64_t* first, std::int64_t* last) const;
    // The colour of a boundary line of a level (LevelDay..LevelSecond): S_OK; E_INVALIDARG for
    // another level, E_POINTER without color.
    virtual HRESULT GetBoundaryColor(int level, COLORREF* color) const;

    LONG GetRowCount() const { return m_rowCount; }
    const CKivTimeSlotRuns& GetRuns() const { return m_runs; }
    const std::vector<ThreadSpan>& GetThreadSpans() const { return m_threads; }
    // The slot start of a row; 0 outside the rows.
    std::int64_t RowTime(LONG row) const { return m_runs.RowTime(row); }
    LONG GetTopRow() const { return m_topRow; }
    void SetTopRow(LONG row);
    LONG GetVisibleRows() const { return m_visibleRows; }
    int GetRowHeight() const { return m_rowHeight; }
    LONG GetRangeFirst() const { return m_rangeFirst; }
    LONG GetRangeLast() const { return m_rangeLast; }
    int GetDragMode() const { return m_dragMode; }
    int GetMarkerWidth() const { return m_markerWidth; }
    int GetDateWidth() const { return m_dateWidth; }
    int GetTimeWidth() const { return m_timeWidth; }
    // The left edge of a thread's column.
    int ThreadColumnLeft(int thread) const;
    // The row under viewport y (may lie outside the rows).
    LONG RowAt(int y) const;
    // What the marker cell of a row shows: "┿" for a range of that one row, "┯" on its first
    // row, "┷" on its last, "│" between them, "" elsewhere.
    QString MarkerOf(LONG row) const;
    // The level of the boundary between two consecutive rows' times; -1 when they lie in the same
    // second.
    static int BoundaryLevel(std::int64_t previous, std::int64_t current);
    // The texts of a row's date and time cells.
    static QString DateText(std::int64_t time);
    static QString TimeText(std::int64_t time);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Walks one thread's lines into the runs and returns its span (NoLife when it has no line
    // with a valid time).
    ThreadSpan LoadThread(IKivLogSysThread* thread);
    // Files a line's stamp into the runs and widens the span of its thread to it; a stamp that is
    // no valid date has no place on the axis and is passed over.
    void FileLine(const KivLogSysLineInfo& line, ThreadSpan* span);
    // After a load: the layout, the range over all rows, no drag.
    void FinishLoad();
    // Keeps the top row within 0..rows - visible rows + 1.
    void ClampTopRow();
    // Makes row the top row (clamped), moves the scroll bar and repaints.
    void ScrollTo(LONG row);
    // Moves the dragged marker to the row under the mouse and scrolls when the mouse is above or
    // below the rows.
    void FollowMouse(const QPoint& position);
    void OnDragTimer();
    void UpdateCursor(const QPoint& position);
    // Paints the rows into the back buffer, only the cells that reach into area.
    void PaintRows(QPainter& painter, const QRect& area);

    CKivTimeSlotRuns m_runs;
    std::vector<ThreadSpan> m_threads;
    QPixmap m_backBuffer;
    int m_rowHeight = 1;
    LONG m_rowCount = 0;
    LONG m_topRow = 0;
    LONG m_visibleRows = 0;
    int m_markerWidth = 0;
    int m_dateWidth = 0;
    int m_timeWidth = 0;
    LONG m_rangeFirst = 0;
    LONG m_rangeLast = -1;
    int m_dragMode = DragIdle;
    QFont m_font;
    QTimer* m_dragTimer;
    // Set while the control moves its own scroll bar, so that its signal does not scroll again.
    bool m_settingScroll = false;
};
