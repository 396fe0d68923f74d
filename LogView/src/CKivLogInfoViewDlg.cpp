// CKivLogInfoViewDlg: the template's places, then the layout over them.
#include "CKivLogInfoViewDlg.h"

#include "CKivLogFileTreeCtrl.h"
#include "CKivLogPropListCtrl.h"
#include "CQtWindow.h"
#include "DialogUnits.h"
#include "ViewerIds.h"

using Kiv::CComPtr;

CKivLogInfoViewDlg::CKivLogInfoViewDlg(QWidget* parent)
    : QWidget(parent), m_tree(new CKivLogFileTreeCtrl(this)), m_propList(new CKivLogPropListCtrl(this))
{
    const CDialogUnits units(font());
    resize(units.ToPixels(244, 278));
    m_tree->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcFileTree));
    m_tree->setGeometry(units.ToPixels(0, 12, 243, 127));
    m_propList->setGeometry(units.ToPixels(0, 144, 243, 134));

    // The two panels lie one above the other, so the splitter stacks them; it is the one panel
    // of the container and stretches with the dialog.
    Kiv::IKivResizePanelUtil* util = Kiv::GetKivResizePanelUtil();
    const HWND window = CQtWindow::Of(this);
    m_container = util->CreateContainerForWnd(window);
    const CComPtr<Kiv::IKivResizePanel> treePanel = util->CreatePanelForWnd(CQtWindow::Of(m_tree), Kiv::KivAnchorAll);
    const CComPtr<Kiv::IKivResizePanel> listPanel =
        util->CreatePanelForWnd(CQtWindow::Of(m_propList), Kiv::KivAnchorAll);
    const CComPtr<Kiv::IKivResizePanelSplitter> splitter = util->CreateSplitterForWnd(window, treePanel, listPanel);
    m_container->AddPanel(splitter);
}

CKivLogInfoViewDlg::~CKivLogInfoViewDlg() = default;

void CKivLogInfoViewDlg::SetApp(IKivLogViewApp* app)
{
    m_tree->SetApp(app);
    m_propList->SetApp(app);
}
