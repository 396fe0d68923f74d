// CKivResizePanelSplitterForWnd: a splitter whose bar the user drags with the mouse in the window
// it is attached to. Not thread-safe (user-interface thread only).
#pragma once

#include "CKivResizePanelSplitter.h"

namespace Kiv {

class CKivResizePanelSplitterForWnd : public CKivResizePanelSplitter {
public:
    CKivResizePanelSplitterForWnd() = default;
    ~CKivResizePanelSplitterForWnd() override;

    // Handles window's mouse messages from now on (none for a null window).
    void Attach(HWND window);

    // From the window registry: button down on the bar starts a drag, moves resize the first
    // pane, button up ends the drag.
    void OnWindowMessage(Platform::WindowMessage message, LONG x, LONG y);

private:
    void Detach();
    // The position that moves the bar: x side by side, y one above the other.
    float Along(KivPointF point);
    void UpdateCursor(KivPointF point);

    HWND m_window = nullptr;
    KivPointF m_dragStart{};
    float m_dragStartSize = 0.0f;
    BYTE m_dragging = 0;
};

} // namespace Kiv
