// The look and behaviour the three detail lists share: a report-style list of rows with
// full-row single selection, a header of fixed column titles and widths, and rows of one fixed
// height, so that a list with millions of rows never measures them. User-interface thread only.
#pragma once

#include <QString>

#include <span>

class QTableView;

// A column of a report list: its title and its width in pixels.
struct ReportColumn {
    const char16_t* title;
    int width;

    QString Title() const { return QString::fromUtf16(title); }
};

// Sets up list as a report list: no grid and no row header, whole rows selected one at a time,
// no editing, titles left-aligned, fixed row height from the list's font.
void SetUpReportList(QTableView* list);

// Gives list's columns the widths of columns (the model holds their titles).
void SetColumnWidths(QTableView* list, std::span<const ReportColumn> columns);
