// SetUpReportList and SetColumnWidths.
#include "ReportList.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QTableView>

#include <algorithm>

namespace {

// Room above and below the text of a row.
constexpr int RowPadding = 4;
// Room beside a cell's text, and beside a title for the sort arrow.
constexpr int CellPadding = 12;
constexpr int TitlePadding = 24;

} // namespace

void SetUpReportList(QTableView* list)
{
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->setCornerButtonEnabled(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setTextElideMode(Qt::ElideRight);
    QHeaderView* rows = list->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(QFontMetrics(list->font()).height() + RowPadding);
    QHeaderView* columns = list->horizontalHeader();
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setSectionsClickable(false);
}

int ColumnWidth(const QTableView* list, const ReportColumn& column)
{
    const QFontMetrics cells(list->font());
    const QFontMetrics titles(list->horizontalHeader()->font());
    int width = std::max(column.width, titles.horizontalAdvance(column.Title()) + TitlePadding);
    if (column.sample != nullptr) {
        width = std::max(width, cells.horizontalAdvance(QString::fromUtf16(column.sample)) + CellPadding);
    }
    return width;
}

void SetColumnWidths(QTableView* list, std::span<const ReportColumn> columns)
{
    for (std::size_t i = 0; i < columns.size(); ++i) {
        list->setColumnWidth(static_cast<int>(i), ColumnWidth(list, columns[i]));
    }
}
