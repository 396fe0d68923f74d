// The thread list on the view window's "スレッド情報" tab: one row per thread of the current file,
// in the engine's order, with its first and last time, the time between them and its number of
// lines. A row's check box shows and hides the thread's lines in both log views; selecting a
// row highlights the thread in the current log view. The rows come from the view window's thread
// pages, which hold every thread's lines already, so a refill costs one step per thread.
// User-interface thread only.
#pragma once

#include "KivPlatform/Types.h"

#include <QTableWidget>

class CKivLogViewWnd;

class CKivLogThreadInfoCtrl final : public QTableWidget {
    Q_OBJECT

public:
    // The columns.
    static constexpr int ColumnThreadId = 0;
    static constexpr int ColumnFirstTime = 1;
    static constexpr int ColumnLastTime = 2;
    static constexpr int ColumnElapsed = 3;
    static constexpr int ColumnLines = 4;

    // viewWnd (not owned) is the window whose file, pages and visibility the list shows.
    CKivLogThreadInfoCtrl(CKivLogViewWnd* viewWnd, QWidget* parent);

    // Rebuilds the rows from the view window's current file; no rows without a file or a model.
    void Refill();
    // The thread of a row; 0 for a row that is not there.
    DWORD GetRowThread(int row) const;

private:
    void OnItemChanged(QTableWidgetItem* item);
    void OnRowSelected(int row);

    CKivLogViewWnd* m_viewWnd;
    // Set while Refill fills the rows, whose check boxes and selection are then no user's choice.
    bool m_filling = false;
};
