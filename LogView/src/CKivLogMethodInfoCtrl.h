// The method list on the view window's "関数情報" tab: every method of the current file with its
// number of calls and the total time of its calls ("endless" when a call never returned), built
// in one pass over the calls. Clicking a column header sorts by that column: the name column
// starts descending-first, the count and total columns ascending-first, and each further click
// on the same column turns the order round. Rows with equal keys keep their previous order.
// The list keeps its method infos (counted) until the next refill or Clear. User-interface
// thread only.
#pragma once

#include "KivPlatform/Status.h"

#include <QTableView>

class CKivLogMethodInfoModel;
class CKivLogViewWnd;

class CKivLogMethodInfoCtrl final : public QTableView {
    Q_OBJECT

public:
    // The columns.
    static constexpr int ColumnName = 0;
    static constexpr int ColumnCount = 1;
    static constexpr int ColumnTotal = 2;

    // viewWnd (may be null; not owned) is the window whose current file the list shows.
    CKivLogMethodInfoCtrl(CKivLogViewWnd* viewWnd, QWidget* parent);
    ~CKivLogMethodInfoCtrl() override;

    // Rebuilds the rows from the current file's methods, in the method set's order. E_FAIL
    // without a view window or a current file (the list is then empty).
    HRESULT Refill();
    // Empties the list and lets go of the method infos.
    void Clear();
    // What a click on a column header does: sort by the column, turning the order round when it
    // is already the sort column.
    void SortByColumn(int column);
    int GetSortColumn() const { return m_sortColumn; }
    // The direction flag: set after an odd number of clicks on the sort column.
    bool GetSortFlag() const { return m_sortFlag; }

private:
    CKivLogViewWnd* m_viewWnd;
    CKivLogMethodInfoModel* m_model;
    int m_sortColumn = ColumnName;
    bool m_sortFlag = false;
};
