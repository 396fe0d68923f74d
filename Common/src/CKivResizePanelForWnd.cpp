// CKivResizePanelForWnd: the panel's geometry and visibility are its window's.
#include "CKivResizePanelForWnd.h"

#include "KivObject/InterfaceMap.h"

namespace Kiv {

namespace {

const HRESULT NoWindow = HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);

} // namespace

HRESULT CKivResizePanelForWnd::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivLocationOperator::Iid, this}, {IKivResizePanel::Iid, this}},
                              riid, ppv);
}

HRESULT CKivResizePanelForWnd::GetRect(KivRectF* rect)
{
    if (rect == nullptr) {
        return E_INVALIDARG;
    }
    if (m_window == nullptr) {
        return NoWindow;
    }
    const Platform::WindowRect r = m_window->GetWindowRect();
    *rect = {static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.right),
             static_cast<float>(r.bottom)};
    return S_OK;
}

HRESULT CKivResizePanelForWnd::SetRect(const KivRectF* rect)
{
    if (rect == nullptr) {
        return E_INVALIDARG;
    }
    if (m_window == nullptr) {
        return NoWindow;
    }
    // Each edge is truncated before the size is taken, so that neighbouring panels that share
    // an edge in floats also share it in pixels.
    const auto left = static_cast<LONG>(rect->left);
    const auto top = static_cast<LONG>(rect->top);
    m_window->Move(left, top, static_cast<LONG>(rect->right) - left, static_cast<LONG>(rect->bottom) - top);
    return S_OK;
}

HRESULT CKivResizePanelForWnd::GetAnchor(LONG* anchor)
{
    if (anchor == nullptr) {
        return E_INVALIDARG;
    }
    *anchor = m_anchor;
    return S_OK;
}

HRESULT CKivResizePanelForWnd::SetAnchor(LONG anchor)
{
    m_anchor = anchor;
    return S_OK;
}

HRESULT CKivResizePanelForWnd::GetVisible(BYTE* visible)
{
    if (visible == nullptr) {
        return E_INVALIDARG;
    }
    *visible = m_window != nullptr && m_window->IsVisible() ? 1 : 0;
    return S_OK;
}

HRESULT CKivResizePanelForWnd::SetVisible(LONG visible)
{
    if (m_window == nullptr) {
        return NoWindow;
    }
    m_window->Show(static_cast<BYTE>(visible) != 0);
    return S_OK;
}

} // namespace Kiv
