// CKivLogTimeLineViewCtrl: building the axis from the model, layout, painting through a back
// buffer, scrolling and dragging the range markers.
#include "CKivLogTimeLineViewCtrl.h"

#include "LogTimes.h"
#include "ViewerIds.h"

#include "KivObject/ComPtr.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <limits>

using Kiv::CComPtr;

namespace {

QColor ToQColor(CKivLogTimeLineViewCtrl::COLORREF color)
{
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

// The boundary colours, by level: day, hour, minute, second.
constexpr std::array<CKivLogTimeLineViewCtrl::COLORREF, 4> BoundaryColors{0x000000, 0x707070, 0xA0A0A0, 0xF0F0F0};
constexpr CKivLogTimeLineViewCtrl::COLORREF LifeBarColor = 0xAAAAAA;
// Thread columns: their width, and the life bar's left inset and width inside one.
constexpr int ThreadColumnWidth = 16;
constexpr int LifeBarInset = 2;
constexpr int LifeBarWidth = 12;
// The strip at the left edge over which the first and last rows of the range offer the sizing
// cursor and start a drag (at least the marker column).
constexpr int DragZoneWidth = 20;
// The top margin above the rows.
constexpr int TopMargin = 0;
// A wheel delta divided by this gives the rows to scroll.
constexpr int WheelDivisor = -40;
// While a marker is dragged with the mouse above or below the rows, the rows scroll this much
// per step, and the steps repeat at this period while the mouse rests.
constexpr int DragScrollRows = 2;
constexpr int DragTimerPeriodMs = 10;
// The back buffer is made this much larger than the area when it has to grow.
constexpr int BackBufferSlack = 100;

const QString MarkerSingle = QStringLiteral("┿");
const QString MarkerFirst = QStringLiteral("┯");
const QString MarkerLast = QStringLiteral("┷");
const QString MarkerInside = QStringLiteral("│");
const QString RowHeightSample = QStringLiteral("□");
// The widest texts of the date and time cells, with a blank on each side.
const QString DateSample = QStringLiteral(" 2004/02/01 ");
const QString TimeSample = QStringLiteral(" 12:20:30.100 ");

// Floor division, so that a y above the rows lies in a row above the top row.
LONG FloorDiv(int a, int b)
{
    return static_cast<LONG>(a >= 0 ? a / b : -((-a + b - 1) / b));
}

} // namespace

CKivLogTimeLineViewCtrl::CKivLogTimeLineViewCtrl(int id, QWidget* parent)
    : QAbstractScrollArea(parent), m_dragTimer(new QTimer(this))
{
    setObjectName(ViewerIds::ObjectNameOf(id));
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    m_dragTimer->setInterval(DragTimerPeriodMs);
    connect(m_dragTimer, &QTimer::timeout, this, &CKivLogTimeLineViewCtrl::OnDragTimer);
    SetViewFont(font());
}

CKivLogTimeLineViewCtrl::~CKivLogTimeLineViewCtrl() = default;

void CKivLogTimeLineViewCtrl::SetViewFont(const QFont& font)
{
    m_font = font;
    Layout();
}

HRESULT CKivLogTimeLineViewCtrl::LoadTimeLine(IKivLogSysMgr* engine)
{
    m_runs.Clear();
    m_threads.clear();
    HRESULT hr = S_OK;
    if (engine != nullptr) {
        CComPtr<IKivLogSysRoot> root;
        CComPtr<Kiv::IKivListItemFolder> threads;
        LONG count = 0;
        if (FAILED(engine->GetRootObject(&root)) || root == nullptr ||
            FAILED(root->QueryInterface(IID_PPV_ARGS(&threads))) || FAILED(threads->GetChildCount(&count))) {
            hr = E_FAIL;
            count = 0;
        }
        for (LONG i = 0; i < count; ++i) {
            // A thread that cannot be read keeps its column, without a bar.
            CComPtr<IKivLogSysThread> thread;
            m_threads.push_back(SUCCEEDED(threads->GetChildItem(i, IID_PPV_ARGS(&thread))) ? LoadThread(thread) : NoLife);
        }
    }
    FinishLoad();
    return hr;
}

void CKivLogTimeLineViewCtrl::LoadTimeLine(const std::vector<std::unique_ptr<CKivLogThreadPage>>& pages)
{
    m_runs.Clear();
    m_threads.clear();
    for (const auto& page : pages) {
        ThreadSpan span = NoLife;
        for (const KivLogSysLineInfo* line : page->GetLines()) {
            FileLine(*line, &span);
        }
        m_threads.push_back(span);
    }
    FinishLoad();
}

void CKivLogTimeLineViewCtrl::FinishLoad()
{
    m_topRow = 0;
    Layout();
    m_rangeFirst = 0;
    m_rangeLast = m_rowCount - 1;
    m_dragMode = DragIdle;
    m_dragTimer->stop();
    viewport()->update();
}

CKivLogTimeLineViewCtrl::ThreadSpan CKivLogTimeLineViewCtrl::LoadThread(IKivLogSysThread* thread)
{
    ThreadSpan span = NoLife;
    CComPtr<Kiv::IKivListAccess> lines;
    LONG count = 0;
    if (FAILED(thread->QueryInterface(IID_PPV_ARGS(&lines))) || FAILED(lines->GetListItemCount(&count))) {
        return span;
    }
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysLine> line;
        const KivLogSysLineInfo* info = nullptr;
        if (FAILED(lines->GetListItem(i, IID_PPV_ARGS(&line))) || FAILED(line->GetLineInfo(&info)) || info == nullptr) {
            break;
        }
        FileLine(*info, &span);
    }
    return span;
}

void CKivLogTimeLineViewCtrl::FileLine(const KivLogSysLineInfo& line, ThreadSpan* span)
{
    const std::optional<std::int64_t> time = FileTimeOf(line.time);
    if (!time) {
        return;
    }
    m_runs.Insert(*time);
    // The life bar spans the earliest and the latest line, which are the first and the last line
    // unless the stamps go backwards in the file.
    const std::int64_t slot = CKivTimeSlotRuns::SlotOf(*time);
    span->firstSlot = std::min(span->firstSlot, slot);
    span->lastSlot = std::max(span->lastSlot, slot);
}

void CKivLogTimeLineViewCtrl::Layout()
{
    const QFontMetrics metrics(m_font);
    m_rowHeight = std::max({metrics.height(), metrics.boundingRect(RowHeightSample).height(), 1});
    m_rowCount = static_cast<LONG>(std::min<std::int64_t>(m_runs.GetRowCount(), std::numeric_limits<LONG>::max()));
    m_visibleRows = (viewport()->height() - TopMargin) / m_rowHeight + 1;
    m_markerWidth = metrics.horizontalAdvance(MarkerFirst);
    m_dateWidth = metrics.horizontalAdvance(DateSample);
    m_timeWidth = metrics.horizontalAdvance(TimeSample);
    ClampTopRow();
    m_settingScroll = true;
    if (m_rowCount >= m_visibleRows) {
        verticalScrollBar()->setRange(0, m_rowCount - m_visibleRows + 1);
        verticalScrollBar()->setPageStep(m_visibleRows);
        verticalScrollBar()->setValue(m_topRow);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    } else {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    m_settingScroll = false;
    viewport()->update();
}

HRESULT CKivLogTimeLineViewCtrl::GetRangeTimes(std::int64_t* first, std::int64_t* last) const
{
    if (first == nullptr || last == nullptr) {
        return E_POINTER;
    }
    *first = m_runs.RowTime(m_rangeFirst);
    *last = m_runs.RowTime(m_rangeLast);
    return S_OK;
}

HRESULT CKivLogTimeLineViewCtrl::GetBoundaryColor(int level, COLORREF* color) const
{
    if (color == nullptr) {
        return E_POINTER;
    }
    if (level < LevelDay || level > LevelSecond) {
        return E_INVALIDARG;
    }
    *color = BoundaryColors[static_cast<std::size_t>(level)];
    return S_OK;
}

void CKivLogTimeLineViewCtrl::SetTopRow(LONG row)
{
    ScrollTo(row);
}

int CKivLogTimeLineViewCtrl::ThreadColumnLeft(int thread) const
{
    return m_markerWidth + m_dateWidth + m_timeWidth + thread * ThreadColumnWidth;
}

LONG CKivLogTimeLineViewCtrl::RowAt(int y) const
{
    return FloorDiv(y - TopMargin, m_rowHeight) + m_topRow;
}

QString CKivLogTimeLineViewCtrl::MarkerOf(LONG row) const
{
    if (row < 0 || row >= m_rowCount) {
        return {};
    }
    if (row == m_rangeFirst && row == m_rangeLast) {
        return MarkerSingle;
    }
    if (row == m_rangeFirst) {
        return MarkerFirst;
    }
    if (row == m_rangeLast) {
        return MarkerLast;
    }
    if (row > m_rangeFirst && row < m_rangeLast) {
        return MarkerInside;
    }
    return {};
}

int CKivLogTimeLineViewCtrl::BoundaryLevel(std::int64_t previous, std::int64_t current)
{
    const std::optional<SYSTEMTIME> a = SystemTimeOf(previous);
    const std::optional<SYSTEMTIME> b = SystemTimeOf(current);
    if (!a || !b) {
        return -1;
    }
    if (a->wYear != b->wYear || a->wMonth != b->wMonth || a->wDay != b->wDay) {
        return LevelDay;
    }
    if (a->wHour != b->wHour) {
        return LevelHour;
    }
    if (a->wMinute != b->wMinute) {
        return LevelMinute;
    }
    if (a->wSecond != b->wSecond) {
        return LevelSecond;
    }
    return -1;
}

QString CKivLogTimeLineViewCtrl::DateText(std::int64_t time)
{
    const SYSTEMTIME t = SystemTimeOf(time).value_or(SYSTEMTIME{});
    return QString::asprintf("%04d/%02d/%02d", t.wYear, t.wMonth, t.wDay);
}

QString CKivLogTimeLineViewCtrl::TimeText(std::int64_t time)
{
    const SYSTEMTIME t = SystemTimeOf(time).value_or(SYSTEMTIME{});
    return QString::asprintf("%02d:%02d:%02d.%03d", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

void CKivLogTimeLineViewCtrl::ClampTopRow()
{
    m_topRow = std::max<LONG>(std::min<LONG>(m_topRow, m_rowCount - m_visibleRows + 1), 0);
}

void CKivLogTimeLineViewCtrl::ScrollTo(LONG row)
{
    const LONG previous = m_topRow;
    m_topRow = row;
    ClampTopRow();
    m_settingScroll = true;
    verticalScrollBar()->setValue(m_topRow);
    m_settingScroll = false;
    // Shifting the shown picture and painting only the rows that come into view was measured
    // slower than painting the visible rows again, so a scroll repaints them all.
    if (m_topRow != previous) {
        viewport()->update();
    }
}

void CKivLogTimeLineViewCtrl::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    Layout();
}

void CKivLogTimeLineViewCtrl::scrollContentsBy(int, int)
{
    // The scroll bar moved (by the user): the control draws from its own top row.
    if (m_settingScroll) {
        return;
    }
    ScrollTo(verticalScrollBar()->value());
}

void CKivLogTimeLineViewCtrl::wheelEvent(QWheelEvent* event)
{
    ScrollTo(m_topRow + event->angleDelta().y() / WheelDivisor);
    event->accept();
}

void CKivLogTimeLineViewCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint position = event->position().toPoint();
    if (m_rowCount == 0 || position.x() >= std::max(m_markerWidth, DragZoneWidth)) {
        return;
    }
    const LONG row = RowAt(position.y());
    if (row == m_rangeFirst && row == m_rangeLast) {
        m_dragMode = DragUndecided;
    } else if (row == m_rangeFirst) {
        m_dragMode = DragFirst;
    } else if (row == m_rangeLast) {
        m_dragMode = DragLast;
    }
    if (m_dragMode != DragIdle) {
        // Qt keeps sending the mouse to this control while the button is held.
        m_dragTimer->start();
    }
}

void CKivLogTimeLineViewCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (m_dragMode != DragIdle) {
        FollowMouse(position);
    } else {
        UpdateCursor(position);
    }
}

void CKivLogTimeLineViewCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    if (m_dragMode != DragIdle) {
        m_dragTimer->stop();
        m_dragMode = DragIdle;
    }
    UpdateCursor(event->position().toPoint());
}

void CKivLogTimeLineViewCtrl::OnDragTimer()
{
    if (m_dragMode != DragIdle) {
        FollowMouse(viewport()->mapFromGlobal(QCursor::pos()));
    }
}

void CKivLogTimeLineViewCtrl::FollowMouse(const QPoint& position)
{
    const LONG row = RowAt(position.y());
    switch (m_dragMode) {
    case DragFirst:
        m_rangeFirst = std::max<LONG>(std::min(row, m_rangeLast), 0);
        break;
    case DragLast:
        m_rangeLast = std::min<LONG>(std::max(row, m_rangeFirst), m_rowCount - 1);
        break;
    case DragUndecided:
        // The direction of the first move away decides; the marker follows from the next step.
        if (row >= 0 && row < m_rangeFirst) {
            m_dragMode = DragFirst;
        } else if (row > m_rangeLast && row < m_rowCount) {
            m_dragMode = DragLast;
        }
        break;
    default:
        return;
    }
    // The markers moved; above or below the rows, the rows scroll too.
    viewport()->update(QRect(0, 0, m_markerWidth, viewport()->height()));
    if (position.y() < TopMargin) {
        ScrollTo(m_topRow - DragScrollRows);
    } else if (position.y() > viewport()->height()) {
        ScrollTo(m_topRow + DragScrollRows);
    }
}

void CKivLogTimeLineViewCtrl::UpdateCursor(const QPoint& position)
{
    const LONG row = RowAt(position.y());
    const bool onMarker = m_rowCount > 0 && (row == m_rangeFirst || row == m_rangeLast);
    viewport()->setCursor(onMarker && position.x() < std::max(m_markerWidth, DragZoneWidth) ? Qt::SizeVerCursor
                                                                                             : Qt::ArrowCursor);
}

void CKivLogTimeLineViewCtrl::paintEvent(QPaintEvent* event)
{
    const qreal ratio = viewport()->devicePixelRatioF();
    const QSize size = viewport()->size();
    const QSize bufferSize = m_backBuffer.deviceIndependentSize().toSize();
    // Only the area asked for is painted again; the rest of the buffer still holds what it shows.
    QRect area = event->rect();
    if (m_backBuffer.isNull() || size.width() > bufferSize.width() || size.height() > bufferSize.height()) {
        m_backBuffer = QPixmap((QSizeF(size + QSize(BackBufferSlack, BackBufferSlack)) * ratio).toSize());
        m_backBuffer.setDevicePixelRatio(ratio);
        area = QRect(QPoint(0, 0), size);
    }
    {
        QPainter painter(&m_backBuffer);
        painter.setClipRect(area);
        PaintRows(painter, area);
    }
    QPainter painter(viewport());
    painter.drawPixmap(QRectF(area), m_backBuffer, QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio));
}

void CKivLogTimeLineViewCtrl::PaintRows(QPainter& painter, const QRect& area)
{
    const int width = viewport()->width();
    painter.setFont(m_font);
    painter.fillRect(area, Qt::white);
    painter.setPen(Qt::black);
    const int dateLeft = m_markerWidth;
    const int timeLeft = dateLeft + m_dateWidth;
    const int threadLeft = timeLeft + m_timeWidth;
    // The thread columns that reach into the area.
    const auto threadCount = static_cast<int>(m_threads.size());
    const int firstThread = std::max(0, (area.left() - threadLeft) / ThreadColumnWidth);
    const int endThread =
        area.right() < threadLeft ? 0 : std::min(threadCount, (area.right() - threadLeft) / ThreadColumnWidth + 1);
    for (LONG c = 0; c < m_visibleRows; ++c) {
        const LONG row = m_topRow + c;
        if (row >= m_rowCount) {
            break;
        }
        const int y = TopMargin + static_cast<int>(c) * m_rowHeight;
        if (y > area.bottom() || y + m_rowHeight <= area.top()) {
            continue;
        }
        const std::int64_t time = m_runs.RowTime(row);
        const auto cell = [&](int left, int cellWidth) { return QRect(left, y, cellWidth, m_rowHeight); };
        const auto drawCentred = [&](const QRect& rect, const QString& text) {
            if (rect.intersects(area) && !text.isEmpty()) {
                painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
            }
        };
        drawCentred(cell(0, m_markerWidth), MarkerOf(row));
        if (cell(dateLeft, m_dateWidth + m_timeWidth).intersects(area)) {
            drawCentred(cell(dateLeft, m_dateWidth), DateText(time));
            drawCentred(cell(timeLeft, m_timeWidth), TimeText(time));
        }
        for (int j = firstThread; j < endThread; ++j) {
            const ThreadSpan& span = m_threads[static_cast<std::size_t>(j)];
            if (time >= span.firstSlot && time - CKivTimeSlotRuns::SlotLength < span.lastSlot) {
                painter.fillRect(cell(ThreadColumnLeft(j) + LifeBarInset, LifeBarWidth), ToQColor(LifeBarColor));
            }
        }
        if (row > 0 && area.right() >= m_markerWidth) {
            const int level = BoundaryLevel(m_runs.RowTime(row - 1), time);
            COLORREF color = 0;
            if (level >= LevelDay && SUCCEEDED(GetBoundaryColor(level, &color))) {
                painter.setPen(ToQColor(color));
                painter.drawLine(m_markerWidth, y, width - 1, y);
                painter.setPen(Qt::black);
            }
        }
    }
}
