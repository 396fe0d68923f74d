// CKivResizePanelForWnd: a panel that wraps one child window, which it does not own. Not
// thread-safe (user-interface thread only).
#pragma once

#include "KivCommon/KivResizePanel.h"

namespace Kiv {

class CKivResizePanelForWnd : public IKivResizePanel {
public:
    CKivResizePanelForWnd(HWND window, LONG anchor) : m_window(window), m_anchor(anchor) {}
    virtual ~CKivResizePanelForWnd() = default;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

    HRESULT GetRect(KivRectF* rect) override;
    HRESULT SetRect(const KivRectF* rect) override;
    HRESULT GetAnchor(LONG* anchor) override;
    HRESULT SetAnchor(LONG anchor) override;
    HRESULT GetVisible(BYTE* visible) override;
    HRESULT SetVisible(LONG visible) override;

private:
    HWND m_window;
    LONG m_anchor;
};

} // namespace Kiv
