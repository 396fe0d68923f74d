// The view side of the main window (template 135, 316 by 208 dialog units): the view window and
// the "×" button that closes the selected file. Laid out by KivCommon's panel layout only.
// User-interface thread only.
#pragma once

#include "KivCommon/KivResizePanel.h"
#include "KivObject/ComPtr.h"

#include <QWidget>

class CKivLogViewWnd;
class IKivLogViewApp;
class QPushButton;

class CKivLogMainViewDlg final : public QWidget {
    Q_OBJECT

public:
    explicit CKivLogMainViewDlg(QWidget* parent);
    ~CKivLogMainViewDlg() override;

    // The main dialog's interface, kept without a reference, for the close button.
    void SetApp(IKivLogViewApp* app) { m_app = app; }
    CKivLogViewWnd* GetViewWnd() const { return m_viewWnd; }

private:
    void OnCloseButton();

    IKivLogViewApp* m_app = nullptr;
    QPushButton* m_closeButton;
    CKivLogViewWnd* m_viewWnd;
    Kiv::CComPtr<Kiv::IKivResizePanelContainer> m_container;
};
