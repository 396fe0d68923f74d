// The splitter's layout, pane sizing and hit test.
#include "CKivResizePanelSplitter.h"

#include "KivObject/InterfaceMap.h"

#include <algorithm>
#include <utility>

namespace Kiv {

HRESULT CKivResizePanelSplitter::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this},
                               {IKivLocationOperator::Iid, this},
                               {IKivResizePanel::Iid, this},
                               {IKivResizePanelSplitter::Iid, this}},
                              riid, ppv);
}

HRESULT CKivResizePanelSplitter::SetRect(const KivRectF* rect)
{
    if (rect == nullptr) {
        return E_INVALIDARG;
    }
    m_rect = *rect;
    if (m_rect.left > m_rect.right) {
        std::swap(m_rect.left, m_rect.right);
    }
    if (m_rect.top > m_rect.bottom) {
        std::swap(m_rect.top, m_rect.bottom);
    }
    const KivRectF& ref = m_referenceRect;
    if (ref.left == 0.0f && ref.top == 0.0f && ref.right == 0.0f && ref.bottom == 0.0f) {
        m_referenceRect = m_rect;
    }
    Layout();
    return S_OK;
}

HRESULT CKivResizePanelSplitter::SetVisible(LONG visible)
{
    StoreVisible(visible);
    for (IKivResizePanel* panel : {m_firstPanel.Get(), m_secondPanel.Get()}) {
        if (panel != nullptr) {
            panel->SetVisible(m_visible);
        }
    }
    return S_OK;
}

HRESULT CKivResizePanelSplitter::SetOrientation(LONG orientation)
{
    if (orientation != KivSplitSideBySide && orientation != KivSplitStacked) {
        return E_INVALIDARG;
    }
    m_orientation = orientation;
    Layout();
    return S_OK;
}

HRESULT CKivResizePanelSplitter::GetOrientation(LONG* orientation)
{
    if (orientation == nullptr) {
        return E_INVALIDARG;
    }
    *orientation = m_orientation;
    return S_OK;
}

HRESULT CKivResizePanelSplitter::SetPanel(LONG index, IKivResizePanel* panel)
{
    if (index != 0 && index != 1) {
        return E_INVALIDARG;
    }
    (index == 0 ? m_firstPanel : m_secondPanel) = panel;
    if (panel != nullptr) {
        panel->SetVisible(m_visible);
    }
    Layout();
    return S_OK;
}

HRESULT CKivResizePanelSplitter::GetPanel(LONG index, REFIID riid, void** ppv)
{
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (index != 0 && index != 1) {
        return E_INVALIDARG;
    }
    IKivResizePanel* panel = index == 0 ? m_firstPanel.Get() : m_secondPanel.Get();
    if (panel == nullptr) {
        return E_FAIL;
    }
    return panel->QueryInterface(riid, ppv);
}

HRESULT CKivResizePanelSplitter::HitTest(KivPointF point, LONG* hit)
{
    if (hit == nullptr) {
        return E_INVALIDARG;
    }
    const bool sideBySide = m_orientation == KivSplitSideBySide;
    const float along = sideBySide ? point.x : point.y;
    const float across = sideBySide ? point.y : point.x;
    const float acrossLow = sideBySide ? m_rect.top : m_rect.left;
    const float acrossHigh = sideBySide ? m_rect.bottom : m_rect.right;
    const float start = Low(m_rect);
    const float barStart = start + FirstPaneSize();
    const float barEnd = barStart + m_barWidth;
    // All bounds are inclusive and the panes are tested before the bar, so an edge shared by a
    // pane and the bar belongs to the pane.
    *hit = KivHitNone;
    if (across >= acrossLow && across <= acrossHigh) {
        if (along >= start && along <= barStart) {
            *hit = KivHitFirstPane;
        } else if (along >= barEnd && along <= High(m_rect)) {
            *hit = KivHitSecondPane;
        } else if (along >= barStart && along <= barEnd) {
            *hit = KivHitBar;
        }
    }
    return S_OK;
}

HRESULT CKivResizePanelSplitter::SetBarWidth(float width)
{
    if (width < 0.0f) {
        return E_INVALIDARG;
    }
    m_barWidth = width;
    Layout();
    return S_OK;
}

HRESULT CKivResizePanelSplitter::GetBarWidth(float* width)
{
    if (width == nullptr) {
        return E_INVALIDARG;
    }
    *width = m_barWidth;
    return S_OK;
}

HRESULT CKivResizePanelSplitter::SetFirstPaneSize(float size)
{
    const float extent = Extent(m_rect);
    // Cut to what the splitter leaves beside the bar, but never below 0, even when the bar is
    // wider than the splitter.
    size = std::max(std::min(size, extent - m_barWidth), 0.0f);
    FirstPaneSize() = size;
    if (extent >= 1.0f) {
        ReferenceSize() = Extent(m_referenceRect) * size / extent;
    }
    Layout();
    return S_OK;
}

HRESULT CKivResizePanelSplitter::GetFirstPaneSize(float* size)
{
    if (size == nullptr) {
        return E_INVALIDARG;
    }
    *size = FirstPaneSize();
    return S_OK;
}

HRESULT CKivResizePanelSplitter::SetFixed(BYTE fixed)
{
    m_fixed = fixed;
    return S_OK;
}

HRESULT CKivResizePanelSplitter::GetFixed(BYTE* fixed)
{
    if (fixed == nullptr) {
        return E_INVALIDARG;
    }
    *fixed = m_fixed;
    return S_OK;
}

void CKivResizePanelSplitter::SetUpFromPanels(IKivResizePanel* first, IKivResizePanel* second)
{
    KivRectF p1{};
    KivRectF p2{};
    if (first == nullptr || second == nullptr || FAILED(first->GetRect(&p1)) || FAILED(second->GetRect(&p2))) {
        return;
    }
    const KivRectF bounds{std::min(p1.left, p2.left), std::min(p1.top, p2.top), std::max(p1.right, p2.right),
                          std::max(p1.bottom, p2.bottom)};
    SetRect(&bounds);

    struct Arrangement {
        LONG orientation;
        float bar;
        IKivResizePanel* first;
        IKivResizePanel* second;
        float firstSize;
    };
    Arrangement arrangement{};
    if (p2.left > p1.right) {
        arrangement = {KivSplitSideBySide, p2.left - p1.right, first, second, p1.right - p1.left};
    } else if (p1.left > p2.right) {
        arrangement = {KivSplitSideBySide, p1.left - p2.right, second, first, p2.right - p2.left};
    } else if (p2.top > p1.bottom) {
        arrangement = {KivSplitStacked, p2.top - p1.bottom, first, second, p1.bottom - p1.top};
    } else if (p1.top > p2.bottom) {
        arrangement = {KivSplitStacked, p1.top - p2.bottom, second, first, p2.bottom - p2.top};
    } else {
        return;
    }
    SetOrientation(arrangement.orientation);
    SetBarWidth(arrangement.bar);
    SetPanel(0, arrangement.first);
    SetPanel(1, arrangement.second);
    // Last, so that the size is measured against the splitter's rectangle and bar just set.
    SetFirstPaneSize(arrangement.firstSize);
}

void CKivResizePanelSplitter::Layout()
{
    float& firstSize = FirstPaneSize();
    const float referenceExtent = Extent(m_referenceRect);
    if (m_fixed == 0 && referenceExtent >= 1.0f) {
        firstSize = Extent(m_rect) * ReferenceSize() / referenceExtent;
    }
    KivRectF first = m_rect;
    KivRectF second = m_rect;
    High(first) = Low(m_rect) + firstSize;
    Low(second) = Low(m_rect) + firstSize + m_barWidth;
    if (m_firstPanel) {
        m_firstPanel->SetRect(&first);
    }
    if (m_secondPanel) {
        m_secondPanel->SetRect(&second);
    }
}

} // namespace Kiv
