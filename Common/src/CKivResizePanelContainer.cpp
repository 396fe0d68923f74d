// The container's anchor layout and the window-bound container.
#include "CKivResizePanelContainer.h"

#include "CKivResizePanelWndRegistry.h"
#include "KivObject/InterfaceMap.h"

#include <algorithm>

namespace Kiv {

namespace {

using ContainerRegistry = CKivResizePanelWndRegistry<CKivResizePanelContainerForWnd>;

// One axis of the anchor rule. low and high hold the panel's current edges and receive the new
// ones; c is the container's new span, c0 and p0 the container's and the panel's spans when the
// panel was added. An edge that follows keeps its distance to the container's same edge; the
// other keeps the panel's size.
void FollowAnchors(bool followLow, bool followHigh, float cLow, float cHigh, float c0Low, float c0High, float p0Low,
                   float p0High, float& low, float& high)
{
    if (followLow) {
        low = cLow - c0Low + p0Low;
        high = followHigh ? cHigh - c0High + p0High : low + (p0High - p0Low);
        high = std::max(high, low);
    } else if (followHigh) {
        high = cHigh - c0High + p0High;
        low = std::min(high - (p0High - p0Low), high);
    }
}

} // namespace

HRESULT CKivResizePanelContainer::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this},
                               {IKivLocationOperator::Iid, this},
                               {IKivResizePanel::Iid, this},
                               {IKivResizePanelContainer::Iid, this}},
                              riid, ppv);
}

HRESULT CKivResizePanelContainer::SetRect(const KivRectF* rect)
{
    if (rect == nullptr) {
        return E_INVALIDARG;
    }
    m_rect = *rect;
    for (const Entry& entry : m_entries) {
        LONG anchor = 0;
        KivRectF r{};
        // A panel that cannot tell its anchors or place is left where it is this time.
        if (FAILED(entry.panel->GetAnchor(&anchor)) || FAILED(entry.panel->GetRect(&r))) {
            continue;
        }
        const KivRectF& c0 = entry.containerRectWhenAdded;
        const KivRectF& p0 = entry.panelRectWhenAdded;
        FollowAnchors((anchor & KivAnchorLeft) != 0, (anchor & KivAnchorRight) != 0, m_rect.left, m_rect.right,
                      c0.left, c0.right, p0.left, p0.right, r.left, r.right);
        FollowAnchors((anchor & KivAnchorTop) != 0, (anchor & KivAnchorBottom) != 0, m_rect.top, m_rect.bottom,
                      c0.top, c0.bottom, p0.top, p0.bottom, r.top, r.bottom);
        entry.panel->SetRect(&r);
    }
    return S_OK;
}

HRESULT CKivResizePanelContainer::SetVisible(LONG visible)
{
    StoreVisible(visible);
    for (const Entry& entry : m_entries) {
        entry.panel->SetVisible(m_visible);
    }
    return S_OK;
}

HRESULT CKivResizePanelContainer::AddPanel(IKivResizePanel* panel)
{
    if (panel == nullptr) {
        return E_INVALIDARG;
    }
    if (FindEntry(panel) != m_entries.end()) {
        return S_FALSE;
    }
    // The rectangle is read before a reference is taken, so that a failure leaves the caller's
    // panel untouched even when nobody else holds it yet.
    KivRectF panelRect{};
    const HRESULT hr = panel->GetRect(&panelRect);
    if (FAILED(hr)) {
        return hr;
    }
    m_entries.push_back({panel, panelRect, m_rect});
    panel->SetVisible(m_visible);
    return S_OK;
}

HRESULT CKivResizePanelContainer::RemovePanel(IKivResizePanel* panel)
{
    if (panel == nullptr) {
        return E_INVALIDARG;
    }
    const auto found = FindEntry(panel);
    if (found == m_entries.end()) {
        return S_FALSE;
    }
    m_entries.erase(found);
    return S_OK;
}

std::vector<CKivResizePanelContainer::Entry>::iterator CKivResizePanelContainer::FindEntry(IKivResizePanel* panel)
{
    return std::find_if(m_entries.begin(), m_entries.end(),
                        [panel](const Entry& entry) { return entry.panel.Get() == panel; });
}

CKivResizePanelContainerForWnd::~CKivResizePanelContainerForWnd()
{
    Detach();
}

void CKivResizePanelContainerForWnd::Attach(HWND window)
{
    Detach();
    if (window == nullptr) {
        return;
    }
    m_window = window;
    ContainerRegistry::Attach(window, this);
    const Platform::WindowRect client = window->GetClientRect();
    const KivRectF rect{static_cast<float>(client.left), static_cast<float>(client.top),
                        static_cast<float>(client.right), static_cast<float>(client.bottom)};
    SetRect(&rect);
}

void CKivResizePanelContainerForWnd::Detach()
{
    if (m_window != nullptr) {
        ContainerRegistry::Detach(m_window, this);
        m_window = nullptr;
    }
}

void CKivResizePanelContainerForWnd::OnWindowMessage(Platform::WindowMessage message, LONG x, LONG y)
{
    if (message == Platform::WindowMessage::Size) {
        const KivRectF rect{0.0f, 0.0f, static_cast<float>(x), static_cast<float>(y)};
        SetRect(&rect);
    }
}

} // namespace Kiv
