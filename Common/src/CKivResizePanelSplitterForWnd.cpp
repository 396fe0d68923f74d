// Dragging the splitter's bar with the mouse.
#include "CKivResizePanelSplitterForWnd.h"

#include "CKivResizePanelWndRegistry.h"

namespace Kiv {

namespace {

using SplitterRegistry = CKivResizePanelWndRegistry<CKivResizePanelSplitterForWnd>;

} // namespace

CKivResizePanelSplitterForWnd::~CKivResizePanelSplitterForWnd()
{
    Detach();
}

void CKivResizePanelSplitterForWnd::Attach(HWND window)
{
    Detach();
    if (window != nullptr) {
        m_window = window;
        SplitterRegistry::Attach(window, this);
    }
}

void CKivResizePanelSplitterForWnd::Detach()
{
    if (m_window != nullptr) {
        SplitterRegistry::Detach(m_window, this);
        m_window = nullptr;
    }
}

void CKivResizePanelSplitterForWnd::OnWindowMessage(Platform::WindowMessage message, LONG x, LONG y)
{
    const KivPointF point{static_cast<float>(x), static_cast<float>(y)};
    switch (message) {
    case Platform::WindowMessage::LeftButtonDown: {
        BYTE visible = 0;
        GetVisible(&visible);
        // Another window's drag, or a hidden bar, is not ours to start.
        if (m_window->IsMouseCaptured() || visible == 0) {
            return;
        }
        LONG hit = KivHitNone;
        HitTest(point, &hit);
        if (hit == KivHitBar) {
            m_window->SetCapture();
            m_dragStart = point;
            GetFirstPaneSize(&m_dragStartSize);
            m_dragging = 1;
        }
        UpdateCursor(point);
        break;
    }
    case Platform::WindowMessage::MouseMove:
        if (m_dragging != 0) {
            // Measured from where the drag began, so that the edge follows the mouse exactly
            // even after the size was cut at a limit.
            SetFirstPaneSize(m_dragStartSize + Along(point) - Along(m_dragStart));
        }
        UpdateCursor(point);
        break;
    case Platform::WindowMessage::LeftButtonUp:
        if (m_dragging != 0) {
            m_window->ReleaseCapture();
            m_dragging = 0;
        }
        break;
    case Platform::WindowMessage::Size:
        break;
    }
}

float CKivResizePanelSplitterForWnd::Along(KivPointF point)
{
    LONG orientation = KivSplitSideBySide;
    GetOrientation(&orientation);
    return orientation == KivSplitSideBySide ? point.x : point.y;
}

void CKivResizePanelSplitterForWnd::UpdateCursor(KivPointF point)
{
    LONG hit = KivHitNone;
    HitTest(point, &hit);
    if (m_dragging != 0 || (!m_window->IsMouseCaptured() && hit == KivHitBar)) {
        LONG orientation = KivSplitSideBySide;
        GetOrientation(&orientation);
        m_window->SetCursor(orientation == KivSplitSideBySide ? Platform::WindowCursor::SizeWestEast
                                                              : Platform::WindowCursor::SizeNorthSouth);
    }
}

} // namespace Kiv
