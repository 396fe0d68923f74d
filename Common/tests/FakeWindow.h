// A window for the panel layout tests: keeps its rectangle, visibility and cursor in memory,
// records moves, and delivers the messages a test sends to its hooks. Single-threaded.
#pragma once

#include "KivPlatform/Window.h"

#include <optional>

namespace KivTest {

// The mouse capture, shared by the fake windows of one test as it is by all windows of a thread.
struct FakeCapture {
    Kiv::Platform::IWindow* owner = nullptr;
};

class FakeWindow final : public Kiv::Platform::IWindow {
public:
    // rect: the window's place in its parent's client coordinates.
    FakeWindow(FakeCapture& capture, Kiv::Platform::WindowRect rect) : m_capture(capture), m_rect(rect) {}

    Kiv::Platform::WindowRect GetWindowRect() override { return m_rect; }
    Kiv::Platform::WindowRect GetClientRect() override
    {
        return {0, 0, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top};
    }
    void Move(LONG x, LONG y, LONG width, LONG height) override { m_rect = {x, y, x + width, y + height}; }
    bool IsVisible() override { return m_visible; }
    void Show(bool show) override { m_visible = show; }
    bool IsMouseCaptured() override { return m_capture.owner != nullptr; }
    void SetCapture() override { m_capture.owner = this; }
    void ReleaseCapture() override { m_capture.owner = nullptr; }
    void SetCursor(Kiv::Platform::WindowCursor cursor) override
    {
        m_cursor = cursor;
        ++m_cursorSets;
    }

    // Delivers a message as the toolkit would.
    void Send(Kiv::Platform::WindowMessage message, LONG x, LONG y) { NotifyMessageHooks(message, x, y); }
    // Resizes the window and reports its new client size.
    void Resize(LONG width, LONG height)
    {
        m_rect.right = m_rect.left + width;
        m_rect.bottom = m_rect.top + height;
        Send(Kiv::Platform::WindowMessage::Size, width, height);
    }

    bool HasCapture() const { return m_capture.owner == this; }
    std::optional<Kiv::Platform::WindowCursor> LastCursor() const { return m_cursor; }
    int CursorSets() const { return m_cursorSets; }

private:
    FakeCapture& m_capture;
    Kiv::Platform::WindowRect m_rect;
    bool m_visible = true;
    std::optional<Kiv::Platform::WindowCursor> m_cursor;
    int m_cursorSets = 0;
};

} // namespace KivTest
