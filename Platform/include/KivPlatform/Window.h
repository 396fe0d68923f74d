// Windows as the panel layout sees them: a small abstract window (its rectangle in the parent's
// client coordinates, its client rectangle, moving, showing, mouse capture and cursor) and the
// hooks it notifies of its size changes and left-button and mouse-move messages. The viewer
// implements IWindow over its toolkit's widgets; tests use a fake. Not thread-safe: a window and
// its hooks belong to the user-interface thread.
#pragma once

#include "KivPlatform/Types.h"

#include <vector>

// The platform error for an operation on no window at all.
inline constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;

namespace Kiv::Platform {

class IWindow;

// A rectangle in whole pixels.
struct WindowRect {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

enum class WindowMessage { Size, LeftButtonDown, LeftButtonUp, MouseMove };

enum class WindowCursor { SizeWestEast, SizeNorthSouth };

class IWindowMessageHook {
public:
    // For Size, x and y are the new client width and height; for the mouse messages, the
    // pointer's position in the window's client coordinates.
    virtual void OnWindowMessage(IWindow* window, WindowMessage message, LONG x, LONG y) = 0;

protected:
    ~IWindowMessageHook() = default;
};

class IWindow {
public:
    IWindow(const IWindow&) = delete;
    IWindow& operator=(const IWindow&) = delete;

    // The window's outer rectangle in its parent's client coordinates.
    virtual WindowRect GetWindowRect() = 0;
    // The client area, with left and top 0.
    virtual WindowRect GetClientRect() = 0;
    // Moves and sizes the window without changing its stacking order or copying its old content.
    virtual void Move(LONG x, LONG y, LONG width, LONG height) = 0;
    virtual bool IsVisible() = 0;
    // Shows the window without activating it, or hides it.
    virtual void Show(bool show) = 0;
    // Whether any window of this thread holds the mouse capture.
    virtual bool IsMouseCaptured() = 0;
    virtual void SetCapture() = 0;
    virtual void ReleaseCapture() = 0;
    virtual void SetCursor(WindowCursor cursor) = 0;

    // Hooks are called in the order added; adding one twice has no effect. The window does not
    // own them: a hook removes itself before it goes away.
    void AddMessageHook(IWindowMessageHook* hook);
    void RemoveMessageHook(IWindowMessageHook* hook);

protected:
    IWindow() = default;
    ~IWindow() = default;

    // Called by the implementation for each message it receives. A hook may add or remove hooks
    // while it runs; one removed before its turn is not called.
    void NotifyMessageHooks(WindowMessage message, LONG x, LONG y);

private:
    std::vector<IWindowMessageHook*> m_hooks;
};

} // namespace Kiv::Platform

using HWND = Kiv::Platform::IWindow*;
