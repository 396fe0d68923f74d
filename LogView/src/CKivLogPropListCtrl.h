// The property list below the navigation tree: a report-style list of the calls of the selected
// tree node. For now it keeps the node it was handed and shows the columns for "no node"; the
// rows come with the detail lists. User-interface thread only.
#pragma once

#include <QTreeWidget>

class CNaviChildItemData;

class CKivLogPropListCtrl final : public QTreeWidget {
    Q_OBJECT

public:
    explicit CKivLogPropListCtrl(QWidget* parent);

    // The node (may be null) whose calls the list shows; not owned.
    void ShowItem(CNaviChildItemData* item);
    CNaviChildItemData* GetItem() const { return m_item; }

private:
    CNaviChildItemData* m_item = nullptr;
};
