// The property list below the navigation tree: the calls of the selected tree node, one row per
// call with its start time, thread, lifetime and return value; the columns depend on the node's
// kind. The rows are virtual: the list knows only their number, and a row's texts are made from
// the engine when the row is shown, so a method with millions of calls costs no more than one
// with three. Selecting a row scrolls the current log view to the call and selects its lines.
// User-interface thread only.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"
#include "KivObject/ComPtr.h"

#include <QTableView>

class CKivLogPropListModel;
class CNaviChildItemData;
class IKivLogViewApp;

class CKivLogPropListCtrl final : public QTableView {
    Q_OBJECT

public:
    explicit CKivLogPropListCtrl(QWidget* parent);
    ~CKivLogPropListCtrl() override;

    // The main dialog's interface (kept without a reference), which a selected row asks to show
    // its call.
    void SetApp(IKivLogViewApp* app) { m_app = app; }
    // The node (may be null; not owned) whose calls the list shows: the columns and the number
    // of rows are set anew.
    void ShowItem(CNaviChildItemData* item);
    CNaviChildItemData* GetItem() const;
    // The call of a row, walked to from the engine; null when anything on the way fails.
    Kiv::CComPtr<IKivLogSysBlock> GetRowBlock(int row) const;

private:
    void OnRowSelected(int row);

    IKivLogViewApp* m_app = nullptr;
    CKivLogPropListModel* m_model;
};
