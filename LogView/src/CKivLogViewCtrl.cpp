// CKivLogViewCtrl: the column table, painting through a back buffer, scrolling, the mouse, the
// text selection, copy and search.
#include "CKivLogViewCtrl.h"

#include "LogTimes.h"
#include "ViewerIds.h"
#include "ViewerText.h"

#include "KivPlatform/Text.h"
#include "KivPlatform/Time.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <array>

namespace {

// A platform colour value, 0x00BBGGRR.
using COLORREF = DWORD;

QColor ToQColor(COLORREF color)
{
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

// One column: its type, title, initial width and the background and text colours of normal
// rows, rows inside the selected range and rows outside the time range.
struct ColumnInfo {
    CKivLogViewCtrl::ColumnType type;
    const char16_t* title;
    int width;
    COLORREF normalBack;
    COLORREF selectedBack;
    COLORREF dimmedBack;
    COLORREF normalText;
    COLORREF selectedText;
    COLORREF dimmedText;
};

constexpr std::array<ColumnInfo, 5> Columns{{
    {CKivLogViewCtrl::ColumnThread, u"Thread", 60, 0xE0E0E0, 0xEFEFEF, 0xF0F0F0, 0x707070, 0x000000, 0xC0C0C0},
    {CKivLogViewCtrl::ColumnDate, u"Date", 70, 0xE0E0E0, 0xEFEFEF, 0xF0F0F0, 0x707070, 0x000000, 0xC0C0C0},
    {CKivLogViewCtrl::ColumnTime, u"Time", 80, 0xD0D0D0, 0xDFDFDF, 0xF0F0F0, 0x606060, 0x000000, 0xC0C0C0},
    {CKivLogViewCtrl::ColumnMark, u"", 20, 0xF0F0FF, 0xF0F0FF, 0xF0F0F0, 0x000080, 0x0000A0, 0xC0C0C0},
    {CKivLogViewCtrl::ColumnMessage, u"Message", 100, 0xF8F8F8, 0xFFFFFF, 0xF0F0F0, 0x303030, 0xA00000, 0xC0C0C0},
}};

constexpr COLORREF SeparatorColor = 0xE4D0BB;
constexpr COLORREF SelectedTextBack = 0xFFB878;

// The header is this much taller than a row.
constexpr int HeaderExtra = 6;
// The back buffer is made this much larger than the area when it has to grow.
constexpr int BackBufferSlack = 100;
// A wheel delta divided by this gives the rows to scroll (one notch of 120 scrolls 3 rows).
constexpr int WheelDivisor = -40;
// Rows moved per auto-scroll step while selecting outside the rows, and the step's period.
constexpr int AutoScrollRows = 2;
constexpr int AutoScrollPeriodMs = 10;

const QString Indent = QStringLiteral("│");
const QString EnterMarker = QStringLiteral("┌");
const QString ReturnMarker = QStringLiteral("└");
const QString MarkGlyph = QStringLiteral("●");
const QString RowHeightSample = QStringLiteral("□");
const QString LineBreak = QStringLiteral("\r\n");

// Line kinds of KivLogSysLineInfo::kind.
constexpr WORD KindEnter = 0;
constexpr WORD KindReturn = 2;

int IndexOf(CKivLogViewCtrl::ColumnType type)
{
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        if (Columns[i].type == type) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The drag cursors: a vertical double arrow (over the date and time columns), filled while the
// list is being dragged.
QCursor DragCursor(bool dragging)
{
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPolygon up{QPoint(16, 2), QPoint(23, 11), QPoint(9, 11)};
    const QPolygon down{QPoint(16, 30), QPoint(23, 21), QPoint(9, 21)};
    painter.setPen(QPen(Qt::white, 3));
    painter.drawLine(16, 6, 16, 26);
    painter.drawPolygon(up);
    painter.drawPolygon(down);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(dragging ? QBrush(Qt::black) : QBrush(Qt::white));
    painter.drawLine(16, 6, 16, 26);
    painter.drawPolygon(up);
    painter.drawPolygon(down);
    painter.end();
    return QCursor(picture, 16, 16);
}

bool EqualNoCase(const char* text, const std::string& pattern)
{
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
        if (lower(static_cast<unsigned char>(text[i])) != lower(static_cast<unsigned char>(pattern[i]))) {
            return false;
        }
    }
    return true;
}

// "│" x depth and the marker of the line's kind.
QString StructuralPrefix(const KivLogSysLineInfo& line)
{
    QString prefix = Indent.repeated(line.depth);
    if (line.kind == KindEnter) {
        prefix += EnterMarker;
    } else if (line.kind == KindReturn) {
        prefix += ReturnMarker;
    }
    return prefix;
}

} // namespace

CKivLogViewCtrl::CKivLogViewCtrl(int id, QWidget* parent)
    : QAbstractScrollArea(parent), m_header(new QHeaderView(Qt::Horizontal, this)), m_autoScroll(new QTimer(this)),
      m_dragReadyCursor(DragCursor(false)), m_draggingCursor(DragCursor(true))
{
    setObjectName(ViewerIds::ObjectNameOf(id));
    setWindowTitle(QStringLiteral("View1"));
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    m_header->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcLogViewHeader));
    auto* columns = new QStandardItemModel(0, static_cast<int>(Columns.size()), m_header);
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        columns->setHorizontalHeaderItem(static_cast<int>(i),
                                         new QStandardItem(QString::fromUtf16(Columns[i].title)));
    }
    m_header->setModel(columns);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setStretchLastSection(false);
    m_header->setSectionsMovable(false);
    m_header->setHighlightSections(false);
    m_header->setMinimumSectionSize(0);
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        m_header->resizeSection(static_cast<int>(i), Columns[i].width);
    }
    // Dragging a column edge repaints at once (full drag).
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        UpdateHorzScroll();
        viewport()->update();
    });

    m_autoScroll->setInterval(AutoScrollPeriodMs);
    connect(m_autoScroll, &QTimer::timeout, this, &CKivLogViewCtrl::OnAutoScrollTimer);
    SetViewFont(font());
}

CKivLogViewCtrl::~CKivLogViewCtrl() = default;

void CKivLogViewCtrl::SetViewFont(const QFont& font)
{
    m_font = font;
}

HRESULT CKivLogViewCtrl::Recalc()
{
    if (m_handle == nullptr) {
        return E_FAIL;
    }
    const QFontMetrics metrics(m_font);
    m_rowHeight = std::max(metrics.height(), metrics.boundingRect(RowHeightSample).height()) + 1;
    m_header->setFont(m_font);
    m_headerHeight = m_rowHeight + HeaderExtra;
    setViewportMargins(0, m_headerHeight, 0, 0);
    const QRect area = contentsRect();
    m_header->setGeometry(area.left(), area.top(), viewport()->width(), m_headerHeight);

    LONG count = 0;
    m_handle->GetViewLineCount(&count);
    m_lineCount = count;
    m_visibleRows = viewport()->height() / m_rowHeight + 1;
    m_topLine = std::max<LONG>(std::min<LONG>(m_topLine, m_lineCount - m_visibleRows + 1), 0);

    m_settingScroll = true;
    if (m_lineCount < m_visibleRows) {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    } else {
        verticalScrollBar()->setRange(0, m_lineCount - m_visibleRows + 1);
        verticalScrollBar()->setPageStep(m_visibleRows);
        verticalScrollBar()->setValue(m_topLine);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    m_settingScroll = false;
    viewport()->update();
    return S_OK;
}

void CKivLogViewCtrl::UpdateScroll()
{
    m_topLine = std::max<LONG>(std::min<LONG>(m_topLine, m_lineCount - m_visibleRows + 1), 0);
    m_settingScroll = true;
    verticalScrollBar()->setValue(m_topLine);
    m_settingScroll = false;
    viewport()->update();
}

void CKivLogViewCtrl::UpdateHorzScroll()
{
    m_horzPage = m_header->sectionSize(IndexOf(ColumnMessage));
    const int oldOffset = m_horzOffset;
    QScrollBar* bar = horizontalScrollBar();
    m_settingScroll = true;
    if (m_widestText > m_horzPage) {
        m_horzOffset = std::clamp(m_horzOffset, 0, m_widestText - m_horzPage);
        bar->setRange(0, m_widestText - m_horzPage);
        bar->setPageStep(std::max(m_horzPage, 1));
        bar->setValue(m_horzOffset);
        bar->setEnabled(true);
    } else {
        m_horzOffset = 0;
        m_widestText = 0;
        bar->setRange(0, 0);
        bar->setEnabled(false);
    }
    m_settingScroll = false;
    if (oldOffset != m_horzOffset) {
        viewport()->update();
    }
}

void CKivLogViewCtrl::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const QRect area = contentsRect();
    m_header->setGeometry(area.left(), area.top(), viewport()->width(), m_headerHeight);
    // The message column takes the width the other columns leave.
    int others = 0;
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        if (Columns[i].type != ColumnMessage) {
            others += m_header->sectionSize(static_cast<int>(i));
        }
    }
    m_header->resizeSection(IndexOf(ColumnMessage), std::max(viewport()->width() - others, 0));
    UpdateHorzScroll();
    Recalc();
}

void CKivLogViewCtrl::scrollContentsBy(int, int)
{
    // The scroll bars moved (by the user): the control draws from its own offsets.
    if (m_settingScroll) {
        return;
    }
    m_topLine = verticalScrollBar()->value();
    m_horzOffset = horizontalScrollBar()->value();
    UpdateScroll();
}

void CKivLogViewCtrl::wheelEvent(QWheelEvent* event)
{
    m_topLine += event->angleDelta().y() / WheelDivisor;
    UpdateScroll();
    event->accept();
}

int CKivLogViewCtrl::ColumnLeft(ColumnType type) const
{
    return m_header->sectionViewportPosition(IndexOf(type));
}

int CKivLogViewCtrl::ColumnRight(ColumnType type) const
{
    const int index = IndexOf(type);
    return m_header->sectionViewportPosition(index) + m_header->sectionSize(index);
}

int CKivLogViewCtrl::ColumnAt(int x) const
{
    for (const ColumnInfo& column : Columns) {
        if (x >= ColumnLeft(column.type) && x < ColumnRight(column.type)) {
            return column.type;
        }
    }
    return 0;
}

LONG CKivLogViewCtrl::LineAt(int y) const
{
    return std::max<LONG>(y / m_rowHeight + m_topLine, 0);
}

void CKivLogViewCtrl::SetSelectRange(LONG first, LONG last)
{
    m_selectFirst = first;
    m_selectLast = last;
    if (m_selectFirst >= m_lineCount) {
        m_selectFirst = -1;
    }
    if (m_selectLast < m_selectFirst) {
        m_selectLast = m_selectFirst;
    }
    viewport()->update();
}

void CKivLogViewCtrl::SetTimeRange(std::int64_t start, std::int64_t end)
{
    m_rangeStart = start;
    m_rangeEnd = end;
    viewport()->update();
}

void CKivLogViewCtrl::ResetSelection()
{
    m_selectFirst = -1;
    m_selectLast = -1;
    m_highlightThread = 0;
    m_hotLine = -1;
    m_textSelected = false;
    m_searchLine = 0;
    m_searchOffset = 0;
    m_topLine = 0;
    m_horzOffset = 0;
    UpdateScroll();
}

QString CKivLogViewCtrl::MessageText(const KivLogSysLineInfo& line)
{
    return StructuralPrefix(line) + FromAnsi(line.text, line.textLength);
}

QString CKivLogViewCtrl::LineHeader(const KivLogSysLineInfo& line)
{
    return QString::asprintf("[0x%08X][%04d/%02d/%02d(%02d:%02d:%02d.%03d)]", static_cast<unsigned>(line.threadId),
                             line.time.wYear, line.time.wMonth, line.time.wDay, line.time.wHour, line.time.wMinute,
                             line.time.wSecond, line.time.wMilliseconds);
}

bool CKivLogViewCtrl::SelectedPixels(LONG line, int* from, int* to) const
{
    if (!m_textSelected) {
        return false;
    }
    const LONG upper = std::min(m_anchorLine, m_currentLine);
    const LONG lower = std::max(m_anchorLine, m_currentLine);
    if (line < upper || line > lower) {
        return false;
    }
    if (m_anchorLine == m_currentLine) {
        *from = std::min(m_anchorX, m_currentX);
        *to = std::max(m_anchorX, m_currentX);
    } else if (line == upper) {
        *from = m_anchorLine < m_currentLine ? m_anchorX : m_currentX;
        *to = LineEndX;
    } else if (line == lower) {
        *from = 0;
        *to = m_anchorLine < m_currentLine ? m_currentX : m_anchorX;
    } else {
        *from = 0;
        *to = LineEndX;
    }
    return true;
}

CKivLogViewCtrl::CharRange CKivLogViewCtrl::CharsForPixels(const QString& text, int from, int to) const
{
    // Prefix widths grow with the prefix length, so both ends are found by binary search.
    const QFontMetrics metrics(m_font);
    const auto width = [&](int length) { return metrics.horizontalAdvance(text.left(length)); };
    const int length = static_cast<int>(text.size());
    CharRange range;
    if (from > 0) {
        // The last prefix length whose width is not above from.
        int low = 0;
        int high = length;
        while (low < high) {
            const int middle = (low + high + 1) / 2;
            if (width(middle) <= from) {
                low = middle;
            } else {
                high = middle - 1;
            }
        }
        range.start = low;
    }
    if (to >= LineEndX) {
        range.end = length;
    } else {
        // The first prefix length whose width exceeds to (the whole text when none does).
        int low = 0;
        int high = length;
        while (low < high) {
            const int middle = (low + high) / 2;
            if (width(middle) > to) {
                high = middle;
            } else {
                low = middle + 1;
            }
        }
        range.end = low;
    }
    range.end = std::max(range.end, range.start);
    return range;
}

QString CKivLogViewCtrl::SelectedTextOf(LONG line, const KivLogSysLineInfo& record) const
{
    int from = 0;
    int to = 0;
    if (!SelectedPixels(line, &from, &to)) {
        return {};
    }
    const QString text = MessageText(record);
    const CharRange range = CharsForPixels(text, from, to);
    const QString selected = text.mid(range.start, range.end - range.start);
    if (range.start == 0 && !selected.isEmpty()) {
        return LineHeader(record) + selected;
    }
    return selected;
}

bool CKivLogViewCtrl::HasSelectedText()
{
    if (!m_textSelected || m_handle == nullptr) {
        return false;
    }
    for (LONG line = std::min(m_anchorLine, m_currentLine); line <= std::max(m_anchorLine, m_currentLine); ++line) {
        const KivLogSysLineInfo* record = nullptr;
        if (FAILED(m_handle->GetViewLine(line, &record))) {
            return false;
        }
        if (!SelectedTextOf(line, *record).isEmpty()) {
            return true;
        }
    }
    return false;
}

QString CKivLogViewCtrl::GetSelectedText()
{
    QString text;
    if (!m_textSelected || m_handle == nullptr) {
        return text;
    }
    for (LONG line = std::min(m_anchorLine, m_currentLine); line <= std::max(m_anchorLine, m_currentLine); ++line) {
        const KivLogSysLineInfo* record = nullptr;
        if (FAILED(m_handle->GetViewLine(line, &record))) {
            break;
        }
        if (!text.isEmpty()) {
            text += LineBreak;
        }
        text += SelectedTextOf(line, *record);
    }
    return text;
}

void CKivLogViewCtrl::CopySelection()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString text = GetSelectedText();
    QApplication::clipboard()->setText(text);
    QApplication::restoreOverrideCursor();
}

void CKivLogViewCtrl::SetSearchText(const QString& text)
{
    m_searchText = Kiv::Platform::Utf16ToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                                  static_cast<std::size_t>(text.size())));
}

void CKivLogViewCtrl::SetSearchPosition(LONG line, LONG offset)
{
    m_searchLine = line;
    m_searchOffset = offset;
}

int CKivLogViewCtrl::FindNext()
{
    if (m_searchText.empty() || m_handle == nullptr) {
        return 0;
    }
    const auto patternLength = static_cast<LONG>(m_searchText.size());
    for (LONG line = m_searchLine, offset = m_searchOffset;; ++line, offset = 0) {
        const KivLogSysLineInfo* record = nullptr;
        if (FAILED(m_handle->GetViewLine(line, &record))) {
            return 0;
        }
        const char* text = record->text;
        const LONG length = text == nullptr ? 0 : record->textLength;
        // Candidates are character starts only: a lead byte and its trail byte are stepped over
        // together, so that a trail byte that equals an ASCII letter never starts a match.
        for (LONG i = 0; i + patternLength <= length;
             i += (Kiv::Platform::IsAnsiLeadByte(static_cast<BYTE>(text[i])) && i + 1 < length) ? 2 : 1) {
            if (i < offset || !EqualNoCase(text + i, m_searchText)) {
                continue;
            }
            if (line < m_topLine || line >= m_topLine + m_visibleRows) {
                m_topLine = line;
                UpdateScroll();
            }
            const QFontMetrics metrics(m_font);
            m_anchorLine = line;
            m_currentLine = line;
            m_anchorX = metrics.horizontalAdvance(StructuralPrefix(*record) + FromAnsi(text, i));
            // The end lies inside the match's last character, so that exactly the match is
            // selected (a selection's end includes the character under it).
            m_currentX = m_anchorX + metrics.horizontalAdvance(FromAnsi(text + i, patternLength)) - 1;
            m_textSelected = true;
            m_searchLine = line;
            m_searchOffset = i + 1;
            viewport()->update();
            return 1;
        }
    }
}

bool CKivLogViewCtrl::OnCommand(int id)
{
    if (id == ViewerIds::IdEditCopy) {
        CopySelection();
        return true;
    }
    if (id == ViewerIds::IdHighlightThread) {
        const KivLogSysLineInfo* record = nullptr;
        if (m_handle != nullptr && SUCCEEDED(m_handle->GetViewLine(m_hotLine, &record))) {
            m_highlightThread = record->threadId;
        }
        SetSelectRange(m_selectFirst, m_selectLast);
        return true;
    }
    return false;
}

void CKivLogViewCtrl::paintEvent(QPaintEvent*)
{
    const qreal ratio = viewport()->devicePixelRatioF();
    const QSize size = viewport()->size();
    const QSize bufferSize = m_backBuffer.deviceIndependentSize().toSize();
    if (m_backBuffer.isNull() || size.width() > bufferSize.width() || size.height() > bufferSize.height()) {
        m_backBuffer = QPixmap((QSizeF(size + QSize(BackBufferSlack, BackBufferSlack)) * ratio).toSize());
        m_backBuffer.setDevicePixelRatio(ratio);
    }
    {
        QPainter painter(&m_backBuffer);
        PaintRows(painter);
    }
    QPainter painter(viewport());
    painter.drawPixmap(QPoint(0, 0), m_backBuffer, QRect(QPoint(0, 0), size * ratio));
    painter.end();
    UpdateHorzScroll();
}

void CKivLogViewCtrl::PaintRows(QPainter& painter)
{
    m_widestText = 0;
    painter.setFont(m_font);
    painter.fillRect(QRect(QPoint(0, 0), viewport()->size()), Qt::white);
    if (m_handle == nullptr) {
        return;
    }
    const QFontMetrics metrics(m_font);
    const std::int64_t rangeEnd = (m_rangeEnd / 1000000 + 1) * 1000000;
    const bool hasRange = m_rangeStart != 0 || m_rangeEnd != 0;
    DWORD previousThread = 0;
    for (LONG i = 0; i < m_visibleRows; ++i) {
        const LONG line = m_topLine + i;
        const KivLogSysLineInfo* record = nullptr;
        if (FAILED(m_handle->GetViewLine(line, &record))) {
            break;
        }
        const std::int64_t time = hasRange ? FileTimeOf(record->time).value_or(0) : 0;
        const bool dimmed = hasRange && (time < m_rangeStart || time >= rangeEnd);
        const bool inRange = m_selectFirst >= 0 && line >= m_selectFirst && line <= m_selectLast;
        const bool otherThread = m_highlightThread != 0 && record->threadId != m_highlightThread;
        const int top = static_cast<int>(i) * m_rowHeight;
        for (std::size_t c = 0; c < Columns.size(); ++c) {
            const ColumnInfo& column = Columns[c];
            const QRect cell(m_header->sectionViewportPosition(static_cast<int>(c)), top,
                             m_header->sectionSize(static_cast<int>(c)), m_rowHeight);
            COLORREF back = column.normalBack;
            COLORREF fore = column.normalText;
            if (dimmed) {
                back = column.dimmedBack;
                fore = column.dimmedText;
            } else if (inRange) {
                back = column.selectedBack;
                fore = otherThread ? column.normalText : column.selectedText;
                if (otherThread && column.type == ColumnMessage) {
                    back = column.normalBack;
                }
            }
            if (column.type == ColumnThread && !dimmed) {
                const bool highlighted = m_highlightThread != 0 && record->threadId == m_highlightThread;
                back = highlighted ? column.selectedBack : column.normalBack;
                if (highlighted) {
                    fore = column.selectedText;
                }
            }
            painter.fillRect(cell, ToQColor(back));
            painter.setPen(ToQColor(fore));
            const auto centred = [&](const QString& text) {
                painter.drawText(cell, Qt::AlignCenter | Qt::TextSingleLine,
                                 metrics.elidedText(text, Qt::ElideRight, cell.width()));
            };
            const SYSTEMTIME& t = record->time;
            switch (column.type) {
            case ColumnMark: {
                LONG mark = 0;
                if (SUCCEEDED(m_handle->GetLineMark(line, &mark)) && mark != 0) {
                    centred(MarkGlyph);
                }
                break;
            }
            case ColumnThread:
                centred(QString::asprintf("%08X", static_cast<unsigned>(record->threadId)));
                break;
            case ColumnDate:
                centred(QString::asprintf("%04d/%02d/%02d", t.wYear, t.wMonth, t.wDay));
                break;
            case ColumnTime:
                centred(QString::asprintf("%02d:%02d:%02d.%03d", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds));
                break;
            case ColumnMessage: {
                painter.save();
                painter.setClipRect(cell);
                const QString text = MessageText(*record);
                const int textLeft = cell.left() - m_horzOffset;
                int from = 0;
                int to = 0;
                if (SelectedPixels(line, &from, &to)) {
                    const CharRange range = CharsForPixels(text, from, to);
                    if (range.end > range.start) {
                        const int x0 = metrics.horizontalAdvance(text.left(range.start));
                        const int x1 = metrics.horizontalAdvance(text.left(range.end));
                        painter.fillRect(QRect(textLeft + x0, top, x1 - x0, m_rowHeight), ToQColor(SelectedTextBack));
                    }
                }
                const int textWidth = metrics.horizontalAdvance(text);
                painter.drawText(QRect(textLeft, top, textWidth + 1, m_rowHeight),
                                 Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
                m_widestText = std::max(m_widestText, textWidth);
                painter.restore();
                break;
            }
            }
            const bool focusColumn = column.type == ColumnMark || column.type == ColumnThread;
            if (focusColumn && line == m_hotLine) {
                painter.save();
                painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(cell.adjusted(0, 0, -1, -1));
                painter.restore();
            } else if (previousThread != 0 && previousThread != record->threadId) {
                painter.setPen(ToQColor(SeparatorColor));
                painter.drawLine(cell.left(), top, cell.right(), top);
            }
        }
        previousThread = record->threadId;
    }
}

void CKivLogViewCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (m_handle == nullptr) {
        return;
    }
    const QPoint position = event->position().toPoint();
    const LONG line = LineAt(position.y());
    switch (ColumnAt(position.x())) {
    case ColumnMark: {
        LONG mark = 0;
        if (SUCCEEDED(m_handle->GetLineMark(line, &mark))) {
            m_handle->SetLineMark(line, mark == 0 ? 1 : 0);
        }
        viewport()->update();
        break;
    }
    case ColumnThread:
        m_hotLine = line;
        viewport()->update();
        break;
    case ColumnDate:
    case ColumnTime:
        m_dragStart = event->globalPosition().toPoint();
        m_dragTopLine = m_topLine;
        m_mouseMode = ModeDragList;
        viewport()->setCursor(m_draggingCursor);
        break;
    case ColumnMessage:
        m_mouseMode = ModeSelectText;
        if (!(event->modifiers() & Qt::ShiftModifier) || !HasSelectedText()) {
            m_anchorLine = line;
            m_anchorX = m_horzOffset + position.x() - ColumnLeft(ColumnMessage);
            m_textSelected = false;
        }
        m_autoScroll->start();
        break;
    default:
        break;
    }
}

void CKivLogViewCtrl::FollowMouse(const QPoint& position)
{
    m_currentLine = LineAt(position.y());
    m_currentX = m_horzOffset + position.x() - ColumnLeft(ColumnMessage);
    m_textSelected = true;
    if (position.y() < 0) {
        m_topLine -= AutoScrollRows;
        UpdateScroll();
    } else if (position.y() >= viewport()->height()) {
        m_topLine += AutoScrollRows;
        UpdateScroll();
    } else {
        viewport()->update();
    }
}

void CKivLogViewCtrl::OnAutoScrollTimer()
{
    if (m_mouseMode == ModeSelectText) {
        FollowMouse(viewport()->mapFromGlobal(QCursor::pos()));
    }
}

void CKivLogViewCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (m_mouseMode == ModeDragList) {
        m_topLine = m_dragTopLine - (event->globalPosition().toPoint().y() - m_dragStart.y()) / m_rowHeight;
        UpdateScroll();
    } else if (m_mouseMode == ModeSelectText) {
        FollowMouse(position);
    } else {
        m_hotLine = LineAt(position.y());
        UpdateCursor(position);
        viewport()->update();
    }
}

void CKivLogViewCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    if (m_mouseMode == ModeSelectText) {
        m_autoScroll->stop();
    }
    m_mouseMode = ModeIdle;
    UpdateCursor(event->position().toPoint());
}

void CKivLogViewCtrl::UpdateCursor(const QPoint& position)
{
    switch (ColumnAt(position.x())) {
    case ColumnDate:
    case ColumnTime:
        viewport()->setCursor(m_dragReadyCursor);
        break;
    case ColumnMark:
    case ColumnThread:
        viewport()->setCursor(Qt::ArrowCursor);
        break;
    default:
        viewport()->setCursor(Qt::IBeamCursor);
        break;
    }
}

void CKivLogViewCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    setFocus(Qt::OtherFocusReason);
    const QPoint position = event->pos();
    QMenu menu(this);
    const int column = ColumnAt(position.x());
    if (column == ColumnThread) {
        m_hotLine = LineAt(position.y());
        viewport()->update();
        menu.setTitle(QStringLiteral("スレッド"));
        menu.addAction(QStringLiteral("指定のスレッドの強調表示\tCtrl+T(&T)"))->setData(ViewerIds::IdHighlightThread);
        menu.addSeparator();
        menu.addAction(QStringLiteral("指定のスレッドの非表示\tCtrl+H(&H)"))->setData(ViewerIds::IdHideThread);
    } else if (column == ColumnMessage) {
        menu.setTitle(QStringLiteral("KivLogViewCtrl"));
        QAction* copy = menu.addAction(QStringLiteral("コピー\tCtrl+C(&C)"));
        copy->setData(ViewerIds::IdEditCopy);
        copy->setEnabled(HasSelectedText());
    } else {
        return;
    }
    for (QAction* action : menu.actions()) {
        if (!action->isSeparator()) {
            connect(action, &QAction::triggered, this, [this, action] { emit CommandRequested(action->data().toInt()); });
        }
    }
    menu.exec(event->globalPos());
}

void CKivLogViewCtrl::keyPressEvent(QKeyEvent* event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up:
        --m_topLine;
        break;
    case Qt::Key_Down:
        ++m_topLine;
        break;
    case Qt::Key_PageUp:
        m_topLine -= m_visibleRows;
        break;
    case Qt::Key_PageDown:
        m_topLine += m_visibleRows;
        break;
    case Qt::Key_Home:
        // Home goes to the start of the message text, Ctrl+Home to the first line.
        if (control) {
            m_topLine = 0;
        } else {
            m_horzOffset = 0;
            UpdateHorzScroll();
        }
        break;
    case Qt::Key_End:
        if (control) {
            m_topLine = m_lineCount;
        } else {
            m_horzOffset = m_widestText;
            UpdateHorzScroll();
        }
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    UpdateScroll();
    event->accept();
}

void CKivLogViewCtrl::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    if (m_handle != nullptr) {
        m_handle->SetActiveCtrl(this);
    }
}
