// CKivLogMainViewDlg: the template's places, then the layout over them.
#include "CKivLogMainViewDlg.h"

#include "CKivLogViewWnd.h"
#include "CQtWindow.h"
#include "DialogUnits.h"
#include "IKivLogViewApp.h"
#include "ViewerIds.h"

#include <QPushButton>

using Kiv::CComPtr;

CKivLogMainViewDlg::CKivLogMainViewDlg(QWidget* parent)
    : QWidget(parent), m_closeButton(new QPushButton(QStringLiteral("×"), this)), m_viewWnd(new CKivLogViewWnd(this))
{
    const CDialogUnits units(font());
    resize(units.ToPixels(316, 208));
    m_closeButton->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcCloseButton));
    m_closeButton->setGeometry(units.ToPixels(304, 1, 12, 11));
    m_closeButton->setFocusPolicy(Qt::NoFocus);
    m_viewWnd->setGeometry(units.ToPixels(0, 12, 316, 195));
    connect(m_closeButton, &QPushButton::clicked, this, &CKivLogMainViewDlg::OnCloseButton);

    // The button keeps its distance to the top and right edges; the view window stretches.
    Kiv::IKivResizePanelUtil* util = Kiv::GetKivResizePanelUtil();
    m_container = util->CreateContainerForWnd(CQtWindow::Of(this));
    const CComPtr<Kiv::IKivResizePanel> buttonPanel =
        util->CreatePanelForWnd(CQtWindow::Of(m_closeButton), Kiv::KivAnchorTop | Kiv::KivAnchorRight);
    const CComPtr<Kiv::IKivResizePanel> viewPanel = util->CreatePanelForWnd(CQtWindow::Of(m_viewWnd), Kiv::KivAnchorAll);
    m_container->AddPanel(buttonPanel);
    m_container->AddPanel(viewPanel);
}

CKivLogMainViewDlg::~CKivLogMainViewDlg() = default;

void CKivLogMainViewDlg::OnCloseButton()
{
    if (m_app != nullptr) {
        m_app->CloseSelectedFile();
    }
}
