// The resizable panel layout of KivCommon: containers that follow a window's size and move their
// panels by their anchors, panels that wrap one child window, and splitters that divide their
// rectangle between two panels with a bar the user drags. All geometry is in the client
// coordinates of the hosting window. Not thread-safe: everything runs on the thread that owns
// the windows.
#pragma once

#include "KivCommon/KivCommonExport.h"
#include "KivCommon/KivGeometry.h"
#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"
#include "KivPlatform/Window.h"

namespace Kiv {

// Anchor flags: which of a panel's edges follow the same edge of its container.
inline constexpr LONG KivAnchorLeft = 1;
inline constexpr LONG KivAnchorTop = 2;
inline constexpr LONG KivAnchorRight = 4;
inline constexpr LONG KivAnchorBottom = 8;
inline constexpr LONG KivAnchorAll = 15;

// Splitter orientations and hit-test results.
inline constexpr LONG KivSplitSideBySide = 0;
inline constexpr LONG KivSplitStacked = 1;
inline constexpr LONG KivHitNone = 0;
inline constexpr LONG KivHitFirstPane = 1;
inline constexpr LONG KivHitSecondPane = 2;
inline constexpr LONG KivHitBar = 3;

struct IKivLocationOperator : IUnknown {
    KIV_INTERFACE_ID("BC03F337-25D8-4513-AF24-21B6014152BD");
    virtual HRESULT GetRect(KivRectF* rect) = 0;
    virtual HRESULT SetRect(const KivRectF* rect) = 0;
};

struct IKivResizePanel : IKivLocationOperator {
    KIV_INTERFACE_ID("47C6AA80-8EE7-4460-98A9-6163F5C0E720");
    virtual HRESULT GetAnchor(LONG* anchor) = 0;
    virtual HRESULT SetAnchor(LONG anchor) = 0;
    virtual HRESULT GetVisible(BYTE* visible) = 0;
    // Only the low byte of visible counts.
    virtual HRESULT SetVisible(LONG visible) = 0;
};

struct IKivResizePanelContainer : IKivResizePanel {
    KIV_INTERFACE_ID("FFEC3A4B-3D83-43AE-8ADA-BB0C5D574D8E");
    // S_FALSE when the panel is already held.
    virtual HRESULT AddPanel(IKivResizePanel* panel) = 0;
    // S_FALSE when the panel is not held.
    virtual HRESULT RemovePanel(IKivResizePanel* panel) = 0;
};

struct IKivResizePanelSplitter : IKivResizePanel {
    KIV_INTERFACE_ID("C62515EA-05E5-4FA5-84F6-07589684C370");
    virtual HRESULT SetOrientation(LONG orientation) = 0;
    virtual HRESULT GetOrientation(LONG* orientation) = 0;
    // index 0 is the first panel, 1 the second; panel may be null.
    virtual HRESULT SetPanel(LONG index, IKivResizePanel* panel) = 0;
    virtual HRESULT GetPanel(LONG index, REFIID riid, void** ppv) = 0;
    virtual HRESULT HitTest(KivPointF point, LONG* hit) = 0;
    virtual HRESULT SetBarWidth(float width) = 0;
    virtual HRESULT GetBarWidth(float* width) = 0;
    virtual HRESULT SetFirstPaneSize(float size) = 0;
    virtual HRESULT GetFirstPaneSize(float* size) = 0;
    virtual HRESULT SetFixed(BYTE fixed) = 0;
    virtual HRESULT GetFixed(BYTE* fixed) = 0;
};

// Creates the layout objects, each with a count of 0 (the receiver takes the first reference);
// null when memory runs out. A plain, uncounted object that lives as long as the library.
struct IKivResizePanelUtil {
    virtual IKivResizePanelContainer* CreateContainer() = 0;
    // A container that follows the client size of window (none for a null window).
    virtual IKivResizePanelContainer* CreateContainerForWnd(HWND window) = 0;
    virtual IKivResizePanel* CreatePanelForWnd(HWND window, LONG anchor) = 0;
    // A splitter that handles window's mouse messages, set up from the two panels when both are
    // given and lie apart from each other.
    virtual IKivResizePanelSplitter* CreateSplitterForWnd(HWND window, IKivResizePanel* first,
                                                          IKivResizePanel* second) = 0;

protected:
    ~IKivResizePanelUtil() = default;
};

KIVCOMMON_API IKivResizePanelUtil* GetKivResizePanelUtil();

} // namespace Kiv
