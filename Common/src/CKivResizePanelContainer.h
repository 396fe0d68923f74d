// CKivResizePanelContainer: holds panels and, when its rectangle changes, moves and sizes each by
// its anchors. CKivResizePanelContainerForWnd: a container that follows the client size of a
// window. Not thread-safe (user-interface thread only).
#pragma once

#include "CKivResizePanelBox.h"

#include "KivCommon/KivResizePanel.h"
#include "KivObject/ComPtr.h"

#include <vector>

namespace Kiv {

class CKivResizePanelContainer : public CKivResizePanelBox<IKivResizePanelContainer> {
public:
    CKivResizePanelContainer() : CKivResizePanelBox(0) {}
    virtual ~CKivResizePanelContainer() = default;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

    HRESULT SetRect(const KivRectF* rect) override;
    HRESULT SetVisible(LONG visible) override;
    HRESULT AddPanel(IKivResizePanel* panel) override;
    HRESULT RemovePanel(IKivResizePanel* panel) override;

private:
    // A held panel with the rectangles its anchors are measured from.
    struct Entry {
        CComPtr<IKivResizePanel> panel;
        KivRectF panelRectWhenAdded;
        KivRectF containerRectWhenAdded;
    };

    std::vector<Entry>::iterator FindEntry(IKivResizePanel* panel);

    std::vector<Entry> m_entries;
};

class CKivResizePanelContainerForWnd : public CKivResizePanelContainer {
public:
    CKivResizePanelContainerForWnd() = default;
    ~CKivResizePanelContainerForWnd() override;

    // Follows window from now on (nothing for a null window) and takes its client rectangle.
    void Attach(HWND window);

    // From the window registry: a size change lays the panels out again.
    void OnWindowMessage(Platform::WindowMessage message, LONG x, LONG y);

private:
    void Detach();

    HWND m_window = nullptr;
};

} // namespace Kiv
