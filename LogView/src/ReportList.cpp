// SetUpReportList and SetColumnWidths.
#include "ReportList.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QTableView>

namespace {

// Room above and below the text of a row.
constexpr int RowPadding = 4;

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

void SetColumnWidths(QTableView* list, std::span<const ReportColumn> columns)
{
    for (std::size_t i = 0; i < columns.size(); ++i) {
        list->setColumnWidth(static_cast<int>(i), columns[i].width);
    }
}
