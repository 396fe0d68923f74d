// CKivResizePanelSplitter: a panel that divides its rectangle between two panels, side by side
// (orientation 0, vertical bar) or one above the other (orientation 1, horizontal bar). Unless
// fixed, the first pane keeps its share of the splitter when the splitter is resized. Not
// thread-safe (user-interface thread only).
#pragma once

#include "CKivResizePanelBox.h"

#include "KivCommon/KivResizePanel.h"
#include "KivObject/ComPtr.h"

namespace Kiv {

class CKivResizePanelSplitter : public CKivResizePanelBox<IKivResizePanelSplitter> {
public:
    CKivResizePanelSplitter() : CKivResizePanelBox(KivAnchorAll) {}
    virtual ~CKivResizePanelSplitter() = default;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

    HRESULT SetRect(const KivRectF* rect) override;
    HRESULT SetVisible(LONG visible) override;
    HRESULT SetOrientation(LONG orientation) override;
    HRESULT GetOrientation(LONG* orientation) override;
    HRESULT SetPanel(LONG index, IKivResizePanel* panel) override;
    HRESULT GetPanel(LONG index, REFIID riid, void** ppv) override;
    HRESULT HitTest(KivPointF point, LONG* hit) override;
    HRESULT SetBarWidth(float width) override;
    HRESULT GetBarWidth(float* width) override;
    HRESULT SetFirstPaneSize(float size) override;
    HRESULT GetFirstPaneSize(float* size) override;
    HRESULT SetFixed(BYTE fixed) override;
    HRESULT GetFixed(BYTE* fixed) override;

    // Covers both panels and takes the arrangement they already have: which one comes first,
    // the orientation, the gap between them as the bar and the first one's size. Panels that
    // overlap both ways are not set.
    void SetUpFromPanels(IKivResizePanel* first, IKivResizePanel* second);

private:
    // Orientation 0 works along x, orientation 1 along y; these pick that axis.
    float& Low(KivRectF& rect) const { return m_orientation == KivSplitSideBySide ? rect.left : rect.top; }
    float& High(KivRectF& rect) const { return m_orientation == KivSplitSideBySide ? rect.right : rect.bottom; }
    float Extent(const KivRectF& rect) const
    {
        return m_orientation == KivSplitSideBySide ? rect.right - rect.left : rect.bottom - rect.top;
    }
    float& FirstPaneSize() { return m_orientation == KivSplitSideBySide ? m_firstPaneWidth : m_firstPaneHeight; }
    float& ReferenceSize() { return m_orientation == KivSplitSideBySide ? m_referenceWidth : m_referenceHeight; }

    void Layout();

    CComPtr<IKivResizePanel> m_firstPanel;
    CComPtr<IKivResizePanel> m_secondPanel;
    float m_barWidth = 4.0f;
    LONG m_orientation = KivSplitSideBySide;
    float m_firstPaneWidth = 0.0f;
    float m_firstPaneHeight = 0.0f;
    BYTE m_fixed = 0;
    // The splitter's first rectangle and the first pane's size measured against it.
    KivRectF m_referenceRect{};
    float m_referenceWidth = 0.0f;
    float m_referenceHeight = 0.0f;
};

} // namespace Kiv
