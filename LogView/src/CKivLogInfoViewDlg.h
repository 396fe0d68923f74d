// The navigation side of the main window (template 134, 244 by 278 dialog units): the navigation
// tree above the property list, divided by a splitter the user drags. Laid out by KivCommon's
// panel layout only. User-interface thread only.
#pragma once

#include "KivCommon/KivResizePanel.h"
#include "KivObject/ComPtr.h"

#include <QWidget>

class CKivLogFileTreeCtrl;
class CKivLogPropListCtrl;
class IKivLogViewApp;

class CKivLogInfoViewDlg final : public QWidget {
    Q_OBJECT

public:
    explicit CKivLogInfoViewDlg(QWidget* parent);
    ~CKivLogInfoViewDlg() override;

    // Hands the main dialog's interface to the tree and the property list (kept without a
    // reference).
    void SetApp(IKivLogViewApp* app);
    CKivLogFileTreeCtrl* GetTree() const { return m_tree; }
    CKivLogPropListCtrl* GetPropList() const { return m_propList; }

private:
    CKivLogFileTreeCtrl* m_tree;
    CKivLogPropListCtrl* m_propList;
    Kiv::CComPtr<Kiv::IKivResizePanelContainer> m_container;
};
