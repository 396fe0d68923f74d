// The look and behaviour the three detail lists share: a report-style list of rows with
// full-row single selection, a header of fixed column titles and widths, and rows of one fixed
// height, so that a list with millions of rows never measures them. User-interface thread only.
#pragma once

#include <QString>

#include <span>

class QTableView;

// A column of a report list: its title, its width in pixels, and the widest text it usually
// shows (null when it has none), which widens the column where the list's font needs more room.
struct ReportColumn {
    const char16_t* title;
    int width;
    const char16_t* sample = nullptr;

    QString Title() const { return QString::fromUtf16(title); }
};

// Sets up list as a report list: no grid and no row header, whole rows selected one at a time,
// no editing, titles left-aligned, fixed row height from the list's font.
void SetUpReportList(QTableView* list);

// The width of a column in list: its given width, or more when its title or sample text needs
// more in the list's font (the given widths were made for a smaller font).
int ColumnWidth(const QTableView* list, const ReportColumn& column);
// Gives list's columns their ColumnWidth (the model holds their titles).
void SetColumnWidths(QTableView* list, std::span<const ReportColumn> columns);
