// CKivResizePanelBox<Interface>: what a container and a splitter share as panels: their own
// rectangle, anchor flags and visible flag, and the accessors that only read or store them.
// Setting the rectangle and the visible flag acts on the held panels, so each class does that
// itself. Not thread-safe (user-interface thread only).
#pragma once

#include "KivCommon/KivResizePanel.h"

namespace Kiv {

template <class Interface>
class CKivResizePanelBox : public Interface {
public:
    explicit CKivResizePanelBox(LONG anchor) : m_anchor(anchor) {}

    HRESULT GetRect(KivRectF* rect) override
    {
        if (rect == nullptr) {
            return E_INVALIDARG;
        }
        *rect = m_rect;
        return S_OK;
    }
    HRESULT GetAnchor(LONG* anchor) override
    {
        if (anchor == nullptr) {
            return E_INVALIDARG;
        }
        *anchor = m_anchor;
        return S_OK;
    }
    HRESULT SetAnchor(LONG anchor) override
    {
        m_anchor = anchor;
        return S_OK;
    }
    HRESULT GetVisible(BYTE* visible) override
    {
        if (visible == nullptr) {
            return E_INVALIDARG;
        }
        *visible = m_visible;
        return S_OK;
    }

protected:
    // Stores the visible flag as exactly 1 or 0, from the low byte of the value given.
    BYTE StoreVisible(LONG visible)
    {
        m_visible = static_cast<BYTE>(visible) != 0 ? 1 : 0;
        return m_visible;
    }

    KivRectF m_rect{};
    LONG m_anchor;
    BYTE m_visible = 1;
};

} // namespace Kiv
